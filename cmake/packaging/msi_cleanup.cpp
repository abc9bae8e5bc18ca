// The MSI package's uninstall step for what Kestrova stored itself, which
// the package does not own: the same traces the NSIS uninstaller removes,
// and nothing else. Run by msiexec at a full removal, never at an upgrade's,
// with the installation folder, the package's ProductCode and the GUID of
// the program's component as arguments.
#include <windows.h>
#include <msi.h>

#include <string>

#include "store/secrets.h"
#include "store/settings.h"

namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

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

// Another package has installed the program as well: the removal is an
// upgrade's, which removes the older package once the newer one's files
// are in place. Windows then also sets UPGRADINGPRODUCTCODE, which keeps
// this step from running at all; Wine does not set it.
bool another_package_installed(const char* product, const char* component) {
    char code[39];
    for (DWORD i = 0; MsiEnumClientsA(component, i, code) == ERROR_SUCCESS; ++i)
        if (lstrcmpiA(code, product) != 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kv::store;
    if (argc > 3 && another_package_installed(argv[2], argv[3])) return 0;
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
