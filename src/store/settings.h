// The program's settings in the registry under HKEY_LOCAL_MACHINE: the alert
// flag, the start mode and the autorun entries. Every operation opens its
// key, does one thing to one value and closes the key again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/state.h"
#include "platform/registry.h"

namespace kv::store {

inline constexpr const char* kVendorKey = "SOFTWARE\\Orvane\\Kestrova";
inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The three sequences every stored string goes through. Values are REG_SZ,
// characters plus one NUL.
void write_value(std::string_view key, std::string_view name, std::string_view text);
// Found exactly when the query into a 255-byte buffer succeeds; the text is
// the returned bytes without the terminating NUL. The key is opened with
// full access unless the caller names another.
std::optional<std::string> read_value(std::string_view key, std::string_view name,
                                      std::uint32_t access = platform::kKeyAllAccess);
// The result of RegDeleteValueA (0 on success).
long delete_value(std::string_view key, std::string_view name);

void set_alert();
void check_alert(ProgramState& s);
void clear_alert();
void read_login(ProgramState& s);
void set_login_lock();
void set_login_hidden();
void add_autorun();
void remove_autorun();
void check_dulcimet_autorun(ProgramState& s);

inline constexpr const char* kClearAlertError =
    "Error Occurred, possibly as the result of a power failure of the incorrect closing of "
    "windows. Please Quit Kestrova and try again";

}  // namespace kv::store
