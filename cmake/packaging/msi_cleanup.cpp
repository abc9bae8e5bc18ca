// The MSI package's uninstall step for what Kestrova stored itself, which
// the package does not own: the same traces the NSIS uninstaller removes,
// and nothing else. Run by msiexec at a full removal, never at an upgrade's,
// with the installation folder, the package's ProductCode and the GUID of
// the program's component as arguments.
// Both installers also run it, elevated, at install and upgrade:
//   /grant SID RIGHTS KEY...  creates each key under HKEY_LOCAL_MACHINE and
//                             lets SID have RIGHTS (hex) on it
//   /datafolder FOLDER        makes the attempt log's folder, in which users
//                             may write, and moves into it the log that an
//                             older setup kept in FOLDER, beside the program
// Exit code 0, or the Windows error that stopped it.
#include <windows.h>
#include <aclapi.h>
#include <msi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "log/attempt_log.h"
#include "store/grants.h"
#include "store/secrets.h"
#include "store/settings.h"

namespace {

// The registry as the program of the same build sees it.
constexpr REGSAM kView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

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

// Adds to an object's own DACL one ACE that allows `sid` `rights`, after its
// explicit ACEs and before the inherited ones, which all stay. Nothing
// changes when that ACE is there already (a reinstall or an upgrade).
DWORD allow(HANDLE object, SE_OBJECT_TYPE type, PSID sid, DWORD rights, BYTE flags) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD error = GetSecurityInfo(object, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &sd);
    if (error != ERROR_SUCCESS) return error;
    // Without a DACL everyone may do everything; one ACE would lock out the rest.
    if (!dacl) {
        LocalFree(sd);
        return ERROR_INVALID_ACL;
    }
    std::vector<ACE_HEADER*> aces;
    bool present = false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        auto* header = static_cast<ACE_HEADER*>(ace);
        aces.push_back(header);
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        present = present || (header->AceType == ACCESS_ALLOWED_ACE_TYPE &&
                              header->AceFlags == flags && allowed->Mask == rights &&
                              EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid));
    }
    if (!present) {
        const DWORD size =
            (dacl->AclSize + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid) + 3) & ~3u;
        std::vector<DWORD> buffer(size / sizeof(DWORD));
        auto* acl = reinterpret_cast<PACL>(buffer.data());
        const BYTE revision = dacl->AclRevision;
        bool ok = InitializeAcl(acl, size, revision);
        std::size_t at = 0;
        for (; at < aces.size() && !(aces[at]->AceFlags & INHERITED_ACE); ++at)
            ok = ok && AddAce(acl, revision, MAXDWORD, aces[at], aces[at]->AceSize);
        ok = ok && AddAccessAllowedAceEx(acl, revision, flags, rights, sid);
        for (; at < aces.size(); ++at)
            ok = ok && AddAce(acl, revision, MAXDWORD, aces[at], aces[at]->AceSize);
        error = ok ? SetSecurityInfo(object, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, acl,
                                     nullptr)
                   : GetLastError();
    }
    LocalFree(sd);
    return error;
}

// Each key, made when missing, gets an ACE for `sid` of its own, which its
// sub-keys do not inherit.
DWORD grant(const char* sid_text, const char* rights_text, char** keys, int count) {
    PSID sid = nullptr;
    char* end = nullptr;
    const DWORD rights = std::strtoul(rights_text, &end, 16);
    if (*end != '\0' || rights == 0 || !ConvertStringSidToSidA(sid_text, &sid))
        return ERROR_INVALID_PARAMETER;
    DWORD error = ERROR_SUCCESS;
    for (int i = 0; i < count && error == ERROR_SUCCESS; ++i) {
        HKEY k = nullptr;
        error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keys[i], 0, nullptr, 0,
                                KEY_QUERY_VALUE | READ_CONTROL | WRITE_DAC | kView, nullptr, &k,
                                nullptr);
        if (error != ERROR_SUCCESS) break;
        error = allow(k, SE_REGISTRY_KEY, sid, rights, 0);
        RegCloseKey(k);
    }
    LocalFree(sid);
    return error;
}

std::string data_folder() {
    char common[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common)))
        return {};
    return std::string(common) + "\\" + kv::store::kUserDataFolder;
}

// Appends an older setup's log, beside the program, to the one in the folder
// (made when missing, so that it takes the folder's permissions), whole
// records after whole records, then removes it: one log, no record lost.
DWORD move_old_log(const std::string& from, const std::string& to) {
    HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS
                                                                              : error;
    }
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(in, chunk, sizeof chunk, &got, nullptr)) && got > 0)
        bytes.append(chunk, got);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(in);
    if (error != ERROR_SUCCESS) return error;
    HANDLE out = CreateFileA(to.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return GetLastError();
    LARGE_INTEGER size{};
    ok = GetFileSizeEx(out, &size);
    LARGE_INTEGER whole{};
    whole.QuadPart = size.QuadPart - size.QuadPart % static_cast<LONGLONG>(kv::kLogRecordSize);
    DWORD written = 0;
    ok = ok && SetFilePointerEx(out, whole, nullptr, FILE_BEGIN) && SetEndOfFile(out) &&
         WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size() && FlushFileBuffers(out);
    error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(out);
    if (error != ERROR_SUCCESS) return error;
    return DeleteFileA(from.c_str()) ? ERROR_SUCCESS : GetLastError();
}

// %ProgramData%\Orvane\Kestrova: Users may list it and create files in it,
// and read, write, replace and delete its files, but change no permission
// of the folder or of a file.
DWORD make_data_folder(const std::string& program_folder) {
    const std::string folder = data_folder();
    if (folder.empty()) return ERROR_PATH_NOT_FOUND;
    const std::string vendor = folder.substr(0, folder.rfind('\\'));
    for (const std::string& f : {vendor, folder})
        if (!CreateDirectoryA(f.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return GetLastError();
    PSID users = nullptr;
    if (!ConvertStringSidToSidA(kv::store::kUsersSid, &users)) return GetLastError();
    DWORD error = ERROR_SUCCESS;
    HANDLE dir = CreateFileA(folder.c_str(), READ_CONTROL | WRITE_DAC,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE) {
        error = GetLastError();
    } else {
        error = allow(dir, SE_FILE_OBJECT, users,
                      FILE_GENERIC_READ | FILE_GENERIC_EXECUTE | FILE_ADD_FILE, 0);
        if (error == ERROR_SUCCESS)
            error =
                allow(dir, SE_FILE_OBJECT, users, FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE,
                      OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE);
        CloseHandle(dir);
    }
    LocalFree(users);
    if (error != ERROR_SUCCESS) return error;
    return move_old_log(program_folder + "\\klingon2", folder + "\\klingon2");
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
    if (argc > 4 && lstrcmpA(argv[1], "/grant") == 0)
        return static_cast<int>(grant(argv[2], argv[3], argv + 4, argc - 4));
    if (argc == 3 && lstrcmpA(argv[1], "/datafolder") == 0)
        return static_cast<int>(make_data_folder(argv[2]));
    // A mode given wrongly must not fall through to the removal below.
    if (argc > 1 && argv[1][0] == '/') return ERROR_INVALID_PARAMETER;
    if (argc > 3 && another_package_installed(argv[2], argv[3])) return 0;
    // The attempt log beside the program; msiexec then removes the folder
    // when nothing of the user's is left in it.
    if (argc > 1) DeleteFileA((std::string(argv[1]) + "\\klingon2").c_str());
    // The attempt log of an installed copy; its folders only when empty.
    const std::string folder = data_folder();
    if (!folder.empty()) {
        DeleteFileA((folder + "\\klingon2").c_str());
        RemoveDirectoryA(folder.c_str());
        RemoveDirectoryA(folder.substr(0, folder.rfind('\\')).c_str());
    }
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
