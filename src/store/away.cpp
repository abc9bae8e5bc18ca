#include "store/away.h"

#include <algorithm>
#include <string>

#include "platform/registry.h"
#include "store/policy_names.h"
#include "store/settings.h"

namespace kv::store {

using namespace kv::platform;

namespace {

constexpr std::uint32_t kMaxIdleMinutes = kMaxInactivitySecs / 60;

// A policy: a REG_DWORD of four bytes.
std::optional<std::uint32_t> read_policy(std::string_view name) {
    RegKey k;
    if (reg_open_key(kHKeyLocalMachine, kPolicyKey, kKeyQueryValue, k.out()) != kErrorSuccess)
        return std::nullopt;
    unsigned char data[8] = {};
    std::uint32_t size = sizeof data;
    std::uint32_t type = kRegNone;
    if (reg_query_value(k.get(), name, &type, reinterpret_cast<char*>(data), &size) !=
            kErrorSuccess ||
        type != kRegDword || size != 4)
        return std::nullopt;
    return static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16) |
           static_cast<std::uint32_t>(data[3]) << 24;
}

// A user's REG_SZ value, by its text.
std::optional<std::string> read_text(const char* name) {
    ValueRead r = read_sequence(kVendorKey, name);
    if (!r.found() || r.type != kRegSz || r.size == 0) return std::nullopt;
    return std::move(r.text);
}

// A switch: the policy when it is 0 or 1, otherwise the user's "1".
Ruled<bool> switch_of(const char* policy, const char* value) {
    if (const auto p = read_policy(policy); p && *p <= 1) return {*p == 1, true};
    return {read_text(value) == "1", false};
}

}  // namespace

std::optional<std::uint32_t> idle_minutes_of(std::string_view text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(),
                                     [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint32_t minutes = 0;
    for (const char c : text) {
        minutes = minutes * 10 + static_cast<std::uint32_t>(c - '0');
        if (minutes > kMaxIdleMinutes) return kMaxIdleMinutes;
    }
    return minutes;
}

Ruled<std::uint32_t> idle_lock_secs() {
    if (const auto p = read_policy(kInactivityTimeoutPolicy))
        return {std::min(*p, kMaxInactivitySecs), true};
    const auto text = read_text(kIdleLockValue);
    const auto minutes = text ? idle_minutes_of(*text) : std::nullopt;
    return {minutes.value_or(0) * 60, false};
}

Ruled<bool> sleep_lock() { return switch_of(kLockBeforeSleepPolicy, kSleepLockValue); }

Ruled<bool> cover_screen() { return switch_of(kCoverScreenPolicy, kCoverValue); }

Result set_idle_lock_minutes(unsigned minutes) {
    return write_checked(kVendorKey, kIdleLockValue, std::to_string(minutes));
}

Result set_sleep_lock(bool on) {
    return write_checked(kVendorKey, kSleepLockValue, on ? "1" : "0");
}

Result set_cover(bool on) { return write_checked(kVendorKey, kCoverValue, on ? "1" : "0"); }

}  // namespace kv::store
