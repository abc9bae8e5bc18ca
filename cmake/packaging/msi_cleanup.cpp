// The MSI package's uninstall step for what Kestrova stored itself, which
// the package does not own: the same traces the NSIS uninstaller removes,
// and nothing else. Run by msiexec at a full uninstall with the installation
// folder as argument; with "/upgrading" by a newer package before it
// removes the older one, whose removal then keeps the user's values.
#include <windows.h>

#include <string>

#include "store/secrets.h"
#include "store/settings.h"

namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;
// Present, until the next start of Windows, while an upgrade replaces the
// installed package: its removal of the older package keeps the user's values.
constexpr const char* kUpgradeMark = "SOFTWARE\\Orvane\\Kestrova Upgrade";

void delete_value(const char* key, const char* name) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE | kView, &k) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(k, name);
    RegCloseKey(k);
}

// Only when nothing, neither value nor key, is left in it.
void delete_key_if_empty(const char* key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | kView, &k) != ERROR_SUCCESS)
        return;
    DWORD subkeys = 1, values = 1;
    const bool empty =
        RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0;
    RegCloseKey(k);
    if (empty) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, kView, 0);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kv::store;
    if (argc > 1 && lstrcmpA(argv[1], "/upgrading") == 0) {
        HKEY mark = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUpgradeMark, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_WRITE | kView, nullptr, &mark, nullptr) == ERROR_SUCCESS)
            RegCloseKey(mark);
        return 0;
    }
    if (RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kUpgradeMark, kView, 0) == ERROR_SUCCESS) {
        delete_key_if_empty("SOFTWARE\\Orvane");
        return 0;
    }
    // The attempt log beside the program; msiexec then removes the folder
    // when nothing of the user's is left in it.
    if (argc > 1) DeleteFileA((std::string(argv[1]) + "\\klingon2").c_str());
    delete_value(kRunKey, "Kestrova");
    // Status, Login, Color and the rest; the vendor key only when empty.
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_ALL_ACCESS | kView, &k) ==
        ERROR_SUCCESS) {
        RegDeleteTreeA(k, nullptr);
        RegCloseKey(k);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kVendorKey, kView, 0);
    }
    delete_key_if_empty("SOFTWARE\\Orvane");
    // The question and the answer; their key only when empty.
    const std::string zones = std::string(kZonesKeyParent) + "AddZones";
    delete_value(zones.c_str(), "Query");
    delete_value(zones.c_str(), "Command");
    delete_key_if_empty(zones.c_str());
    return 0;
}
