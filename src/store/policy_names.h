// The names of the walk-away settings: the user's own values beside the
// other settings (REG_SZ under kVendorKey), and the administrator's policies
// that win over them (REG_DWORD under kPolicyKey, both in
// HKEY_LOCAL_MACHINE). The policy templates shipped for Group Policy name
// the same keys and values; a test reads them against these.
#pragma once

#include <cstdint>

namespace kv::store {

// The user's values: "IdleLock" minutes as decimal text ("0" or absent:
// never); "SleepLock" and "Cover": "1" on, anything else off.
inline constexpr const char* kIdleLockValue = "IdleLock";
inline constexpr const char* kSleepLockValue = "SleepLock";
inline constexpr const char* kCoverValue = "Cover";

// The policies: seconds without input before the lock (0: never, capped at
// kMaxInactivitySecs), and two switches (0 or 1).
inline constexpr const char* kPolicyKey = "SOFTWARE\\Policies\\Orvane\\Kestrova";
inline constexpr const char* kInactivityTimeoutPolicy = "InactivityTimeoutSecs";
inline constexpr const char* kLockBeforeSleepPolicy = "LockBeforeSleep";
inline constexpr const char* kCoverScreenPolicy = "CoverScreen";
inline constexpr std::uint32_t kMaxInactivitySecs = 86400;
inline constexpr std::uint32_t kPolicyType = 4;  // REG_DWORD

}  // namespace kv::store
