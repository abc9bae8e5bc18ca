// The registry calls, forwarded to advapi32.
#include <windows.h>

#include <string>

#include "platform/registry.h"

namespace kv::platform {

namespace {

// The predefined roots are small negative numbers as handles; a 64-bit
// build must sign-extend them.
HKEY to_hkey(HKey k) {
    if (k >= 0x80000000u && k <= 0x800000FFu)
        return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(k)));
    return reinterpret_cast<HKEY>(k);
}

HKey from_hkey(HKEY k) { return reinterpret_cast<HKey>(k); }

}  // namespace

long reg_create_key(HKey root, std::string_view subkey, std::uint32_t access, HKey* result) {
    const std::string path(subkey);
    char no_class[1] = "";
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LONG r = RegCreateKeyExA(to_hkey(root), path.c_str(), 0, no_class, 0, access, nullptr,
                                   &key, &disposition);
    if (result) *result = r == ERROR_SUCCESS ? from_hkey(key) : 0;
    return r;
}

long reg_open_key(HKey root, std::string_view subkey, std::uint32_t access, HKey* result) {
    const std::string path(subkey);
    HKEY key = nullptr;
    const LONG r = RegOpenKeyExA(to_hkey(root), path.c_str(), 0, access, &key);
    if (result) *result = r == ERROR_SUCCESS ? from_hkey(key) : 0;
    return r;
}

long reg_query_value(HKey key, std::string_view name, std::uint32_t* type, char* data,
                     std::uint32_t* size) {
    const std::string value(name);
    DWORD t = 0;
    DWORD n = size ? *size : 0;
    const LONG r = RegQueryValueExA(to_hkey(key), value.c_str(), nullptr, &t,
                                    reinterpret_cast<BYTE*>(data), size ? &n : nullptr);
    if (type) *type = t;
    if (size) *size = n;
    return r;
}

long reg_set_value(HKey key, std::string_view name, std::uint32_t type, const char* data,
                   std::uint32_t size) {
    const std::string value(name);
    return RegSetValueExA(to_hkey(key), value.c_str(), 0, type, reinterpret_cast<const BYTE*>(data),
                          size);
}

long reg_delete_value(HKey key, std::string_view name) {
    const std::string value(name);
    return RegDeleteValueA(to_hkey(key), value.c_str());
}

long reg_close_key(HKey key) { return RegCloseKey(to_hkey(key)); }

}  // namespace kv::platform
