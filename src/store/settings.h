// The program's settings in the registry under HKEY_LOCAL_MACHINE: the alert
// flag, the start mode and the autorun entries. Every operation opens its
// key, does one thing to one value and closes the key again. Each change
// answers with a platform::Result, the Windows error of the step that
// failed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "platform/result.h"

namespace kv::store {

using platform::Result;

inline constexpr const char* kVendorKey = "SOFTWARE\\Orvane\\Kestrova";
inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The three sequences every stored string goes through. Values are REG_SZ,
// characters plus one NUL. A read opens the key to query values only; a
// write opens it to set values, and creates it only when it is missing.
// The first failing result of the open (or create) and the set (success
// when both worked).
Result write_value(std::string_view key, std::string_view name, std::string_view text);
// Writes, then reads the value back: success when it holds `text`,
// otherwise the failing result (kErrorReadBackDiffers when it holds
// something else).
Result write_checked(std::string_view key, std::string_view name, std::string_view text);
// What the read sequence found: the value counts as found exactly when the
// open and the query into a 255-byte buffer succeed, whatever the content.
struct ValueRead {
    Result result = platform::kErrorFileNotFound;  // of the open, else of the query
    std::uint32_t size = 0;                      // the byte count returned
    std::uint32_t type = platform::kRegNone;     // the value's type
    std::string text;  // the first size - 1 bytes; empty for a zero-byte value
    bool found() const { return result.ok(); }
};
ValueRead read_sequence(std::string_view key, std::string_view name);
// The text of a found value, nothing when not found.
std::optional<std::string> read_value(std::string_view key, std::string_view name);
// The result of the open, else of RegDeleteValueA. A missing key is not
// created for it: the value is gone all the same.
Result delete_value(std::string_view key, std::string_view name);
// Deletes, then checks that the value is gone: success when it is (also
// when it was gone before), otherwise the failing result.
Result delete_checked(std::string_view key, std::string_view name);

// Writes "Status" = "Alert".
Result set_alert();
// True when "Status" is found, whatever its type and content, or cannot be
// read for want of access: an attempt is reported rather than hidden.
bool check_alert();
// Deletes "Status": the result of the open, else of RegDeleteValueA (not 0
// when it was already gone, or could not be deleted).
Result clear_alert();
// The start mode: the text of "Login", or "1" when it is not found or has
// no text at all (zero bytes); "2" (lock) when access to it is denied.
std::string read_login();
// The start-mode and autorun writes are checked (write_checked,
// delete_checked): success when the change is stored.
Result set_login_lock();
Result set_login_hidden();
// The Run value's text: the program in its directory, in quotation marks
// when the path has a blank.
std::string autorun_command();
Result add_autorun();
Result remove_autorun();
// The sibling's Run value "Dulcimet": found, absent (kErrorFileNotFound), or
// not known (any other result).
ValueRead check_dulcimet_autorun();

// The result a checked write gets when the value read back is not what was
// written.
inline constexpr long kErrorReadBackDiffers = 13;  // ERROR_INVALID_DATA

// "<what> could not be stored", with the cause.
std::string not_stored_text(std::string_view what, Result error);
// What a change that Windows refused for want of rights needs.
inline constexpr const char* kNeedsAdministrator =
    "Windows refused the change, which needs an administrator. Right-click Kestrova and "
    "choose \"Run as administrator\", or reinstall it with its setup program.";

}  // namespace kv::store
