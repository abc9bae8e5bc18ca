// The base of every window class the back end registers. The object is
// attached to its native window on WM_NCCREATE and detached on WM_NCDESTROY;
// the shared window procedure hands each message to the object, whose
// handle_message dispatches to short named handlers.
#pragma once

#include <windows.h>

namespace kv::platform::win32 {

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    // Destroys the native window if it still exists.
    virtual ~Window();

    HWND hwnd() const { return hwnd_; }
    bool exists() const { return hwnd_ != nullptr; }
    void destroy_window();

    // The object attached to a window of one of our classes, or nullptr.
    static Window* from(HWND w);

    // Keyboard translation for the top-level window that a queued message is
    // meant for (accelerators, dialog keys). True when the message has been
    // handled and must not be dispatched.
    static bool pretranslate_message(MSG& msg);

protected:
    // Registers a window class that uses the shared procedure; registering
    // it again is harmless.
    static void register_class(const char* name, UINT style, HICON icon, HICON small_icon);
    // CreateWindowExA with this object as the creation parameter.
    bool create_window(DWORD ex_style, const char* cls, const char* title, DWORD style, int x,
                       int y, int width, int height, HWND parent, HMENU menu);

    virtual LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp);
    virtual bool pretranslate(MSG&) { return false; }
    // Called last, on WM_NCDESTROY, when the window is going.
    virtual void on_destroyed() {}
    LRESULT default_handling(UINT msg, WPARAM wp, LPARAM lp) {
        return DefWindowProcA(hwnd_, msg, wp, lp);
    }

private:
    static LRESULT CALLBACK window_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept;
    HWND hwnd_ = nullptr;
};

// Queued-message pump step shared by every message loop of the program.
void dispatch_message(MSG& msg);
// From the first call on, the modal loops of message boxes and dialog boxes
// on this thread give our forms their keys too.
void filter_modal_loops();

// The registered message "Kestrova.LiveHandles", answered by every window of
// ours, for a soak test from outside: wParam 0 gives the live GDI handles
// the back end's owners hold, 1 the USER ones (menus, accelerator tables,
// icons) plus the windows of our classes, 2 the process's private bytes.
UINT live_handles_message();

// The registered message "Kestrova.MenuState", answered by every form: what
// GetMenuState says of the item at wParam's position in the form's menu
// table (MF_CHECKED, MF_GRAYED), -1 when the form has no such item. Another
// process cannot read a window's menus under Wine.
UINT menu_state_message();

}  // namespace kv::platform::win32
