// The setup program and its uninstaller, run in a Wine prefix of their own: a
// silent install and what it leaves on the machine, the installed program's
// first start, a silent uninstall that takes away every trace of the setup
// and of the program and nothing else, the refusal while the program runs and
// the uninstaller's confirmation page; the MSI package's install, rebuild,
// upgrade, refused downgrade and uninstall, its refusal while the program
// runs, and the two installers refusing each other. Beside this program lie
// the setup program, the MSI packages (2.0, a rebuild of 2.0 and a 2.0.1 to
// upgrade to), kvstrn.exe as built and the program's icon (scripts/test.sh
// copies them there). What the installers grant ordinary users is read back
// from the keys' security descriptors in the same Wine server session: Wine
// keeps a DACL set on a key only until its server stops.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harness.h"
#include "log/attempt_log.h"
#include "store/away.h"
#include "store/grants.h"
#include "store/secrets.h"
#include "store/settings.h"
#include "ui/maker.h"

namespace {

using namespace kv::e2e;

constexpr const char* kSetupName = "Kestrova-2.0-win64-setup.exe";
constexpr const char* kUninstKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrova";
constexpr const char* kForeignVendorKey = "SOFTWARE\\Orvane\\Dulcimet";
constexpr const char* kUninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kEventKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Kestrova";
constexpr const char* kMsiName = "Kestrova-2.0-win64.msi";
constexpr const char* kMsiUpgradeName = "Kestrova-2.0.1-win64.msi";
// The same 2.0 built once more: another ProductCode, the same version.
constexpr const char* kMsiRebuildName = "Kestrova-2.0-rebuilt-win64.msi";
// The uninstall entries' names, either installer.
constexpr const char* kDisplayName = "Kestrova (64-bit)";
// msiexec's exit code when a launch condition (a newer version installed,
// Kestrova running, the setup program's copy installed) stops it.
constexpr DWORD kMsiInstallFailure = 1603;
// Exit codes of the setup program and the uninstaller.
constexpr DWORD kCancelled = 1;
constexpr DWORD kRefused = 2;
constexpr DWORD kInstalledFromMsi = 3;
constexpr const char* kInstanceMutex = "Kestrova.Instance";
// Held by a running Kestrova of any session.
constexpr const char* kRunningMutex = "Global\\Kestrova.Running";

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::string folder(int csidl) { return known_folder(csidl); }

std::string setup_path() { return self_dir() + "\\" + kSetupName; }
std::string install_dir() { return folder(CSIDL_PROGRAM_FILES) + "\\Kestrova"; }
std::string installed_exe() { return install_dir() + "\\kvstrn.exe"; }
std::string uninstaller() { return install_dir() + "\\Uninstall.exe"; }
std::string shortcut() { return folder(CSIDL_COMMON_PROGRAMS) + "\\Kestrova.lnk"; }
// The attempt log of an installed copy, and where an older setup kept it.
std::string data_folder() {
    return folder(CSIDL_COMMON_APPDATA) + "\\" + kv::store::kUserDataFolder;
}
std::string attempt_log() { return data_folder() + "\\klingon2"; }
std::string old_attempt_log() { return install_dir() + "\\klingon2"; }
// Wine puts an all-users shortcut of an MSI package in the user's Start menu.
std::string msi_shortcut() { return folder(CSIDL_PROGRAMS) + "\\Kestrova.lnk"; }

// Starts a command line; the process, or nothing when it could not start.
struct Started {
    Handle process;
    DWORD pid = 0;
};
std::optional<Started> start(std::string cmdline) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, cmdline.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        ADD_FAILURE() << "CreateProcess(" << cmdline << ") failed: " << GetLastError();
        return std::nullopt;
    }
    CloseHandle(pi.hThread);
    return Started{Handle(pi.hProcess), pi.dwProcessId};
}

std::optional<DWORD> exit_code(HANDLE process, Millis timeout) {
    if (WaitForSingleObject(process, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

// Runs a command line to its end; its exit code, or nothing on a time-out.
std::optional<DWORD> run(const std::string& cmdline, Millis timeout = 60s) {
    const auto p = start(cmdline);
    return p ? exit_code(p->process.get(), timeout) : std::nullopt;
}

std::vector<DWORD> children_of(DWORD pid) {
    std::vector<DWORD> out;
    Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snap.get() == INVALID_HANDLE_VALUE) {
        snap.release();
        return out;
    }
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32First(snap.get(), &pe); more; more = Process32Next(snap.get(), &pe))
        if (pe.th32ParentProcessID == pid) out.push_back(pe.th32ProcessID);
    return out;
}

// Runs an uninstall command and waits for the whole uninstall: the
// uninstaller copies itself to a temporary folder, starts the copy there and
// returns at once, so the wait goes on for the copy, its child.
bool uninstall_and_wait(const std::string& cmdline) {
    const auto first = start(cmdline);
    if (!first) return false;
    const auto code = exit_code(first->process.get(), 30s);
    if (code != 0u) {
        ADD_FAILURE() << "the uninstaller ended with " << code.value_or(~0u);
        return false;
    }
    for (DWORD child : children_of(first->pid)) {
        Handle h(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child));
        if (h && !exit_code(h.get(), 60s)) {
            ADD_FAILURE() << "the uninstaller's copy is still running";
            return false;
        }
    }
    // The entry goes last of all.
    return wait_for([] { return !reg_key_exists(kUninstKey); }, 30s);
}

// The registered QuietUninstallString, as a package manager runs it.
bool run_quiet_uninstall() {
    const auto cmd = reg_read(kUninstKey, "QuietUninstallString");
    if (!cmd || cmd->bytes.empty()) {
        ADD_FAILURE() << "no QuietUninstallString";
        return false;
    }
    return uninstall_and_wait(cmd->bytes.c_str());
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::map<std::string, RawValue> values_of(const std::string& key) {
    std::map<std::string, RawValue> out;
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return out;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD name_len = sizeof name;
        if (RegEnumValueA(k, i, name, &name_len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (auto v = reg_read(key, std::string(name, name_len))) out[name] = *v;
    }
    RegCloseKey(k);
    return out;
}

RawValue sz(const std::string& text) { return {REG_SZ, text + '\0'}; }

RawValue dword(DWORD v) {
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&v), sizeof v)};
}

std::optional<DWORD> as_dword(const std::optional<RawValue>& v) {
    if (!v || v->type != REG_DWORD || v->bytes.size() != sizeof(DWORD)) return std::nullopt;
    DWORD d = 0;
    std::memcpy(&d, v->bytes.data(), sizeof d);
    return d;
}

// The uninstall entries of Kestrova that Windows Installer made, by their
// key names (the product codes).
std::vector<std::string> msi_entries() {
    std::vector<std::string> out;
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallRoot, 0, KEY_READ, &k) != ERROR_SUCCESS)
        return out;
    char name[256];
    for (DWORD i = 0, len = sizeof name;
         RegEnumKeyExA(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, len = sizeof name) {
        const std::string key = std::string(kUninstallRoot) + "\\" + name;
        if (reg_read(key, "DisplayName") == RawValue{REG_SZ, std::string(kDisplayName) + '\0'} &&
            as_dword(reg_read(key, "WindowsInstaller")) == 1u)
            out.push_back(name);
    }
    RegCloseKey(k);
    return out;
}

// The event source's key names the program as its message file, and the
// program's message table holds each event's text with its insertion string.
void expect_event_source(const std::string& exe) {
    EXPECT_EQ(reg_read(kEventKey, "EventMessageFile"), sz(exe));
    EXPECT_EQ(as_dword(reg_read(kEventKey, "TypesSupported")), 7u);
    HMODULE m = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(m) << exe;
    const std::map<DWORD, std::string> texts{
        {1001,
         "A wrong answer was entered at the Kestrova lock screen. Wrong answers since the "
         "last unlock: 3."},
        {1002, "Kestrova was unlocked with the answer. Wrong answers before it: 3."},
        {1003, "The Kestrova lock screen came up. Reason: 3."},
        {1004, "A wrong answer could not be written to the Kestrova attempt log. Error: 3."},
    };
    for (const auto& [id, text] : texts) {
        DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>("3")};
        char buf[512] = {};
        const DWORD n =
            FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, m, id,
                           0x409, buf, sizeof buf, reinterpret_cast<va_list*>(args));
        EXPECT_EQ(std::string(buf, n), text + "\r\n") << id;
    }
    FreeLibrary(m);
}

// The ACEs of a key's DACL that allow the Users group something on the key
// itself (not the inherit-only ones, for sub-keys), as flags and rights with
// the generic ones mapped; nothing when the DACL cannot be read or is missing.
using Ace = std::pair<unsigned, DWORD>;
std::optional<std::vector<Ace>> users_key_aces(const char* key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, READ_CONTROL, &k) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD size = 0;
    RegGetKeySecurity(k, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<char> sd(size);
    const bool read = size > 0 && RegGetKeySecurity(k, DACL_SECURITY_INFORMATION, sd.data(),
                                                    &size) == ERROR_SUCCESS;
    RegCloseKey(k);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    PSID users = nullptr;
    if (!read || !GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted) || !present ||
        !dacl || !ConvertStringSidToSidA(kv::store::kUsersSid, &users))
        return std::nullopt;
    GENERIC_MAPPING generic{KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};
    std::vector<Ace> out;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (allowed->Header.AceFlags & INHERIT_ONLY_ACE) || !EqualSid(&allowed->SidStart, users))
            continue;
        DWORD mask = allowed->Mask;
        MapGenericMask(&mask, &generic);
        out.emplace_back(allowed->Header.AceFlags, mask);
    }
    LocalFree(users);
    return out;
}

// What the installers grant: Users may query and set values of Kestrova's two
// keys, by one ACE of each key's own, and nothing more there; nothing beyond
// reading on the Run key. The attempt log's folder is there (Wine keeps no
// permissions of files or folders to read back).
void expect_user_grants() {
    for (const auto& grant : kv::store::kUserKeyGrants) {
        const auto aces = users_key_aces(grant.key);
        ASSERT_TRUE(aces) << grant.key << ": no DACL";
        std::vector<Ace> own;
        DWORD rights = 0;
        for (const Ace& a : *aces) {
            if (!(a.first & INHERITED_ACE)) own.push_back(a);
            rights |= a.second;
        }
        EXPECT_EQ(own, (std::vector<Ace>{{0u, KEY_QUERY_VALUE | KEY_SET_VALUE}})) << grant.key;
        EXPECT_EQ(rights & ~KEY_READ, DWORD{KEY_SET_VALUE}) << grant.key;
    }
    const auto run_aces = users_key_aces(kRunKey);
    ASSERT_TRUE(run_aces) << "Run: no DACL";
    for (const Ace& a : *run_aces) EXPECT_EQ(a.second & ~KEY_READ, 0u) << "Run";
    const DWORD attributes = GetFileAttributesA(data_folder().c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << "no " << data_folder();
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

unsigned long long file_size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA a{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return 0;
    return (static_cast<unsigned long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

// The target of a shell link, through the shell's own reader.
std::string link_target(const std::string& lnk) {
    std::string target;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return target;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            const std::wstring wide(lnk.begin(), lnk.end());
            char buf[MAX_PATH] = {};
            if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
                SUCCEEDED(link->GetPath(buf, MAX_PATH, nullptr, 0)))
                target = buf;
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return target;
}

// The texts of a window and of every window inside it.
std::string all_texts(HWND w) {
    std::string out = window_text(w);
    EnumChildWindows(
        w,
        [](HWND child, LPARAM p) noexcept -> BOOL {
            *reinterpret_cast<std::string*>(p) += "\n" + window_text(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
}

// The images of an .ico file, each as its resource bytes.
std::vector<std::string> icon_images(const std::string& ico) {
    std::vector<std::string> out;
    const auto bytes = read_file(ico);
    if (!bytes || bytes->size() < 6) return out;
    const auto u16 = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>((*bytes)[at])) |
               static_cast<unsigned>(static_cast<unsigned char>((*bytes)[at + 1])) << 8;
    };
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    for (unsigned i = 0; i < u16(4); ++i) {
        const std::size_t entry = 6 + 16 * i;
        if (entry + 16 > bytes->size()) break;
        const std::size_t size = u32(entry + 8), offset = u32(entry + 12);
        if (offset + size > bytes->size()) break;
        out.push_back(bytes->substr(offset, size));
    }
    return out;
}

// The RT_ICON resources of an executable.
std::vector<std::string> icon_resources(const std::string& exe) {
    std::vector<std::string> out;
    HMODULE m = LoadLibraryExA(exe.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m) return out;
    struct Ctx {
        HMODULE m;
        std::vector<std::string>* out;
    } ctx{m, &out};
    EnumResourceNamesA(
        m, RT_ICON,
        [](HMODULE mod, LPCSTR type, LPSTR name, LONG_PTR p) -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(p);
            if (HRSRC r = FindResourceA(mod, name, type))
                if (HGLOBAL g = LoadResource(mod, r))
                    c->out->emplace_back(static_cast<const char*>(LockResource(g)),
                                         SizeofResource(mod, r));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&ctx));
    FreeLibrary(m);
    return out;
}

std::string version_string(const std::string& exe, const char* name) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> info(size);
    if (!GetFileVersionInfoA(exe.c_str(), 0, size, info.data())) return {};
    struct Translation {
        WORD language, codepage;
    }* tr = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr),
                        &len) ||
        len < sizeof *tr)
        return {};
    char query[128];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", tr->language, tr->codepage,
                  name);
    char* text = nullptr;
    if (!VerQueryValueA(info.data(), query, reinterpret_cast<void**>(&text), &len) || !text)
        return {};
    return std::string(text);
}

// A foreign registry value and what it held, to see it come through byte
// for byte.
struct Foreign {
    std::string key, name;
    RawValue value;
};

class Install : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(file_exists(setup_path())) << "no setup program at " << setup_path();
        release_desktop();
        remove_everything();
        // The harness starts the installed program.
        _putenv_s("KV_EXE", installed_exe().c_str());
    }
    void TearDown() override {
        program_.kill();
        release_desktop();
        remove_everything();
    }

    // Leaves the prefix as the template had it, whatever a test left behind.
    void remove_everything() {
        if (file_exists(uninstaller())) uninstall_and_wait("\"" + uninstaller() + "\" /S");
        for (const auto& code : msi_entries()) run("msiexec /x " + code + " /qn");
        DeleteFileA(msi_shortcut().c_str());
        reg_delete_tree(kEventKey);
        for (const char* f : {"kvstrn.exe", "klingon2", "Uninstall.exe", "notes.txt"})
            DeleteFileA((install_dir() + "\\" + f).c_str());
        RemoveDirectoryA(install_dir().c_str());
        DeleteFileA(attempt_log().c_str());
        RemoveDirectoryA(data_folder().c_str());
        RemoveDirectoryA((folder(CSIDL_COMMON_APPDATA) + "\\Orvane").c_str());
        DeleteFileA(shortcut().c_str());
        reg_delete_tree(kUninstKey);
        clean_program_registry();
        reg_delete_tree(kForeignVendorKey);
        for (const auto& f : foreign_) reg_delete_value(f.key, f.name);
    }

    void install() {
        ASSERT_EQ(run("\"" + setup_path() + "\" /S"), 0u) << "the silent setup failed";
        ASSERT_TRUE(file_exists(installed_exe()));
    }

    // Starts the installed program with the data stored, once it holds its
    // instance mutex.
    void start_installed_program() {
        ASSERT_NO_FATAL_FAILURE(store_program_data());
        ASSERT_TRUE(program_.start());
        ASSERT_TRUE(wait_for([] {
            Handle m(OpenMutexA(SYNCHRONIZE, FALSE, kInstanceMutex));
            return m != nullptr;
        })) << "the program did not come up";
    }

    // What the program stores, through its own store, and an attempt log.
    void store_program_data() {
        ASSERT_TRUE(kv::store::write_question_and_answer("Favourite river?", "Orinoco"));
        ASSERT_TRUE(kv::store::set_alert());
        ASSERT_TRUE(kv::store::set_login_lock());
        ASSERT_TRUE(kv::store::write_value(kv::store::kVendorKey, "Color", "green"));
        ASSERT_TRUE(kv::store::set_idle_lock_minutes(5));
        ASSERT_TRUE(kv::store::set_sleep_lock(true));
        ASSERT_TRUE(kv::store::set_cover(true));
        ASSERT_TRUE(kv::store::add_autorun());
        ASSERT_TRUE(write_file(attempt_log(),
                               kv::log_record(kv::attempt_line("07/12/2026 09:15:02", "Amazon"))));
        ASSERT_TRUE(reg_read(kZonesKey, "Query"));
        ASSERT_TRUE(reg_read(kZonesKey, "Command"));
        for (const char* v : {"Status", "Login", "Color", "IdleLock", "SleepLock", "Cover"})
            ASSERT_TRUE(reg_read(kVendorKey, v)) << v;
        ASSERT_TRUE(reg_read(kRunKey, "Kestrova"));
        ASSERT_EQ(file_size(attempt_log()), 40u);
    }

    void add_foreign(const std::string& key, const std::string& name, DWORD type,
                     const std::string& bytes) {
        ASSERT_TRUE(reg_write_raw(key, name, type, bytes)) << key << " " << name;
        foreign_.push_back({key, name, {type, bytes}});
    }

    void expect_program_traces_gone() {
        EXPECT_FALSE(file_exists(installed_exe()));
        EXPECT_FALSE(file_exists(uninstaller()));
        EXPECT_FALSE(file_exists(attempt_log()));
        EXPECT_FALSE(file_exists(old_attempt_log()));
        EXPECT_FALSE(file_exists(data_folder()));
        EXPECT_FALSE(file_exists(folder(CSIDL_COMMON_APPDATA) + "\\Orvane"));
        EXPECT_FALSE(file_exists(shortcut()));
        EXPECT_FALSE(reg_key_exists(kUninstKey));
        EXPECT_FALSE(reg_read(kRunKey, "Kestrova"));
        EXPECT_FALSE(reg_key_exists(kVendorKey));
        EXPECT_FALSE(reg_read(kZonesKey, "Query"));
        EXPECT_FALSE(reg_read(kZonesKey, "Command"));
        EXPECT_FALSE(reg_key_exists(kEventKey));
    }

    void expect_foreign_intact() {
        for (const auto& f : foreign_) {
            const auto now = reg_read(f.key, f.name);
            ASSERT_TRUE(now) << f.key << " " << f.name << " is gone";
            EXPECT_EQ(now->type, f.value.type) << f.key << " " << f.name;
            EXPECT_EQ(now->bytes, f.value.bytes) << f.key << " " << f.name;
        }
    }

    Program program_;
    std::vector<Foreign> foreign_;
};

TEST_F(Install, SilentSetupPlacesTheProgramTheShortcutAndTheUninstallEntry) {
    // An older setup's log beside the program, and records already in the
    // new place: the old records are added after them, in one log.
    const std::string older = kv::log_record(kv::attempt_line("06/12/2026 18:40:11", "Nile")) +
                              kv::log_record(kv::attempt_line("07/12/2026 08:02:54", "Volga"));
    const std::string newer = kv::log_record(kv::attempt_line("07/12/2026 09:15:02", "Amazon"));
    ASSERT_TRUE(CreateDirectoryA(install_dir().c_str(), nullptr));
    ASSERT_TRUE(write_file(old_attempt_log(), older));
    ASSERT_EQ(SHCreateDirectoryExA(nullptr, data_folder().c_str(), nullptr), ERROR_SUCCESS);
    ASSERT_TRUE(write_file(attempt_log(), newer));
    ASSERT_NO_FATAL_FAILURE(install());
    expect_user_grants();
    EXPECT_EQ(read_file(attempt_log()), std::optional<std::string>(newer + older));
    EXPECT_FALSE(file_exists(old_attempt_log()));

    const auto built = read_file(self_dir() + "\\kvstrn.exe");
    ASSERT_TRUE(built) << "kvstrn.exe as built is not beside the test";
    EXPECT_EQ(read_file(installed_exe()), built) << "the installed program is not the one built";
    EXPECT_TRUE(file_exists(uninstaller()));
    EXPECT_EQ(link_target(shortcut()), installed_exe());

    const std::string dir = install_dir();
    const auto values = values_of(kUninstKey);
    const std::map<std::string, RawValue> expected{
        {"DisplayName", sz(kDisplayName)},
        {"DisplayVersion", sz("2.0")},
        {"Publisher", sz("Orvane Software")},
        {"HelpLink", sz(KV_WEB_URL)},
        {"URLInfoAbout", sz(KV_WEB_URL)},
        {"Contact", sz(KV_SUPPORT_EMAIL)},
        {"DisplayIcon", sz(dir + "\\kvstrn.exe")},
        {"InstallLocation", sz(dir)},
        {"UninstallString", sz("\"" + dir + "\\Uninstall.exe\"")},
        {"QuietUninstallString", sz("\"" + dir + "\\Uninstall.exe\" /S")},
        {"NoModify", dword(1)},
        {"NoRepair", dword(1)},
    };
    for (const auto& [name, want] : expected) {
        const auto got = values.find(name);
        ASSERT_NE(got, values.end()) << name << " is missing";
        EXPECT_EQ(got->second.type, want.type) << name;
        EXPECT_EQ(got->second.bytes, want.bytes) << name;
    }
    // The folder's size in KB: the program and the uninstaller.
    const auto kb = as_dword(reg_read(kUninstKey, "EstimatedSize"));
    ASSERT_TRUE(kb) << "EstimatedSize is missing or not a DWORD";
    const auto bytes = file_size(installed_exe()) + file_size(uninstaller());
    EXPECT_GE(*kb + 1, bytes / 1024);
    EXPECT_LE(*kb, bytes / 1024 + 1);
    EXPECT_EQ(values.size(), expected.size() + 1) << "values beside the expected ones";
    expect_event_source(installed_exe());
}

TEST_F(Install, TheInstalledProgramWelcomesTheUserOnItsFirstStart) {
    ASSERT_NO_FATAL_FAILURE(install());
    ASSERT_TRUE(program_.start());
    const auto box = wait_message_box(program_.pid(), 15s);
    ASSERT_TRUE(box) << "no welcome after the first start";
    EXPECT_EQ(box->caption, "Welcome to Kestrova!");
}

TEST_F(Install, SilentUninstallRemovesEveryTraceAndKeepsForeignItemsByteForByte) {
    ASSERT_NO_FATAL_FAILURE(install());
    ASSERT_NO_FATAL_FAILURE(store_program_data());
    ASSERT_NO_FATAL_FAILURE(
        add_foreign(kRunKey, "Dulcimet", REG_SZ,
                    std::string("C:\\Program Files\\Dulcimet\\dulcimet.exe") + '\0'));
    ASSERT_NO_FATAL_FAILURE(
        add_foreign(kRunKey, "Tidewatch", REG_EXPAND_SZ,
                    std::string("%ProgramFiles%\\Tidewatch\\tw.exe /tray") + '\0'));
    ASSERT_NO_FATAL_FAILURE(
        add_foreign(kZonesKey, "Cartographer", REG_BINARY, std::string("\x01\x00\xfe\x7f", 4)));

    ASSERT_TRUE(run_quiet_uninstall());

    expect_program_traces_gone();
    EXPECT_FALSE(file_exists(install_dir())) << "the empty program folder is left";
    EXPECT_FALSE(reg_key_exists(kVendorParent)) << "the emptied vendor key is left";
    // AddZones still holds a foreign value, so it stays.
    EXPECT_TRUE(reg_key_exists(kZonesKey));
    expect_foreign_intact();
}

TEST_F(Install, UninstallKeepsTheVendorKeyAndTheFolderWhenOthersUseThem) {
    ASSERT_NO_FATAL_FAILURE(install());
    ASSERT_NO_FATAL_FAILURE(store_program_data());
    ASSERT_NO_FATAL_FAILURE(
        add_foreign(kForeignVendorKey, "Login", REG_SZ, std::string("1") + '\0'));
    const std::string notes = install_dir() + "\\notes.txt";
    ASSERT_TRUE(write_file(notes, "the user's own file\r\n"));

    ASSERT_TRUE(run_quiet_uninstall());

    expect_program_traces_gone();
    // Nothing else was in AddZones.
    EXPECT_FALSE(reg_key_exists(kZonesKey));
    EXPECT_TRUE(reg_key_exists(kVendorParent));
    expect_foreign_intact();
    EXPECT_EQ(read_file(notes), std::optional<std::string>("the user's own file\r\n"));
}

TEST_F(Install, SetupAndUninstallerRefuseWhileTheProgramRuns) {
    ASSERT_NO_FATAL_FAILURE(install());
    ASSERT_NO_FATAL_FAILURE(start_installed_program());

    // The uninstaller run in place (_?=) returns when it has finished.
    const std::string in_place = "\"" + uninstaller() + "\" _?=" + install_dir();
    const auto un = start(in_place);
    ASSERT_TRUE(un);
    const auto box = wait_message_box(un->pid, 20s);
    ASSERT_TRUE(box) << "the uninstaller did not say why it stops";
    EXPECT_NE(box->text.find("Kestrova is running"), std::string::npos) << box->text;
    EXPECT_NE(box->text.find("Quit"), std::string::npos) << box->text;
    ASSERT_TRUE(click(box->hwnd, IDOK));
    EXPECT_EQ(exit_code(un->process.get(), 20s), kRefused);
    EXPECT_EQ(run("\"" + uninstaller() + "\" /S _?=" + install_dir()), kRefused);

    const auto setup = start("\"" + setup_path() + "\"");
    ASSERT_TRUE(setup);
    const auto setup_box = wait_message_box(setup->pid, 20s);
    ASSERT_TRUE(setup_box) << "the setup did not say why it stops";
    EXPECT_NE(setup_box->text.find("Kestrova is running"), std::string::npos) << setup_box->text;
    ASSERT_TRUE(click(setup_box->hwnd, IDOK));
    EXPECT_EQ(exit_code(setup->process.get(), 20s), kRefused);
    EXPECT_EQ(run("\"" + setup_path() + "\" /S"), kRefused);

    // Everything is still in place.
    EXPECT_TRUE(file_exists(installed_exe()));
    EXPECT_TRUE(file_exists(uninstaller()));
    EXPECT_EQ(file_size(attempt_log()), 40u);
    EXPECT_TRUE(reg_key_exists(kUninstKey));
    EXPECT_TRUE(reg_read(kZonesKey, "Query"));
    EXPECT_TRUE(reg_read(kVendorKey, "Login"));

    // A Kestrova in another session holds only the machine-wide name.
    program_.kill();
    {
        Handle running(CreateMutexA(nullptr, FALSE, kRunningMutex));
        ASSERT_TRUE(running);
        EXPECT_EQ(run("\"" + uninstaller() + "\" /S _?=" + install_dir()), kRefused);
        EXPECT_EQ(run("\"" + setup_path() + "\" /S"), kRefused);
    }

    // Once the program has ended, the uninstall goes through.
    ASSERT_TRUE(run_quiet_uninstall());
    expect_program_traces_gone();
}

TEST_F(Install, TheUninstallerSaysWhatItRemovesBeforeItStarts) {
    ASSERT_NO_FATAL_FAILURE(install());
    ASSERT_NO_FATAL_FAILURE(store_program_data());

    const auto un = start("\"" + uninstaller() + "\" _?=" + install_dir());
    ASSERT_TRUE(un);
    // Its caption is followed by the page's own (a blank here).
    HWND page = nullptr;
    wait_for(
        [&] {
            for (HWND w : top_windows(un->pid))
                if (IsWindowVisible(w) && class_name(w) == "#32770" &&
                    window_text(w).starts_with("Kestrova 2.0 Uninstall"))
                    page = w;
            return page != nullptr;
        },
        20s);
    ASSERT_TRUE(page) << "no uninstaller window";
    std::string texts;
    wait_for([&] { return (texts = all_texts(page)).find("question") != std::string::npos; }, 10s);
    EXPECT_NE(texts.find("the question and the answer"), std::string::npos) << texts;
    EXPECT_NE(texts.find("the attempt log"), std::string::npos) << texts;
    EXPECT_NE(texts.find(install_dir()), std::string::npos) << texts;
    EXPECT_TRUE(save_screenshot(page, "uninstall"));

    ASSERT_TRUE(click(page, IDCANCEL));
    EXPECT_EQ(exit_code(un->process.get(), 20s), kCancelled);
    // Cancelled: nothing was removed.
    EXPECT_TRUE(file_exists(installed_exe()));
    EXPECT_TRUE(reg_key_exists(kUninstKey));
    EXPECT_TRUE(reg_read(kZonesKey, "Command"));
}

TEST_F(Install, SetupAndUninstallerCarryTheVersionAndTheProgramIcon) {
    EXPECT_EQ(version_string(setup_path(), "ProductName"), "Kestrova");
    EXPECT_EQ(version_string(setup_path(), "CompanyName"), "Orvane Software");
    EXPECT_EQ(version_string(setup_path(), "ProductVersion"), "2.0");
    EXPECT_EQ(version_string(setup_path(), "FileVersion"), "2.0");

    const auto images = icon_images(self_dir() + "\\program.ico");
    ASSERT_FALSE(images.empty()) << "program.ico is not beside the test";
    ASSERT_NO_FATAL_FAILURE(install());
    for (const std::string& exe : {setup_path(), uninstaller()}) {
        const auto icons = icon_resources(exe);
        for (const auto& image : images) {
            bool found = false;
            for (const auto& icon : icons) found = found || icon == image;
            EXPECT_TRUE(found) << exe << " lacks an image of program.ico (" << image.size()
                               << " bytes)";
        }
    }
}

std::string msi_path(const char* name) { return self_dir() + "\\" + name; }

// The MSI package: a quiet install places what the setup program places; a
// rebuild of the same version and an upgrade to 2.0.1 each keep one
// uninstall entry and every stored value; a downgrade is refused; the
// uninstall removes what the NSIS uninstaller removes and nothing foreign.
TEST_F(Install, MsiInstallsUpgradesRefusesADowngradeAndUninstallsCleanly) {
    const std::string msi = msi_path(kMsiName);
    const std::string upgrade = msi_path(kMsiUpgradeName);
    const std::string rebuild = msi_path(kMsiRebuildName);
    ASSERT_TRUE(file_exists(msi) && file_exists(upgrade) && file_exists(rebuild))
        << "the MSI packages are not beside the test";
    // An older setup's log beside the program moves to the new place.
    const std::string older = kv::log_record(kv::attempt_line("06/12/2026 18:40:11", "Nile"));
    ASSERT_TRUE(CreateDirectoryA(install_dir().c_str(), nullptr));
    ASSERT_TRUE(write_file(old_attempt_log(), older));
    ASSERT_EQ(run("msiexec /i \"" + msi + "\" /qn", 120s), 0u);
    EXPECT_EQ(read_file(attempt_log()), older);
    EXPECT_FALSE(file_exists(old_attempt_log()));
    expect_user_grants();
    EXPECT_EQ(read_file(installed_exe()), read_file(self_dir() + "\\kvstrn.exe"));
    EXPECT_EQ(link_target(msi_shortcut()), installed_exe());
    auto entries = msi_entries();
    ASSERT_EQ(entries.size(), 1u);
    const std::string entry = std::string(kUninstallRoot) + "\\" + entries[0];
    // The ProductCode the release publishes (for winget and Intune) is the
    // one Windows Installer registered.
    const auto codes = read_file(msi_path(kMsiName) + ".codes.txt");
    ASSERT_TRUE(codes) << "the package's codes file is not beside the test";
    EXPECT_NE(codes->find("ProductCode " + entries[0] + "\n"), std::string::npos) << *codes;
    const std::map<std::string, RawValue> expected{
        {"DisplayName", sz(kDisplayName)},
        {"Publisher", sz("Orvane Software")},
        {"HelpLink", sz(KV_WEB_URL)},
        {"URLInfoAbout", sz(KV_WEB_URL)},
        {"Contact", sz(KV_SUPPORT_EMAIL)},
        {"InstallLocation", sz(install_dir() + "\\")},
        {"QuietUninstallString", sz("MsiExec.exe /x " + entries[0] + " /qn /norestart")},
        {"DisplayIcon", sz(installed_exe())},
        {"NoModify", dword(1)},
        {"NoRepair", dword(1)},
    };
    for (const auto& [name, want] : expected) EXPECT_EQ(reg_read(entry, name), want) << name;
    expect_event_source(installed_exe());

    ASSERT_NO_FATAL_FAILURE(store_program_data());
    ASSERT_NO_FATAL_FAILURE(
        add_foreign(kRunKey, "Dulcimet", REG_SZ,
                    std::string("C:\\Program Files\\Dulcimet\\dulcimet.exe") + '\0'));
    ASSERT_NO_FATAL_FAILURE(
        add_foreign(kZonesKey, "Cartographer", REG_BINARY, std::string("\x01\x00\xfe\x7f", 4)));
    ASSERT_NO_FATAL_FAILURE(
        add_foreign(kForeignVendorKey, "Login", REG_SZ, std::string("1") + '\0'));
    std::vector<Foreign> stored;
    for (const char* v : {"Query", "Command"})
        stored.push_back({kZonesKey, v, *reg_read(kZonesKey, v)});
    for (const char* v : {"Status", "Login", "Color"})
        stored.push_back({kVendorKey, v, *reg_read(kVendorKey, v)});
    stored.push_back({kRunKey, "Kestrova", *reg_read(kRunKey, "Kestrova")});
    const auto log = read_file(attempt_log());

    // A rebuild of the same version, then a newer version, each replace the
    // product in place and keep the user's data.
    for (const auto& next : {rebuild, upgrade}) {
        const auto before = entries;
        ASSERT_EQ(run("msiexec /i \"" + next + "\" /qn", 120s), 0u) << next;
        entries = msi_entries();
        ASSERT_EQ(entries.size(), 1u) << "one uninstall entry after " << next;
        EXPECT_NE(entries, before) << next;
        EXPECT_FALSE(reg_key_exists(std::string(kUninstallRoot) + "\\" + before[0]))
            << "the replaced package left its entry";
        EXPECT_TRUE(file_exists(installed_exe()));
        for (const auto& v : stored) EXPECT_EQ(reg_read(v.key, v.name), v.value) << v.name;
        EXPECT_EQ(read_file(attempt_log()), log);
        // Granted once, not once more by the rebuild or the upgrade.
        expect_user_grants();
        expect_event_source(installed_exe());
    }

    // The older package refuses to go over the newer one.
    EXPECT_EQ(run("msiexec /i \"" + msi + "\" /qn", 120s), kMsiInstallFailure);
    EXPECT_EQ(msi_entries(), entries);

    ASSERT_EQ(run("msiexec /x " + entries[0] + " /qn", 120s), 0u);
    EXPECT_TRUE(msi_entries().empty());
    expect_program_traces_gone();
    EXPECT_FALSE(file_exists(msi_shortcut()));
    EXPECT_FALSE(file_exists(install_dir())) << "the empty program folder is left";
    // Another product of the vendor and another value of AddZones keep their keys.
    EXPECT_TRUE(reg_key_exists(kVendorParent));
    EXPECT_TRUE(reg_key_exists(kZonesKey));
    expect_foreign_intact();
}

// Neither an install nor a removal by the MSI package goes on while
// Kestrova runs: msiexec ends with 1603 and nothing changes.
TEST_F(Install, MsiRefusesWhileTheProgramRuns) {
    ASSERT_EQ(run("msiexec /i \"" + msi_path(kMsiName) + "\" /qn", 120s), 0u);
    const auto entries = msi_entries();
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_NO_FATAL_FAILURE(start_installed_program());

    EXPECT_EQ(run("msiexec /x " + entries[0] + " /qn", 120s), kMsiInstallFailure);
    EXPECT_EQ(run("msiexec /i \"" + msi_path(kMsiUpgradeName) + "\" /qn", 120s),
              kMsiInstallFailure);
    EXPECT_EQ(msi_entries(), entries);
    EXPECT_TRUE(file_exists(installed_exe()));
    EXPECT_EQ(file_size(attempt_log()), 40u);
    EXPECT_TRUE(reg_read(kZonesKey, "Query"));
    EXPECT_TRUE(reg_read(kVendorKey, "Login"));

    program_.kill();
    EXPECT_EQ(run("msiexec /x " + entries[0] + " /qn", 120s), 0u);
    expect_program_traces_gone();
}

// The setup program and the MSI package never both install Kestrova: each
// refuses to go beside the other, which keeps its entry, its program and
// the user's data.
TEST_F(Install, SetupAndMsiRefuseToInstallBesideEachOther) {
    ASSERT_NO_FATAL_FAILURE(install());
    ASSERT_NO_FATAL_FAILURE(store_program_data());
    EXPECT_EQ(run("msiexec /i \"" + msi_path(kMsiName) + "\" /qn", 120s), kMsiInstallFailure);
    EXPECT_TRUE(msi_entries().empty());
    EXPECT_TRUE(reg_key_exists(kUninstKey));
    EXPECT_TRUE(file_exists(uninstaller()));
    EXPECT_EQ(file_size(attempt_log()), 40u);
    EXPECT_TRUE(reg_read(kZonesKey, "Query"));
    ASSERT_TRUE(run_quiet_uninstall());

    ASSERT_EQ(run("msiexec /i \"" + msi_path(kMsiName) + "\" /qn", 120s), 0u);
    ASSERT_NO_FATAL_FAILURE(store_program_data());
    EXPECT_EQ(run("\"" + setup_path() + "\" /S"), kInstalledFromMsi);
    EXPECT_FALSE(reg_key_exists(kUninstKey));
    EXPECT_FALSE(file_exists(uninstaller()));
    EXPECT_EQ(msi_entries().size(), 1u);
    EXPECT_EQ(file_size(attempt_log()), 40u);
    EXPECT_TRUE(reg_read(kZonesKey, "Query"));
}

}  // namespace
