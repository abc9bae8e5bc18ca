// What the installers grant ordinary users on the machine, and nothing more.
// A program started from the Start menu or at logon runs with a standard
// token, also on an administrator's account: it reads HKEY_LOCAL_MACHINE but
// writes only where the installers allowed it. The sim's standard user is
// granted exactly this table, and a unit test checks both installers
// (cmake/packaging/) against it.
#pragma once

#include <cstdint>

#include "platform/registry.h"
#include "store/secrets.h"
#include "store/settings.h"

namespace kv::store {

// The group the grants are made to, by SID: its name is localised.
inline constexpr const char* kUsersSid = "S-1-5-32-545";

struct KeyGrant {
    const char* key;  // under HKEY_LOCAL_MACHINE, without a trailing backslash
    std::uint32_t access;
};

// Kestrova's own keys: its settings, and the key of the question and answer.
// Query and set value: a value can be read, written and deleted, but no key
// created or removed, and neither the key's owner nor its permissions changed.
// The Run key and the policies key are never loosened.
inline constexpr KeyGrant kUserKeyGrants[] = {
    {kVendorKey, platform::kKeyQueryValue | platform::kKeySetValue},
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\AddZones",
     platform::kKeyQueryValue | platform::kKeySetValue},
};

// The folder under %ProgramData% (CSIDL_COMMON_APPDATA) in which users may
// create and change files: the attempt log of an installed copy.
inline constexpr const char* kUserDataFolder = "Orvane\\Kestrova";

}  // namespace kv::store
