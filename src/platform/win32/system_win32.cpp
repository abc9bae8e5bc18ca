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

std::string win32::module_path() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return std::string(path.data(), n);
        path.resize(path.size() * 2);
    }
}

using win32::module_path;

namespace {

// nullptr for an empty text, as the shell expects for "none".
const char* or_null(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

}  // namespace

// --- process -----------------------------------------------------------------

namespace win32 {

HANDLE shared_mutex(const char* name) {
    // Created by one user, the object must open for the others: by default
    // only its creator could.
    using Convert = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
    using CreateEx = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCSTR, DWORD, DWORD);
    static const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(library_function(
        "advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorA")));
    static const auto create_ex = reinterpret_cast<CreateEx>(
        reinterpret_cast<void*>(library_function("kernel32.dll", "CreateMutexExA")));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // SYSTEM and administrators: all; authenticated users: wait and release.
    if (convert)
        convert("D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x100001;;;AU)", 1, &descriptor, nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    // Opening one that exists asks only for the rights every user has.
    const HANDLE mutex = create_ex ? create_ex(&attributes, name, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE)
                                   : CreateMutexA(&attributes, FALSE, name);
    if (descriptor) LocalFree(descriptor);
    return mutex;
}

}  // namespace win32

bool previous_instance() {
    // The mutexes live as long as the process, so that later starts see them.
    // The instance mutex has a name of the session's own namespace: each
    // signed-in user's session runs one Kestrova. The running mutex is
    // machine-wide, for an installer to find a Kestrova in any session.
    struct Instance {
        win32::KernelHandle mutex;
        win32::KernelHandle running;
        bool earlier = false;
    };
    static const Instance instance = [] {
        SetLastError(ERROR_SUCCESS);
        Instance i;
        i.mutex.reset(CreateMutexA(nullptr, FALSE, "Kestrova.Instance"));
        i.earlier = GetLastError() == ERROR_ALREADY_EXISTS;
        i.running.reset(win32::shared_mutex("Global\\Kestrova.Running"));
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

bool process_elevated() {
    // A test under Wine, whose every process is an elevated administrator's,
    // takes the standard user's way with this set.
    char test[2] = {};
    if (GetEnvironmentVariableA("KV_TEST_NOT_ELEVATED", test, sizeof test) == 1 && test[0] == '1')
        return false;
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return true;
    const win32::KernelHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    // Before Vista there is no elevation to ask for.
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        return true;
    return elevation.TokenIsElevated != 0;
}

// The copy does one registry change and ends; the system has asked for
// consent before ShellExecuteEx returns. A copy that does not end in time
// is left to itself, and the caller reads back what is stored.
long run_elevated(std::string_view args) {
    using Execute = BOOL(WINAPI*)(SHELLEXECUTEINFOA*);
    static const auto execute = reinterpret_cast<Execute>(
        reinterpret_cast<void*>(win32::library_function("shell32.dll", "ShellExecuteExA")));
    if (!execute) return ERROR_CALL_NOT_IMPLEMENTED;
    const std::string file = module_path();
    const std::string params(args);
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = win32::active_form();
    info.lpVerb = "runas";
    info.lpFile = file.c_str();
    info.lpParameters = params.c_str();
    info.nShow = SW_HIDE;
    if (!execute(&info)) return static_cast<long>(GetLastError());
    if (!info.hProcess) return ERROR_SUCCESS;
    const win32::KernelHandle process(info.hProcess);
    if (WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) return WAIT_TIMEOUT;
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code)) return static_cast<long>(GetLastError());
    return static_cast<long>(code);
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

Rect cursor_clip() {
    RECT r{};
    GetClipCursor(&r);
    return from_rect(r);
}

bool on_top(NativeWindow w) {
    const HWND hwnd = to_hwnd(w);
    if (!(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST)) return false;
    // Hidden windows (tool tips, other programs' message windows) may be
    // above it and cover nothing.
    for (HWND x = GetWindow(hwnd, GW_HWNDPREV); x; x = GetWindow(x, GW_HWNDPREV))
        if (IsWindowVisible(x)) return false;
    return true;
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

namespace {

// The window's thread reads its messages: not hung for the system, and
// answering within 50 ms.
bool answers(HWND w) {
    if (IsHungAppWindow(w)) return false;
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 50, &ignored) != 0;
}

// Where the foreground rules refuse it, the thread that has the keyboard
// may hand it on: a thread of its own shares that thread's input for the
// length of the call. Activating with a shared input sends to the other
// thread and waits for it; a program that answered a moment ago may hang
// the next, and then only this thread waits, not the lock's.
DWORD WINAPI hand_over_foreground(void* target) noexcept {
    const HWND current = GetForegroundWindow();
    const DWORD other = current ? GetWindowThreadProcessId(current, nullptr) : 0;
    const DWORD self = GetCurrentThreadId();
    if (other == 0 || !answers(current) || !AttachThreadInput(self, other, TRUE)) return 1;
    SetForegroundWindow(static_cast<HWND>(target));
    AttachThreadInput(self, other, FALSE);
    return 0;
}

}  // namespace

void take_foreground(NativeWindow w, NativeWindow focus) {
    const HWND target = to_hwnd(w);
    // Granted outright where the foreground rules let this process have it.
    if (!(SetForegroundWindow(target) && GetForegroundWindow() == target)) {
        // One hand-over at a time: one stuck on a hung program is left to
        // finish when it does; the guard's next ticks try outright again.
        static win32::KernelHandle hand_over;
        if (!hand_over || WaitForSingleObject(hand_over.get(), 0) == WAIT_OBJECT_0)
            hand_over.reset(CreateThread(nullptr, 64 * 1024, &hand_over_foreground, target,
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        return;  // the keys follow once the window is in front
    }
    // The thread's own focus may never have left the control while another
    // program had the keyboard: move it away and back, so that the window
    // system's keyboard focus (X's, under Wine) follows it too.
    SetFocus(nullptr);
    SetFocus(focus ? to_hwnd(focus) : target);
}

namespace {

bool key_down(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

// What the hook's thread works with. One lock, so one hook, at a time; only
// the hook's thread touches the gate and the hook. The callbacks of a
// low-level hook and of an event hook carry no context of their own: they
// find it here, for as long as a TaskKeyBlock lives.
struct HookState {
    HWND lock = nullptr;
    KeyGate gate;
    win32::Hook hook;
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

// Windows removes a low-level hook that once misses its time-out without
// telling anyone (a paging storm, a debugger, a suspended process): the
// hook is put in again this often, the new one before the old one goes, so
// that no key finds none. Both run on the hook's thread, between its
// messages, so no key is seen twice.
constexpr UINT kRehookMs = 250;

HHOOK install_hook() {
    return SetWindowsHookExA(WH_KEYBOARD_LL, &task_key_proc, GetModuleHandleA(nullptr), 0);
}

void rehook(HookState& state) {
    const HHOOK fresh = install_hook();
    if (!fresh) return;  // the old one, if it still holds, stays
    state.hook.reset(fresh);  // the old one goes once the new one is in
}

// For the end-to-end test of the re-installing only: with the environment
// variable KV_TEST_DROP_HOOK set when the lock comes, this thread message
// removes the hook as Windows would, silently. Ignored otherwise.
constexpr UINT kWmTestDropHook = WM_APP + 0x40;

// The hook's thread: the hook is called through its message loop, which
// nothing else uses, at the highest priority of its class so that a busy
// machine delays it least.
DWORD WINAPI hook_thread(void* param) noexcept {
    auto& state = *static_cast<HookState*>(param);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const bool test_drop = GetEnvironmentVariableA("KV_TEST_DROP_HOOK", nullptr, 0) > 0;
    std::bitset<256> down;
    for (int vk = 1; vk < 256; ++vk) down[vk] = key_down(vk);
    state.gate = KeyGate(down);
    state.hook.reset(install_hook());
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);  // the queue, for WM_QUIT
    const UINT_PTR timer = SetTimer(nullptr, 0, kRehookMs, nullptr);
    SetEvent(state.ready);
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (m.hwnd == nullptr && m.message == WM_TIMER) {
            rehook(state);
        } else if (m.hwnd == nullptr && m.message == kWmTestDropHook && test_drop) {
            state.hook.reset();
        } else {
            DispatchMessageA(&m);
        }
    }
    if (timer) KillTimer(nullptr, timer);
    state.hook.reset();
    return 0;
}

// Out of context: called on the lock's thread as it reads its messages.
void CALLBACK foreground_changed(HWINEVENTHOOK, DWORD, HWND w, LONG, LONG, DWORD,
                                 DWORD) noexcept {
    if (hook_state && w != hook_state->lock && IsWindow(hook_state->lock))
        PostMessageA(hook_state->lock, win32::kWmDeactivated, 0, 0);
}

// A window of another program shown, or the order of the windows changed
// (one raised itself above the lock): the lock goes back on top at once.
void CALLBACK order_changed(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG, DWORD,
                            DWORD) noexcept {
    if (event != EVENT_OBJECT_REORDER && object != OBJID_WINDOW) return;  // carets, pointers
    if (hook_state && IsWindow(hook_state->lock))
        PostMessageA(hook_state->lock, win32::kWmDeactivated, 0, 0);
}

}  // namespace

struct TaskKeyBlock::Impl {
    HookState state;
    win32::KernelHandle thread;
    DWORD id = 0;
    win32::WinEventHook foreground_watch, order_watch;
};

TaskKeyBlock::TaskKeyBlock(NativeWindow lock) : impl_(std::make_unique<Impl>()) {
    Impl* t = impl_.get();
    t->state.lock = to_hwnd(lock);
    win32::KernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    t->state.ready = ready.get();
    hook_state = &t->state;
    t->thread.reset(CreateThread(nullptr, 64 * 1024, &hook_thread, &t->state,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, &t->id));
    // Held from the moment the lock shows, not some time later.
    if (t->thread) WaitForSingleObject(ready.get(), 5000);
    t->state.ready = nullptr;
    t->foreground_watch.reset(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND,
                                              nullptr, &foreground_changed, 0, 0,
                                              WINEVENT_OUTOFCONTEXT));
    // Not its own: the lock's own raising would call it back without end.
    t->order_watch.reset(SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_REORDER, nullptr,
                                         &order_changed, 0, 0,
                                         WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
}

TaskKeyBlock::~TaskKeyBlock() {
    impl_->foreground_watch.reset();
    impl_->order_watch.reset();
    // The hook goes on its own thread, which put it in.
    if (impl_->thread) {
        PostThreadMessageA(impl_->id, WM_QUIT, 0, 0);
        WaitForSingleObject(impl_->thread.get(), INFINITE);
    }
    hook_state = nullptr;
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
