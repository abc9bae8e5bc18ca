// The registry, as the program needs it: the ANSI Reg*A calls with their
// Win32 result codes (result.h). The win32 back end forwards to advapi32;
// the sim back end keeps keys and values in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace kv::platform {

using HKey = std::uintptr_t;  // opaque key handle, 0 = none

// Predefined root, numerically the same as Win32's HKEY_LOCAL_MACHINE.
inline constexpr HKey kHKeyLocalMachine = 0x80000002u;

// Value types (winnt.h).
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

// Access rights (winnt.h). A standard user may read HKEY_LOCAL_MACHINE but
// write only where granted, so each open asks for what it does and no more.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;  // also deletes a value
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;

// RegCreateKeyExA with an empty class, options 0 and default security.
long reg_create_key(HKey root, std::string_view subkey, std::uint32_t access, HKey* result);
// RegOpenKeyExA with options 0.
long reg_open_key(HKey root, std::string_view subkey, std::uint32_t access, HKey* result);
// RegQueryValueExA: *size holds the buffer size on entry and the value's
// byte count on return; kErrorMoreData when the data does not fit.
long reg_query_value(HKey key, std::string_view name, std::uint32_t* type, char* data,
                     std::uint32_t* size);
// RegSetValueExA with `size` bytes of `data`.
long reg_set_value(HKey key, std::string_view name, std::uint32_t type, const char* data,
                   std::uint32_t size);
// RegDeleteValueA.
long reg_delete_value(HKey key, std::string_view name);
// RegCloseKey.
long reg_close_key(HKey key);

// Owns an open key for the length of one operation.
class RegKey {
public:
    RegKey() = default;
    explicit RegKey(HKey h) : h_(h) {}
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& o) noexcept : h_(o.h_) { o.h_ = 0; }
    RegKey& operator=(RegKey&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = o.h_;
            o.h_ = 0;
        }
        return *this;
    }
    ~RegKey() { reset(); }

    void reset() {
        if (h_ != 0) reg_close_key(h_);
        h_ = 0;
    }
    HKey get() const { return h_; }
    HKey* out() {
        reset();
        return &h_;
    }
    explicit operator bool() const { return h_ != 0; }

private:
    HKey h_ = 0;
};

}  // namespace kv::platform
