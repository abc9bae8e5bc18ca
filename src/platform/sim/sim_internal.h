// Shared between the sim back end's files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/sim.h"

namespace kv::sim {

std::optional<long> take_fault(Call call);
void reset_registry_handles();
void reset_forms();
// A registry path as the sim keeps it (upper-cased, no trailing backslash).
std::string upper(std::string_view s);
std::string normal_path(std::string_view path);
// A value at `path` was put or deleted.
void key_changed(const std::string& path);

}  // namespace kv::sim
