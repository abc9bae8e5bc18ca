// Shared between the sim back end's files.
#pragma once

#include <optional>

#include "platform/sim/sim.h"

namespace kv::sim {

std::optional<long> take_fault(Call call);
void reset_registry_handles();
void reset_forms();

}  // namespace kv::sim
