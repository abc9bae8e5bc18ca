#include "harness.h"

#include <oleacc.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace kv::e2e {

namespace {

constexpr Millis kPollStep = 20ms;

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string dir_of(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

}  // namespace

bool wait_for(const std::function<bool()>& pred, Millis timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= end) return pred();
        std::this_thread::sleep_for(kPollStep);
    }
}

bool holds_for(const std::function<bool()>& pred, Millis settle) {
    const auto end = std::chrono::steady_clock::now() + settle;
    while (std::chrono::steady_clock::now() < end) {
        if (!pred()) return false;
        std::this_thread::sleep_for(kPollStep);
    }
    return pred();
}

// --- files and paths ---------------------------------------------------------

std::string self_dir() {
    char buf[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    return dir_of(std::string(buf, n));
}

std::string program_path() {
    const std::string e = env("KV_EXE");
    return e.empty() ? self_dir() + "\\kvstrn.exe" : e;
}

std::string program_dir() { return dir_of(program_path()); }

std::string log_file() { return program_dir() + "\\klingon2"; }

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool file_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// --- registry ----------------------------------------------------------------

std::optional<RawValue> reg_read(const std::string& key, const std::string& name, HKEY root) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS)
        return std::nullopt;
    RawValue v;
    DWORD size = 0;
    LONG r = RegQueryValueExA(k, name.c_str(), nullptr, &v.type, nullptr, &size);
    if (r == ERROR_SUCCESS) {
        v.bytes.assign(size, '\0');
        r = RegQueryValueExA(k, name.c_str(), nullptr, &v.type,
                             reinterpret_cast<BYTE*>(v.bytes.data()), &size);
        v.bytes.resize(size);
    }
    RegCloseKey(k);
    if (r != ERROR_SUCCESS) return std::nullopt;
    return v;
}

bool reg_write_raw(const std::string& key, const std::string& name, DWORD type,
                   const std::string& bytes, HKEY root) {
    HKEY k = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG r =
        RegSetValueExA(k, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(k);
    return r == ERROR_SUCCESS;
}

bool reg_write_sz(const std::string& key, const std::string& name, const std::string& bytes,
                  HKEY root) {
    return reg_write_raw(key, name, REG_SZ, bytes + std::string(1, '\0'), root);
}

void reg_delete_value(const std::string& key, const std::string& name, HKEY root) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return;
    RegDeleteValueA(k, name.c_str());
    RegCloseKey(k);
}

void reg_delete_tree(const std::string& key, HKEY root) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return;
    // Children first: RegDeleteKeyA removes only keys without subkeys.
    for (;;) {
        char child[256];
        DWORD len = sizeof child;
        if (RegEnumKeyExA(k, 0, child, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::string sub = key + "\\" + child;
        reg_delete_tree(sub, root);
        if (reg_key_exists(sub, root)) break;  // could not delete: do not loop forever
    }
    RegCloseKey(k);
    RegDeleteKeyA(root, key.c_str());
}

bool reg_key_exists(const std::string& key, HKEY root) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

KeyDacl::KeyDacl(const std::string& key, const char* sddl) : key_(key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, READ_CONTROL | WRITE_DAC, &k) !=
        ERROR_SUCCESS)
        return;
    DWORD size = 0;
    RegGetKeySecurity(k, DACL_SECURITY_INFORMATION, nullptr, &size);
    old_.resize(size);
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (size != 0 &&
        RegGetKeySecurity(k, DACL_SECURITY_INFORMATION, old_.data(), &size) == ERROR_SUCCESS &&
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) {
        ok_ = RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
        LocalFree(sd);
    }
    RegCloseKey(k);
}

KeyDacl::~KeyDacl() {
    HKEY k = nullptr;
    if (!ok_ || RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, WRITE_DAC, &k) != ERROR_SUCCESS)
        return;
    RegSetKeySecurity(k, DACL_SECURITY_INFORMATION, old_.data());
    RegCloseKey(k);
}

void clean_program_registry() {
    reg_delete_tree(kVendorKey);
    reg_delete_tree(kPolicyKey);
    reg_delete_tree(kZonesKey);
    reg_delete_value(kRunKey, "Kestrova");
    reg_delete_value(kRunKey, "Dulcimet");
}

WineVersion::WineVersion(const std::string& version, const std::string& exe)
    : key_("Software\\Wine\\AppDefaults\\" + exe) {
    reg_write_sz(key_, "Version", version, HKEY_CURRENT_USER);
}

WineVersion::~WineVersion() { reg_delete_value(key_, "Version", HKEY_CURRENT_USER); }

// --- windows -----------------------------------------------------------------

std::string class_name(HWND w) {
    char buf[256] = {};
    const int n = GetClassNameA(w, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}

std::string window_text(HWND w) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return {};
    std::string buf(len + 1, '\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                             SMTO_ABORTIFHUNG, 2000, &got))
        return {};
    buf.resize(got);
    return buf;
}

bool set_window_text(HWND w, const std::string& text) {
    DWORD_PTR r = 0;
    return SendMessageTimeoutA(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_ABORTIFHUNG, 2000, &r) != 0 &&
           r != 0;
}

DWORD window_pid(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return pid;
}

bool is_visible(HWND w) { return w && IsWindow(w) && IsWindowVisible(w); }

bool is_topmost(HWND w) { return (GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

RECT window_rect(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

RECT screen_rect() {
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

namespace {

struct EnumContext {
    DWORD pid;
    std::vector<HWND> out;
};

BOOL CALLBACK collect_window(HWND w, LPARAM p) noexcept {
    auto* c = reinterpret_cast<EnumContext*>(p);
    if (c->pid == 0 || window_pid(w) == c->pid) c->out.push_back(w);
    return TRUE;
}

}  // namespace

std::vector<HWND> top_windows(DWORD pid) {
    EnumContext ctx{pid, {}};
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&ctx));
    return ctx.out;
}

HWND find_window(DWORD pid, std::string_view cls, std::optional<std::string_view> caption) {
    for (HWND w : top_windows(pid)) {
        if (!IsWindowVisible(w) || class_name(w) != cls) continue;
        if (caption && window_text(w) != *caption) continue;
        return w;
    }
    return nullptr;
}

HWND wait_window(DWORD pid, std::string_view cls, std::optional<std::string_view> caption,
                 Millis timeout) {
    HWND found = nullptr;
    wait_for([&] { return (found = find_window(pid, cls, caption)) != nullptr; }, timeout);
    return found;
}

std::optional<MessageBoxInfo> find_message_box(DWORD pid) {
    for (HWND w : top_windows(pid)) {
        if (!IsWindowVisible(w) || class_name(w) != "#32770") continue;
        HWND text = GetDlgItem(w, 0xFFFF);
        if (!text) continue;  // an input box or another dialog
        MessageBoxInfo mb;
        mb.hwnd = w;
        mb.caption = window_text(w);
        mb.text = window_text(text);
        for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
            HWND b = GetDlgItem(w, id);
            if (b && IsWindowVisible(b)) mb.buttons.push_back(id);
        }
        return mb;
    }
    return std::nullopt;
}

std::optional<MessageBoxInfo> wait_message_box(DWORD pid, Millis timeout) {
    std::optional<MessageBoxInfo> found;
    wait_for([&] { return (found = find_message_box(pid)).has_value(); }, timeout);
    return found;
}

HWND find_input_box(DWORD pid, std::string_view title) {
    for (HWND w : top_windows(pid)) {
        if (!IsWindowVisible(w) || class_name(w) != "#32770") continue;
        if (!GetDlgItem(w, kInputEditId) || window_text(w) != title) continue;
        return w;
    }
    return nullptr;
}

HWND wait_input_box(DWORD pid, std::string_view title, Millis timeout) {
    HWND found = nullptr;
    wait_for([&] { return (found = find_input_box(pid, title)) != nullptr; }, timeout);
    return found;
}

bool answer_input_box(HWND box, const std::string& text) {
    HWND edit = GetDlgItem(box, kInputEditId);
    return edit && set_window_text(edit, text) && window_text(edit) == text && click(box, IDOK);
}

bool run_unix(const std::string& unix_tool, const std::string& args) {
    std::string tool = unix_tool;
    // The Unix path as a DOS path (Z:\usr\bin\xdotool), through Wine's own
    // conversion, so the current drive does not matter.
    using ToDos = WCHAR* (*)(const char*);
    const auto to_dos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (WCHAR* dos = to_dos ? to_dos(tool.c_str()) : nullptr) {
        char narrow[MAX_PATH * 2] = {};
        WideCharToMultiByte(CP_ACP, 0, dos, -1, narrow, sizeof narrow, nullptr, nullptr);
        HeapFree(GetProcessHeap(), 0, dos);
        tool = narrow;
    }
    std::string cmd = "\"" + tool + "\" " + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        std::fprintf(stderr, "could not start %s: %lu\n", cmd.c_str(), GetLastError());
        return false;
    }
    // Wine hands out no handles for a Unix process.
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    return true;
}

bool xdotool(const std::string& args) {
    const std::string tool = env("KV_XDOTOOL");
    return run_unix(tool.empty() ? "/usr/bin/xdotool" : tool, args);
}

std::string unix_path(const std::string& windows_path) {
    using ToUnix = char* (*)(const WCHAR*);
    const auto to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    const std::wstring wide(windows_path.begin(), windows_path.end());
    char* path = to_unix ? to_unix(wide.c_str()) : nullptr;
    if (!path) return {};
    std::string result = path;
    HeapFree(GetProcessHeap(), 0, path);
    return result;
}

bool xdotool_marked(const std::string& args, const std::string& marker) {
    DeleteFileA(marker.c_str());
    const std::string path = unix_path(marker);
    if (path.empty()) return false;
    return xdotool(args + " exec --args 2 /usr/bin/touch \"" + path + "\"");
}

namespace {

// Whether a file can be made in the folder now (and it is taken away again).
bool writable(const std::string& folder) {
    const std::string probe = folder + "\\kv-probe.tmp";
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    DeleteFileA(probe.c_str());
    return true;
}

}  // namespace

ReadOnlyFolder::ReadOnlyFolder(std::string folder) : folder_(std::move(folder)) {
    const std::string path = unix_path(folder_);
    ok_ = !path.empty() && run_unix("/usr/bin/chattr", "+i \"" + path + "\"") &&
          wait_for([&] { return !writable(folder_); }, 10s);
}

ReadOnlyFolder::~ReadOnlyFolder() {
    const std::string path = unix_path(folder_);
    if (!path.empty() && run_unix("/usr/bin/chattr", "-i \"" + path + "\""))
        wait_for([&] { return writable(folder_); }, 10s);
}

std::string known_folder(int csidl) {
    char buf[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))
               ? std::string(buf)
               : std::string();
}

bool click(HWND dialog, int id) {
    HWND b = GetDlgItem(dialog, id);
    if (!b) return false;
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(b)) != 0;
}

HWND control(HWND form, int position) { return GetDlgItem(form, 1000 + position); }

int screen_dpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return dpi;
}

int twips_to_px(int twips) { return MulDiv(twips, screen_dpi(), 1440); }

namespace {

// MinGW's import library lacks it.
constexpr GUID kIidAccessible{0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

std::string narrow(BSTR b) {
    if (!b) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, b, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_ACP, 0, b, -1, out.data(), n, nullptr, nullptr);
    SysFreeString(b);
    return out;
}

}  // namespace

std::optional<Accessible> accessible(HWND w) {
    static const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    (void)com;
    IAccessible* acc = nullptr;
    if (FAILED(AccessibleObjectFromWindow(w, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                          reinterpret_cast<void**>(&acc))) ||
        !acc)
        return std::nullopt;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    Accessible out;
    BSTR name = nullptr;
    if (acc->get_accName(self, &name) == S_OK) out.name = narrow(name);
    VARIANT v{};
    if (acc->get_accRole(self, &v) == S_OK && v.vt == VT_I4) out.role = v.lVal;
    VariantClear(&v);
    if (acc->get_accState(self, &v) == S_OK && v.vt == VT_I4) out.state = v.lVal;
    VariantClear(&v);
    BSTR value = nullptr;
    if (acc->get_accValue(self, &value) == S_OK) {
        out.value = narrow(value);
        out.value_read = true;
    }
    acc->Release();
    return out;
}

std::string system_class(HWND w) {
    char name[64] = {};
    RealGetWindowClassA(w, name, sizeof name);
    return name;
}

namespace {

// The text a button or label shows: "&&" as "&", a single "&" left out.
std::string visible_text(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

BOOL CALLBACK collect_child(HWND w, LPARAM p) noexcept {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
}

}  // namespace

std::string screen_reader_faults(HWND form) {
    std::vector<HWND> children;
    EnumChildWindows(form, &collect_child, reinterpret_cast<LPARAM>(&children));
    std::string faults;
    for (HWND w : children) {
        if (GetParent(w) != form) continue;
        const std::string cls = system_class(w);
        const auto acc = accessible(w);
        const std::string id = class_name(form) + " #" + std::to_string(GetDlgCtrlID(w)) + " " + cls;
        if (!acc) {
            faults += id + ": no accessible object\n";
            continue;
        }
        std::printf("screen reader: %s name \"%s\" role %ld state 0x%lx\n", id.c_str(),
                    acc->name.c_str(), acc->role, acc->state);
        if (cls == "Button" || cls == "Static") {
            std::string shown = visible_text(window_text(w));
            shown.erase(shown.find_last_not_of(' ') + 1);
            std::string name = acc->name;
            name.erase(name.find_last_not_of(' ') + 1);
            // Wine's oleacc drops the first "&" only, and reads "&Lock && Hide"
            // as "Lock && Hide"; Windows' as shown.
            std::string wine = window_text(w);
            if (const auto amp = wine.find('&'); amp != std::string::npos) wine.erase(amp, 1);
            wine.erase(wine.find_last_not_of(' ') + 1);
            if (name != shown && name != wine) faults += id + ": named \"" + name + "\", shows \"" + shown + "\"\n";
        } else if (cls == "Edit" || cls == "ListBox") {
            if (is_visible(w) && acc->name.empty()) faults += id + ": no name\n";
        } else if (cls != "tooltips_class32") {
            faults += id + ": not a system control\n";
        }
    }
    return faults;
}

bool save_screenshot(HWND w, const std::string& name) {
    const std::string dir = env("KV_SHOT_DIR");
    if (dir.empty()) return true;
    // The program may not have painted what it just changed: have it paint
    // the window and its children now (a cross-process send waits for it).
    RedrawWindow(w, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const RECT r = window_rect(w);
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;

    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bmp && bits) {
        HGDIOBJ old = SelectObject(mem, bmp);
        ok = BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(mem, old);
    }
    if (ok) {
        const DWORD stride = ((width * 3 + 3) / 4) * 4;
        const DWORD image = stride * height;
        BITMAPFILEHEADER fh{};
        fh.bfType = 0x4D42;  // "BM"
        fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
        fh.bfSize = fh.bfOffBits + image;
        bi.bmiHeader.biSizeImage = image;
        std::ofstream out(dir + "\\" + name + ".bmp", std::ios::binary);
        out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
        out.write(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
        out.write(static_cast<const char*>(bits), image);
        ok = static_cast<bool>(out);
    }
    if (bmp) DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

// --- the program -------------------------------------------------------------

Program::~Program() { kill(); }

namespace {

// This process's token as UAC gives it to a program started from the Start
// menu: the limited token linked to it, Administrators for denying only.
HANDLE standard_user_token() {
    HANDLE self = nullptr, restricted = nullptr, primary = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &self)) return nullptr;
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    const bool has_linked =
        GetTokenInformation(self, TokenLinkedToken, &linked, sizeof linked, &size) != 0;
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD admins_size = sizeof admins;
    SID_AND_ATTRIBUTES deny_only{admins, 0};
    if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &admins_size) &&
        CreateRestrictedToken(has_linked ? linked.LinkedToken : self, 0, 1, &deny_only, 0, nullptr,
                              0, nullptr, &restricted))
        DuplicateTokenEx(restricted, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                         &primary);
    if (restricted) CloseHandle(restricted);
    if (has_linked) CloseHandle(linked.LinkedToken);
    CloseHandle(self);
    return primary;
}

}  // namespace

bool Program::start(bool standard_user) {
    kill();
    const std::string path = program_path();
    const std::string dir = program_dir();
    std::string cmd = "\"" + path + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    HANDLE token = standard_user ? standard_user_token() : nullptr;
    if (standard_user && !token) {
        std::fprintf(stderr, "no standard user's token: %lu\n", GetLastError());
        return false;
    }
    const BOOL started =
        token ? CreateProcessAsUserA(token, path.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, dir.c_str(), &si, &pi)
              : CreateProcessA(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               dir.c_str(), &si, &pi);
    if (token) CloseHandle(token);
    if (!started) {
        std::fprintf(stderr, "CreateProcess(%s) failed: %lu\n", path.c_str(), GetLastError());
        return false;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool Program::running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Program::wait_exit(Millis timeout) const {
    if (!process_) return std::nullopt;
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

void Program::kill() {
    if (!process_) return;
    if (running()) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
    process_ = nullptr;
    pid_ = 0;
}

void release_desktop() {
    ClipCursor(nullptr);
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe)) {
        if (lstrcmpiA(pe.szExeFile, "kvstrn.exe") != 0) continue;
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pe.th32ProcessID);
        if (!h) continue;
        TerminateProcess(h, 98);
        WaitForSingleObject(h, 10000);
        CloseHandle(h);
    }
    CloseHandle(snap);
}

void clear_program_state() {
    release_desktop();
    clean_program_registry();
    DeleteFileA(log_file().c_str());
}

}  // namespace kv::e2e
