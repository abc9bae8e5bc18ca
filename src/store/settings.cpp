#include "store/settings.h"

#include <algorithm>

#include "platform/registry.h"
#include "platform/system.h"

namespace kv::store {

using namespace kv::platform;

namespace {

constexpr std::uint32_t kReadBufferSize = 255;

// The key to set a value in: opened, or created when it is missing (which a
// standard user may not do, but an installed copy's keys exist).
long open_for_writing(std::string_view key, HKey* result) {
    const long opened = reg_open_key(kHKeyLocalMachine, key, kKeySetValue, result);
    if (opened != kErrorFileNotFound) return opened;
    return reg_create_key(kHKeyLocalMachine, key, kKeySetValue | kKeyCreateSubKey, result);
}

}  // namespace

Result write_value(std::string_view key, std::string_view name, std::string_view text) {
    RegKey k;
    const long opened = open_for_writing(key, k.out());
    const std::string data(text);  // with its terminating NUL
    const long set = reg_set_value(k.get(), name, kRegSz, data.c_str(),
                                   static_cast<std::uint32_t>(data.size() + 1));
    return opened != kErrorSuccess ? opened : set;
}

Result write_checked(std::string_view key, std::string_view name, std::string_view text) {
    if (const Result r = write_value(key, name, text); !r) return r;
    const ValueRead back = read_sequence(key, name);
    if (!back.found()) return back.result;
    return back.size == text.size() + 1 && back.text == text ? kErrorSuccess
                                                             : kErrorReadBackDiffers;
}

ValueRead read_sequence(std::string_view key, std::string_view name) {
    ValueRead r;
    std::string buffer(kReadBufferSize, ' ');
    std::uint32_t size = kReadBufferSize;
    std::uint32_t type = 0;
    RegKey k;
    r.result = reg_open_key(kHKeyLocalMachine, key, kKeyQueryValue, k.out());
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

std::optional<std::string> read_value(std::string_view key, std::string_view name) {
    ValueRead r = read_sequence(key, name);
    if (!r.found()) return std::nullopt;
    return std::move(r.text);
}

Result delete_value(std::string_view key, std::string_view name) {
    RegKey k;
    const long opened = reg_open_key(kHKeyLocalMachine, key, kKeySetValue, k.out());
    if (opened != kErrorSuccess) return opened;
    return reg_delete_value(k.get(), name);
}

Result delete_checked(std::string_view key, std::string_view name) {
    const Result deleted = delete_value(key, name);
    if (!deleted && deleted != kErrorFileNotFound) return deleted;
    const Result r = read_sequence(key, name).result;
    if (r == kErrorFileNotFound) return kErrorSuccess;
    return r.ok() ? kErrorReadBackDiffers : r;
}

std::string not_stored_text(std::string_view what, Result error) {
    std::string text(what);
    if (error.denied()) return text + " could not be stored: " + kNeedsAdministrator;
    return text + " could not be stored (registry error " + std::to_string(error.error()) + ").";
}

Result set_alert() { return write_value(kVendorKey, "Status", "Alert"); }

bool check_alert() {
    const ValueRead r = read_sequence(kVendorKey, "Status");
    return r.found() || r.result == kErrorAccessDenied;
}

Result clear_alert() { return delete_value(kVendorKey, "Status"); }

// A zero-byte value has no text at all, not even an empty one: it reads as
// not found. One that may not be read locks: a question is stored.
std::string read_login() {
    const ValueRead r = read_sequence(kVendorKey, "Login");
    if (r.result == kErrorAccessDenied) return "2";
    return r.found() && r.size > 0 ? r.text : "1";
}

Result set_login_lock() { return write_checked(kVendorKey, "Login", "2"); }

Result set_login_hidden() { return write_checked(kVendorKey, "Login", "1"); }

std::string autorun_command() {
    const std::string path = program_dir() + "\\kvstrn.exe";
    // Unquoted, a blank makes Windows try "C:\Program.exe" first.
    return path.find(' ') == std::string::npos ? path : '"' + path + '"';
}

Result add_autorun() { return write_checked(kRunKey, "Kestrova", autorun_command()); }

Result remove_autorun() { return delete_checked(kRunKey, "Kestrova"); }

ValueRead check_dulcimet_autorun() { return read_sequence(kRunKey, "Dulcimet"); }

}  // namespace kv::store
