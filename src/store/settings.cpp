#include "store/settings.h"

#include <algorithm>

#include "platform/registry.h"
#include "platform/system.h"

namespace kv::store {

using namespace kv::platform;

namespace {

constexpr std::uint32_t kReadBufferSize = 255;

}  // namespace

long write_value(std::string_view key, std::string_view name, std::string_view text) {
    RegKey k;
    const long created = reg_create_key(kHKeyLocalMachine, key, kKeyAllAccess, k.out());
    const std::string data(text);  // with its terminating NUL
    const long set = reg_set_value(k.get(), name, kRegSz, data.c_str(),
                                   static_cast<std::uint32_t>(data.size() + 1));
    return created != kErrorSuccess ? created : set;
}

long write_checked(std::string_view key, std::string_view name, std::string_view text) {
    if (const long r = write_value(key, name, text); r != kErrorSuccess) return r;
    const ValueRead back = read_sequence(key, name);
    if (!back.found()) return back.result;
    return back.size == text.size() + 1 && back.text == text ? kErrorSuccess
                                                             : kErrorReadBackDiffers;
}

ValueRead read_sequence(std::string_view key, std::string_view name, std::uint32_t access) {
    ValueRead r;
    std::string buffer(kReadBufferSize, ' ');
    std::uint32_t size = kReadBufferSize;
    std::uint32_t type = 0;
    RegKey k;
    r.result = reg_open_key(kHKeyLocalMachine, key, access, k.out());
    if (r.result != kErrorSuccess) return r;
    r.result = reg_query_value(k.get(), name, &type, buffer.data(), &size);
    if (r.result != kErrorSuccess) return r;
    // A success with a size beyond the buffer would be the registry's fault;
    // the value is then taken as far as it was received.
    r.size = size;
    r.type = type;
    buffer.resize(size == 0 ? 0 : std::min(size, kReadBufferSize) - 1);
    r.text = std::move(buffer);
    return r;
}

std::optional<std::string> read_value(std::string_view key, std::string_view name,
                                      std::uint32_t access) {
    ValueRead r = read_sequence(key, name, access);
    if (!r.found()) return std::nullopt;
    return std::move(r.text);
}

long delete_value(std::string_view key, std::string_view name) {
    RegKey k;
    const long created = reg_create_key(kHKeyLocalMachine, key, kKeyAllAccess, k.out());
    const long deleted = reg_delete_value(k.get(), name);
    return created != kErrorSuccess ? created : deleted;
}

long delete_checked(std::string_view key, std::string_view name) {
    const long deleted = delete_value(key, name);
    if (deleted != kErrorSuccess && deleted != kErrorFileNotFound) return deleted;
    const long r = read_sequence(key, name).result;
    if (r == kErrorFileNotFound) return kErrorSuccess;
    return r == kErrorSuccess ? kErrorReadBackDiffers : r;
}

std::string not_stored_text(std::string_view what, long error) {
    std::string text(what);
    if (error == kErrorAccessDenied)
        return text +
               " could not be stored: this account has no write access to "
               "HKEY_LOCAL_MACHINE. Run Kestrova from an account that has it.";
    return text + " could not be stored (registry error " + std::to_string(error) + ").";
}

void set_alert() { write_value(kVendorKey, "Status", "Alert"); }

bool check_alert() { return read_sequence(kVendorKey, "Status").found(); }

long clear_alert() { return delete_value(kVendorKey, "Status"); }

// A zero-byte value has no text at all, not even an empty one: it reads as
// not found.
std::string read_login() {
    const ValueRead r = read_sequence(kVendorKey, "Login");
    return r.found() && r.size > 0 ? r.text : "1";
}

long set_login_lock() { return write_checked(kVendorKey, "Login", "2"); }

long set_login_hidden() { return write_checked(kVendorKey, "Login", "1"); }

std::string autorun_command() {
    const std::string path = program_dir() + "\\kvstrn.exe";
    // Unquoted, a blank makes Windows try "C:\Program.exe" first.
    return path.find(' ') == std::string::npos ? path : '"' + path + '"';
}

long add_autorun() { return write_checked(kRunKey, "Kestrova", autorun_command()); }

long remove_autorun() { return delete_checked(kRunKey, "Kestrova"); }

ValueRead check_dulcimet_autorun() { return read_sequence(kRunKey, "Dulcimet"); }

}  // namespace kv::store
