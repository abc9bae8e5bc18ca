// The registry, in memory.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "platform/registry.h"
#include "platform/sim/sim_internal.h"

namespace kv::sim {

namespace {

struct Handle {
    std::string path;
    std::uint32_t access = 0;
};

std::map<platform::HKey, Handle>& handles() {
    static std::map<platform::HKey, Handle> h;
    return h;
}
platform::HKey next_handle = 0x1000;

}  // namespace

std::string upper(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

std::string normal_path(std::string_view path) {
    std::string p = upper(path);
    while (!p.empty() && p.back() == '\\') p.pop_back();
    return p;
}

// The session watch hears a change at or under a key it watches.
void key_changed(const std::string& path) {
    for (const auto& w : world().watched_keys)
        if (path == w || path.rfind(w + '\\', 0) == 0) world().keys_changed = true;
}

// Consumes a scripted fault for this call, if one is due.
std::optional<long> take_fault(Call call) {
    // fail_any counts the registry and file calls only.
    if (call != Call::CreateWindow && ++world().calls == world().fail_call) {
        world().failed_call = call;
        return world().fail_call_code;
    }
    auto& faults = world().faults;
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->call != call) continue;
        if (--it->countdown == 0) {
            const long code = it->code;
            faults.erase(it);
            return code;
        }
    }
    return std::nullopt;
}

void reset_registry_handles() {
    handles().clear();
    next_handle = 0x1000;
}

void put_value(std::string_view key, std::string_view name, std::uint32_t type,
               std::string_view data) {
    std::string path = normal_path(key);
    // Parents exist with their children.
    for (auto pos = path.find('\\'); pos != std::string::npos; pos = path.find('\\', pos + 1))
        world().keys[path.substr(0, pos)];
    world().keys[path][upper(name)] = Value{type, std::string(data)};
    key_changed(path);
}

void put_string(std::string_view key, std::string_view name, std::string_view text) {
    std::string data(text);
    data.push_back('\0');
    put_value(key, name, platform::kRegSz, data);
}

std::optional<Value> get_value(std::string_view key, std::string_view name) {
    const auto k = world().keys.find(normal_path(key));
    if (k == world().keys.end()) return std::nullopt;
    const auto v = k->second.find(upper(name));
    if (v == k->second.end()) return std::nullopt;
    return v->second;
}

bool key_exists(std::string_view key) { return world().keys.count(normal_path(key)) != 0; }

void make_key(std::string_view key) {
    const std::string path = normal_path(key);
    for (auto pos = path.find('\\'); pos != std::string::npos; pos = path.find('\\', pos + 1))
        world().keys[path.substr(0, pos)];
    world().keys[path];
}

void grant(std::string_view key, std::uint32_t access) {
    world().key_grants[normal_path(key)] = access;
}

void fail(Call call, long code, int nth) { world().faults.push_back({call, nth, code}); }

void fail_any(long code, int nth) {
    world().fail_call = world().calls + nth;
    world().fail_call_code = code;
    world().failed_call.reset();
}

const char* call_name(Call call) {
    // In the order of Call.
    static constexpr const char* kNames[] = {"RegCreateKey", "RegOpenKey",     "RegQueryValue",
                                             "RegSetValue",  "RegDeleteValue", "ReadFile",
                                             "EnsureFile",   "ReplaceFile",    "AppendFile",
                                             "CreateWindow"};
    const auto i = static_cast<std::size_t>(call);
    return i < std::size(kNames) ? kNames[i] : "?";
}

}  // namespace kv::sim

namespace kv::platform {

using sim::world;

namespace {

constexpr std::uint32_t kReadOnlyAccess = 0x20019;  // KEY_READ
constexpr std::uint32_t kQueryValue = 0x0001;
constexpr std::uint32_t kSetValue = 0x0002;
constexpr std::uint32_t kCreateSubKey = 0x0004;

std::uint32_t granted(const std::string& path) {
    const auto g = world().key_grants.find(path);
    return g == world().key_grants.end() ? 0 : g->second;
}

// Whether this user may open the key with `access`.
bool allowed(const std::string& path, std::uint32_t access) {
    if (!world().standard_user) return true;
    return (access & ~kReadOnlyAccess & ~granted(path)) == 0;
}

platform::HKey open_handle(const std::string& path, std::uint32_t access) {
    const platform::HKey h = sim::next_handle++;
    sim::handles()[h] = {path, access};
    return h;
}

// The values behind a handle opened with `needed` among its rights; nullptr
// (*denied set) when it was opened without them.
std::map<std::string, sim::Value>* values_of(HKey key, std::uint32_t needed, bool* denied) {
    *denied = false;
    const auto h = sim::handles().find(key);
    if (h == sim::handles().end()) return nullptr;
    if ((h->second.access & needed) != needed) {
        *denied = true;
        return nullptr;
    }
    const auto k = world().keys.find(h->second.path);
    return k == world().keys.end() ? nullptr : &k->second;
}

std::string root_path(HKey root, std::string_view subkey) {
    if (root == kHKeyLocalMachine) return sim::normal_path(subkey);
    const auto h = sim::handles().find(root);
    if (h == sim::handles().end()) return {};
    return h->second.path + "\\" + sim::normal_path(subkey);
}

}  // namespace

long reg_create_key(HKey root, std::string_view subkey, std::uint32_t access, HKey* result) {
    *result = 0;
    world().trace.push_back("reg create " + std::string(subkey));
    if (auto f = sim::take_fault(sim::Call::RegCreateKey)) return *f;
    const std::string path = root_path(root, subkey);
    if (path.empty()) return kErrorInvalidHandle;
    // A key that is missing is made under its parent, which must allow it.
    if (world().keys.count(path) == 0 && world().standard_user) {
        const auto parent = path.rfind('\\');
        if (parent == std::string::npos || world().keys.count(path.substr(0, parent)) == 0 ||
            (granted(path.substr(0, parent)) & kCreateSubKey) == 0)
            return kErrorAccessDenied;
    }
    if (!allowed(path, access)) return kErrorAccessDenied;
    for (auto pos = path.find('\\'); pos != std::string::npos; pos = path.find('\\', pos + 1))
        world().keys[path.substr(0, pos)];
    world().keys[path];
    *result = open_handle(path, access);
    return kErrorSuccess;
}

long reg_open_key(HKey root, std::string_view subkey, std::uint32_t access, HKey* result) {
    *result = 0;
    if (auto f = sim::take_fault(sim::Call::RegOpenKey)) return *f;
    const std::string path = root_path(root, subkey);
    if (path.empty()) return kErrorInvalidHandle;
    if (world().keys.count(path) == 0) return kErrorFileNotFound;
    if (!allowed(path, access)) return kErrorAccessDenied;
    *result = open_handle(path, access);
    return kErrorSuccess;
}

long reg_query_value(HKey key, std::string_view name, std::uint32_t* type, char* data,
                     std::uint32_t* size) {
    if (auto f = sim::take_fault(sim::Call::RegQueryValue)) return *f;
    bool denied = false;
    auto* values = values_of(key, kQueryValue, &denied);
    if (values == nullptr) return denied ? kErrorAccessDenied : kErrorInvalidHandle;
    const auto v = values->find(sim::upper(name));
    if (v == values->end()) return kErrorFileNotFound;
    const auto& bytes = v->second.data;
    if (type != nullptr) *type = v->second.type;
    if (data != nullptr && bytes.size() > *size) {
        *size = static_cast<std::uint32_t>(bytes.size());
        return kErrorMoreData;
    }
    if (data != nullptr) std::memcpy(data, bytes.data(), bytes.size());
    *size = static_cast<std::uint32_t>(bytes.size());
    return kErrorSuccess;
}

long reg_set_value(HKey key, std::string_view name, std::uint32_t type, const char* data,
                   std::uint32_t size) {
    world().trace.push_back("reg set " + std::string(name));
    if (auto f = sim::take_fault(sim::Call::RegSetValue)) return *f;
    bool denied = false;
    auto* values = values_of(key, kSetValue, &denied);
    if (values == nullptr) return denied ? kErrorAccessDenied : kErrorInvalidHandle;
    (*values)[sim::upper(name)] = sim::Value{type, std::string(data, size)};
    sim::key_changed(sim::handles()[key].path);
    return kErrorSuccess;
}

long reg_delete_value(HKey key, std::string_view name) {
    world().trace.push_back("reg delete " + std::string(name));
    if (auto f = sim::take_fault(sim::Call::RegDeleteValue)) return *f;
    bool denied = false;
    auto* values = values_of(key, kSetValue, &denied);
    if (values == nullptr) return denied ? kErrorAccessDenied : kErrorInvalidHandle;
    if (values->erase(sim::upper(name)) != 1) return kErrorFileNotFound;
    sim::key_changed(sim::handles()[key].path);
    return kErrorSuccess;
}

long reg_close_key(HKey key) {
    return sim::handles().erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace kv::platform
