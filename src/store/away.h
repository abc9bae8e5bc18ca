// The walk-away settings as they apply: the user's value, unless a policy
// of the administrator's is present (policy_names.h). Each read is afresh;
// a value of the wrong type or with unreadable text counts as absent.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/result.h"

namespace kv::store {

template <class T>
struct Ruled {
    T value{};
    bool by_policy = false;  // the user cannot change it
};

// Seconds without input before the lock comes; 0: never.
Ruled<std::uint32_t> idle_lock_secs();
Ruled<bool> sleep_lock();
Ruled<bool> cover_screen();

// The user's choices, written and read back: success when stored.
platform::Result set_idle_lock_minutes(unsigned minutes);
platform::Result set_sleep_lock(bool on);
platform::Result set_cover(bool on);

// "IdleLock"'s text as minutes: decimal digits only, at most a day.
std::optional<std::uint32_t> idle_minutes_of(std::string_view text);

}  // namespace kv::store
