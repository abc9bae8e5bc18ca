// Process, version, pointer, shell and clock services over the Win32 calls
// of the same names.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/win32/form_impl.h"
#include "platform/win32/handles.h"

namespace kv::platform {

using win32::from_rect;
using win32::to_hwnd;

namespace {

std::string module_path() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return std::string(path.data(), n);
        path.resize(path.size() * 2);
    }
}

// nullptr for an empty text, as the shell expects for "none".
const char* or_null(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

}  // namespace

// --- process -----------------------------------------------------------------

bool previous_instance() {
    // The mutex lives as long as the process, so that later starts see it.
    struct Instance {
        win32::KernelHandle mutex;
        bool earlier = false;
    };
    static const Instance instance = [] {
        SetLastError(ERROR_SUCCESS);
        Instance i;
        i.mutex.reset(CreateMutexA(nullptr, FALSE, "Kestrova.Instance"));
        i.earlier = GetLastError() == ERROR_ALREADY_EXISTS;
        return i;
    }();
    return instance.earlier;
}

void end_process() { ExitProcess(0); }

std::string program_dir() {
    std::string path = module_path();
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return path;
    // "C:\kvstrn.exe" keeps its backslash: "C:\".
    path.resize(slash > 0 && path[slash - 1] == ':' ? slash + 1 : slash);
    return path;
}

// --- versions ----------------------------------------------------------------

OsVersion os_version() {
    static_assert(sizeof(OSVERSIONINFOA) == 148);
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = 148;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    return {info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId};
}

namespace {

VersionInfo read_version_info() {
    VersionInfo v;
    const std::string path = module_path();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return v;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return v;

    void* p = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data.data(), "\\", &p, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(p);
        v.major = HIWORD(fixed->dwFileVersionMS);
        v.minor = LOWORD(fixed->dwFileVersionMS);
    }

    // The strings of the first translation listed.
    unsigned language = 0x0409, codepage = 1200;
    if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &p, &length) && length >= 4) {
        const auto* pair = static_cast<const WORD*>(p);
        language = pair[0];
        codepage = pair[1];
    }
    const auto field = [&](const char* name) {
        char query[128];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", language, codepage,
                      name);
        void* text = nullptr;
        UINT chars = 0;
        if (!VerQueryValueA(data.data(), query, &text, &chars) || !text || chars == 0)
            return std::string{};
        return std::string(static_cast<const char*>(text));
    };
    v.product_name = field("ProductName");
    v.company_name = field("CompanyName");
    v.file_description = field("FileDescription");
    v.comments = field("Comments");
    v.legal_copyright = field("LegalCopyright");
    v.legal_trademarks = field("LegalTrademarks");
    return v;
}

}  // namespace

// The executable's own resource does not change while it runs: it is read
// from the file once (the splash, the main window and every lock screen ask).
VersionInfo version_info() {
    static const VersionInfo v = read_version_info();
    return v;
}

// --- dialogue ----------------------------------------------------------------

int message_box(std::string_view text, unsigned type, std::string_view title) {
    return MessageBoxA(win32::active_form(), std::string(text).c_str(), std::string(title).c_str(),
                       type);
}

void beep() { MessageBeep(MB_OK); }

// --- pointer and windows -----------------------------------------------------

bool clip_cursor(const Rect& r) {
    const RECT rc = win32::to_rect(r);
    return ClipCursor(&rc) != 0;
}

Point cursor_pos() {
    POINT p{};
    GetCursorPos(&p);
    return {p.x, p.y};
}

void set_cursor_pos(int x, int y) { SetCursorPos(x, y); }

Rect desktop_rect() { return window_rect(win32::from_hwnd(GetDesktopWindow())); }

Rect window_rect(NativeWindow w) {
    RECT r{};
    GetWindowRect(to_hwnd(w), &r);
    return from_rect(r);
}

void set_default_pointer() { SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW))); }

void end_menu() { EndMenu(); }

void system_parameters_info(unsigned action, int flag) {
    UINT scratch = 0;
    SystemParametersInfoA(action, static_cast<UINT>(flag), &scratch, 0);
}

namespace {

// The flags of one feature's structure, read and written whole, so that its
// other fields stay as they are.
template <class T>
std::optional<std::uint32_t> flags_of(UINT get) {
    T s{};
    s.cbSize = sizeof s;
    if (!SystemParametersInfoA(get, sizeof s, &s, 0)) return std::nullopt;
    return static_cast<std::uint32_t>(s.dwFlags);
}

template <class T>
bool set_flags_of(UINT get, UINT set, std::uint32_t flags) {
    T s{};
    s.cbSize = sizeof s;
    if (!SystemParametersInfoA(get, sizeof s, &s, 0)) return false;
    s.dwFlags = flags;
    return SystemParametersInfoA(set, sizeof s, &s, 0) != 0;  // no SPIF_UPDATEINIFILE
}

}  // namespace

std::optional<std::uint32_t> access_flags(AccessFeature f) {
    switch (f) {
        case AccessFeature::StickyKeys:
            return flags_of<STICKYKEYS>(SPI_GETSTICKYKEYS);
        case AccessFeature::FilterKeys:
            return flags_of<FILTERKEYS>(SPI_GETFILTERKEYS);
        case AccessFeature::ToggleKeys:
            return flags_of<TOGGLEKEYS>(SPI_GETTOGGLEKEYS);
        case AccessFeature::HighContrast:
            return flags_of<HIGHCONTRASTA>(SPI_GETHIGHCONTRAST);
        case AccessFeature::MouseKeys:
            return flags_of<MOUSEKEYS>(SPI_GETMOUSEKEYS);
    }
    return std::nullopt;
}

bool set_access_flags(AccessFeature f, std::uint32_t flags) {
    switch (f) {
        case AccessFeature::StickyKeys:
            return set_flags_of<STICKYKEYS>(SPI_GETSTICKYKEYS, SPI_SETSTICKYKEYS, flags);
        case AccessFeature::FilterKeys:
            return set_flags_of<FILTERKEYS>(SPI_GETFILTERKEYS, SPI_SETFILTERKEYS, flags);
        case AccessFeature::ToggleKeys:
            return set_flags_of<TOGGLEKEYS>(SPI_GETTOGGLEKEYS, SPI_SETTOGGLEKEYS, flags);
        case AccessFeature::HighContrast:
            return set_flags_of<HIGHCONTRASTA>(SPI_GETHIGHCONTRAST, SPI_SETHIGHCONTRAST, flags);
        case AccessFeature::MouseKeys:
            return set_flags_of<MOUSEKEYS>(SPI_GETMOUSEKEYS, SPI_SETMOUSEKEYS, flags);
    }
    return false;
}

NativeWindow foreground_window() { return win32::from_hwnd(GetForegroundWindow()); }

void take_foreground(NativeWindow w, NativeWindow focus) {
    const HWND target = to_hwnd(w);
    const HWND keys = focus ? to_hwnd(focus) : target;
    // The thread's own focus may never have left the control while another
    // program had the keyboard: move it away and back, so that the window
    // system's keyboard focus (X's, under Wine) follows it too.
    const auto focus_on = [keys] {
        SetFocus(nullptr);
        SetFocus(keys);
    };
    // Granted outright where the foreground rules let this process have it.
    if (SetForegroundWindow(target) && GetForegroundWindow() == target) {
        focus_on();
        return;
    }
    // Otherwise the thread that has the keyboard may hand it on: share its
    // input state for the length of the calls.
    const DWORD self = GetCurrentThreadId();
    const HWND current = GetForegroundWindow();
    const DWORD other = current ? GetWindowThreadProcessId(current, nullptr) : 0;
    const bool attached = other != 0 && other != self && AttachThreadInput(self, other, TRUE);
    BringWindowToTop(target);
    SetForegroundWindow(target);
    focus_on();
    if (attached) AttachThreadInput(self, other, FALSE);
}

namespace {

bool key_down(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

// What the hook's thread works with. One lock, so one hook, at a time; only
// the hook's thread touches the gate.
struct HookState {
    HWND lock = nullptr;
    KeyGate gate;
    HHOOK hook = nullptr;
    HANDLE ready = nullptr;
};
HookState* hook_state = nullptr;

// The lock is the foreground window and the keys go to it. While the lock
// takes the foreground back, its thread shares the input of the window that
// had it for a moment: that window may still have the focus then.
bool lock_has_keys() {
    const HWND lock = hook_state->lock;
    if (GetForegroundWindow() != lock) return false;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(0, &info)) return true;
    return !info.hwndFocus || info.hwndFocus == lock || IsChild(lock, info.hwndFocus);
}

// Runs on every key of the desktop while the lock waits, so it does no more
// than look: the system drops a low-level hook that is slow to answer.
LRESULT CALLBACK task_key_proc(int code, WPARAM wp, LPARAM lp) noexcept {
    if (code == HC_ACTION && hook_state) {
        const auto& k = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
        const bool up = (k.flags & LLKHF_UP) != 0;
        const bool alt = (k.flags & LLKHF_ALTDOWN) != 0 || key_down(VK_MENU);
        if (hook_state->gate.swallow(k.vkCode, up, alt, key_down(VK_CONTROL), lock_has_keys()))
            return 1;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

// The hook's thread: the hook is called through its message loop, which
// nothing else uses.
DWORD WINAPI hook_thread(void* param) noexcept {
    auto& state = *static_cast<HookState*>(param);
    std::bitset<256> down;
    for (int vk = 1; vk < 256; ++vk) down[vk] = key_down(vk);
    state.gate = KeyGate(down);
    state.hook = SetWindowsHookExA(WH_KEYBOARD_LL, &task_key_proc, GetModuleHandleA(nullptr), 0);
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);  // the queue, for WM_QUIT
    SetEvent(state.ready);
    while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
    if (state.hook) UnhookWindowsHookEx(state.hook);
    return 0;
}

struct HookThread {
    HookState state;
    win32::KernelHandle thread;
    DWORD id = 0;
};

// Out of context: called on the lock's thread as it reads its messages.
void CALLBACK foreground_changed(HWINEVENTHOOK, DWORD, HWND w, LONG, LONG, DWORD,
                                 DWORD) noexcept {
    if (hook_state && w != hook_state->lock && IsWindow(hook_state->lock))
        PostMessageA(hook_state->lock, win32::kWmDeactivated, 0, 0);
}

}  // namespace

TaskKeyBlock::TaskKeyBlock(NativeWindow lock) {
    auto* t = new HookThread;
    t->state.lock = to_hwnd(lock);
    win32::KernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    t->state.ready = ready.get();
    hook_state = &t->state;
    t->thread.reset(CreateThread(nullptr, 64 * 1024, &hook_thread, &t->state,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, &t->id));
    // Held from the moment the lock shows, not some time later.
    if (t->thread) WaitForSingleObject(ready.get(), 5000);
    t->state.ready = nullptr;
    hook_ = reinterpret_cast<std::uintptr_t>(t);
    watch_ = reinterpret_cast<std::uintptr_t>(
        SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                        &foreground_changed, 0, 0, WINEVENT_OUTOFCONTEXT));
}

TaskKeyBlock::~TaskKeyBlock() {
    if (watch_) UnhookWinEvent(reinterpret_cast<HWINEVENTHOOK>(watch_));
    auto* t = reinterpret_cast<HookThread*>(hook_);
    if (t->thread) {
        PostThreadMessageA(t->id, WM_QUIT, 0, 0);
        WaitForSingleObject(t->thread.get(), INFINITE);
    }
    hook_state = nullptr;
    delete t;
}

void set_window_pos(NativeWindow w, std::intptr_t insert_after, unsigned flags) {
    SetWindowPos(to_hwnd(w), reinterpret_cast<HWND>(insert_after), 0, 0, 0, 0, flags);
}

std::intptr_t send_message(NativeWindow w, unsigned msg, std::uintptr_t wparam,
                           std::intptr_t lparam) {
    return SendMessageA(to_hwnd(w), msg, wparam, lparam);
}

bool register_hotkey(NativeWindow w, unsigned vk) {
    // WM_HOTKEY reaches the form, which restores and activates itself.
    return RegisterHotKey(to_hwnd(w), 1, 0, vk) != 0;
}

std::intptr_t shell_execute(NativeWindow w, std::string_view verb, std::string_view file,
                            std::string_view params, std::string_view dir, int show) {
    // The shell is loaded the first time it is needed, not at start.
    using Execute = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
    static const auto execute = reinterpret_cast<Execute>(
        reinterpret_cast<void*>(win32::library_function("shell32.dll", "ShellExecuteA")));
    if (!execute) return 0;  // ERROR_OUT_OF_MEMORY: "out of memory or resources"
    const std::string v(verb), f(file), p(params), d(dir);
    return reinterpret_cast<std::intptr_t>(
        execute(to_hwnd(w), or_null(v), f.c_str(), or_null(p), or_null(d), show));
}

// --- clock -------------------------------------------------------------------

std::string date_text() {
    char text[128] = {};
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, text, sizeof text) <=
        0)
        return {};
    return text;
}

std::string time_text() {
    char text[128] = {};
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, sizeof text) <= 0) return {};
    return text;
}

}  // namespace kv::platform
