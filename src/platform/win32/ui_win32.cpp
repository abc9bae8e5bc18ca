// The message loop, screen units, icons and the hidden owner window.
#include <windows.h>

#include "platform/ui.h"
#include "platform/win32/form_impl.h"
#include "platform/win32/resource_ids.h"

namespace kv::platform {

int twips_to_px_x(int twips) { return MulDiv(twips, win32::screen_dpi().x, 1440); }
int twips_to_px_y(int twips) { return MulDiv(twips, win32::screen_dpi().y, 1440); }

int run_message_loop() {
    MSG msg{};
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) return 1;
        win32::dispatch_message(msg);
    }
}

namespace win32 {

namespace {

// Never shown; it owns the forms that have no task-bar button.
class OwnerWindow final : public Window {
public:
    OwnerWindow() {
        register_class("KvOwner", 0, nullptr, nullptr);
        create_window(0, "KvOwner", "Kestrova", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
    }
};

IconHandle load_icon(int id, int metric_x, int metric_y) {
    return IconHandle(
        static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                      GetSystemMetrics(metric_x), GetSystemMetrics(metric_y), 0)));
}

}  // namespace

const ScreenDpi& screen_dpi() {
    static const ScreenDpi dpi = [] {
        WindowDC screen(nullptr);
        return ScreenDpi{GetDeviceCaps(screen.get(), LOGPIXELSX),
                         GetDeviceCaps(screen.get(), LOGPIXELSY)};
    }();
    return dpi;
}

int window_dpi(HWND w) {
    using GetDpi = UINT(WINAPI*)(HWND);
    static const auto get = reinterpret_cast<GetDpi>(
        reinterpret_cast<void*>(library_function("user32.dll", "GetDpiForWindow")));
    return get ? static_cast<int>(get(w)) : 0;
}

HWND hidden_owner() {
    static OwnerWindow owner;
    return owner.hwnd();
}

// Each icon is loaded the first time a window needs it.
HICON icon(Icon which, bool small) {
    if (which == Icon::None) return nullptr;
    static IconHandle loaded[2][2];  // [about][small]
    const bool about = which == Icon::About;
    IconHandle& h = loaded[about ? 1 : 0][small ? 1 : 0];
    if (!h)
        h = load_icon(about ? KV_IDI_ABOUT : KV_IDI_PROGRAM, small ? SM_CXSMICON : SM_CXICON,
                      small ? SM_CYSMICON : SM_CYICON);
    return h.get();
}

FARPROC library_function(const char* library, const char* name) {
    // Libraries stay loaded until the process ends, as if imported.
    const HMODULE module = LoadLibraryA(library);
    return module ? GetProcAddress(module, name) : nullptr;
}

HWND active_form() {
    const HWND w = GetActiveWindow();
    return w && IsWindowVisible(w) && dynamic_cast<Form::Impl*>(Window::from(w)) ? w : nullptr;
}

}  // namespace win32

}  // namespace kv::platform
