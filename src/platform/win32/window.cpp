#include "platform/win32/window.h"

#include <psapi.h>

#include <string>

#include "platform/win32/handles.h"

namespace kv::platform::win32 {

std::string window_text(HWND w) {
    const int length = GetWindowTextLengthA(w);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int got = GetWindowTextA(w, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

Window::~Window() { destroy_window(); }

void Window::destroy_window() {
    if (hwnd_) DestroyWindow(hwnd_);
}

void Window::register_class(const char* name, UINT style, HICON icon, HICON small_icon) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = &Window::window_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = icon;
    wc.hIconSm = small_icon;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = name;
    RegisterClassExA(&wc);  // fails harmlessly when the class exists
}

bool Window::create_window(DWORD ex_style, const char* cls, const char* title, DWORD style, int x,
                           int y, int width, int height, HWND parent, HMENU menu) {
    CreateWindowExA(ex_style, cls, title, style, x, y, width, height, parent, menu,
                    GetModuleHandleA(nullptr), this);
    return hwnd_ != nullptr;
}

Window* Window::from(HWND w) {
    if (!w) return nullptr;
    if (GetWindowLongPtrA(w, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&Window::window_proc))
        return nullptr;
    return reinterpret_cast<Window*>(GetWindowLongPtrA(w, GWLP_USERDATA));
}

namespace {

// The message our own translation works on now. Its dialog keys call the
// filter below with it (as a copy), which must leave it alone; a modal loop
// that the translation opens gets other messages.
MSG g_translating{};

bool same_message(const MSG& a, const MSG& b) {
    return a.hwnd == b.hwnd && a.message == b.message && a.time == b.time && a.pt.x == b.pt.x &&
           a.pt.y == b.pt.y;
}

// The modal loops of a message box and of a dialog box hand each message to
// the thread's message filter before their own dialog keys, and translate
// only the keys of their own box: a message for one of our forms gets that
// form's keys here, so that a lock raised over a box takes Tab and Enter.
LRESULT CALLBACK modal_filter(int code, WPARAM wp, LPARAM lp) noexcept {
    if ((code == MSGF_DIALOGBOX || code == MSGF_MESSAGEBOX) && lp) {
        auto& msg = *reinterpret_cast<MSG*>(lp);
        if (!same_message(msg, g_translating) && Window::pretranslate_message(msg)) return TRUE;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

using HookTraits = Traits<HHOOK, HandleKind::User, &UnhookWindowsHookEx>;

}  // namespace

bool Window::pretranslate_message(MSG& msg) {
    if (!msg.hwnd) return false;
    Window* top = from(GetAncestor(msg.hwnd, GA_ROOT));
    if (!top) return false;
    const MSG outer = g_translating;
    g_translating = msg;
    const bool done = top->pretranslate(msg);
    g_translating = outer;
    return done;
}

void filter_modal_loops() {
    static const Unique<HookTraits> hook(
        SetWindowsHookExA(WH_MSGFILTER, &modal_filter, nullptr, GetCurrentThreadId()));
}

LRESULT Window::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    return default_handling(msg, wp, lp);
}

UINT live_handles_message() {
    static const UINT message = RegisterWindowMessageA("Kestrova.LiveHandles");
    return message;
}

UINT menu_state_message() {
    static const UINT message = RegisterWindowMessageA("Kestrova.MenuState");
    return message;
}

namespace {

LRESULT live_handles(WPARAM what) {
    switch (what) {
        case 0:
            return g_live_handles[static_cast<int>(HandleKind::Gdi)];
        case 1:
            return g_live_handles[static_cast<int>(HandleKind::User)];
        case 2: {
            PROCESS_MEMORY_COUNTERS m{};
            m.cb = sizeof m;
            return GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m)
                       ? static_cast<LRESULT>(m.PagefileUsage)
                       : -1;
        }
        default:
            return -1;
    }
}

}  // namespace

LRESULT CALLBACK Window::window_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
        self->hwnd_ = w;
        SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        count_handle(HandleKind::User, 1);
    }
    if (msg == live_handles_message() && msg != 0) return live_handles(wp);
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrA(w, GWLP_USERDATA));
    if (!self) return DefWindowProcA(w, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        const LRESULT r = self->handle_message(msg, wp, lp);
        SetWindowLongPtrA(w, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        count_handle(HandleKind::User, -1);
        self->on_destroyed();
        return r;
    }
    return self->handle_message(msg, wp, lp);
}

void dispatch_message(MSG& msg) {
    if (Window::pretranslate_message(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

}  // namespace kv::platform::win32
