#include "store/settings.h"

#include "platform/registry.h"
#include "app/maker.h"
#include "platform/system.h"

namespace kv::store {

using namespace kv::platform;

namespace {

constexpr std::uint32_t kReadBufferSize = 255;

RegKey create_key(std::string_view key) {
    RegKey k;
    reg_create_key(kHKeyLocalMachine, key, kKeyAllAccess, k.out());
    return k;
}

}  // namespace

void write_value(std::string_view key, std::string_view name, std::string_view text) {
    RegKey k = create_key(key);
    const std::string data(text);  // with its terminating NUL
    reg_set_value(k.get(), name, kRegSz, data.c_str(), static_cast<std::uint32_t>(data.size() + 1));
}

std::optional<std::string> read_value(std::string_view key, std::string_view name,
                                      std::uint32_t access) {
    std::string buffer(kReadBufferSize, ' ');
    std::uint32_t size = kReadBufferSize;
    std::uint32_t type = 0;
    RegKey k;
    if (reg_open_key(kHKeyLocalMachine, key, access, k.out()) != kErrorSuccess) return std::nullopt;
    if (reg_query_value(k.get(), name, &type, buffer.data(), &size) != kErrorSuccess)
        return std::nullopt;
    // A value of zero bytes has no terminating NUL to drop: it counts as absent.
    if (size == 0 || size > kReadBufferSize) return std::nullopt;
    buffer.resize(size - 1);
    return buffer;
}

long delete_value(std::string_view key, std::string_view name) {
    RegKey k = create_key(key);
    return reg_delete_value(k.get(), name);
}

void set_alert() { write_value(kVendorKey, "Status", "Alert"); }

void check_alert(ProgramState& s) {
    if (read_value(kVendorKey, "Status")) s.alert_pending = true;
}

void clear_alert() {
    if (delete_value(kVendorKey, "Status") != kErrorSuccess)
        message_box(kClearAlertError, 0, KV_APP_TITLE);
}

void read_login(ProgramState& s) { s.login_mode = read_value(kVendorKey, "Login").value_or("1"); }

void set_login_lock() { write_value(kVendorKey, "Login", "2"); }

void set_login_hidden() { write_value(kVendorKey, "Login", "1"); }

void add_autorun() { write_value(kRunKey, "Kestrova", program_dir() + "\\kvstrn.exe"); }

void remove_autorun() { delete_value(kRunKey, "Kestrova"); }

void check_dulcimet_autorun(ProgramState& s) {
    s.dulcimet_autorun = read_value(kRunKey, "Dulcimet").has_value();
}

}  // namespace kv::store
