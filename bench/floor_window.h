// What the floor programs share: a top-level window of their own class and
// the message loop.
#pragma once

#include <windows.h>

namespace kv::bench {

// The outer size of the program's main window and lock screen, in pixels.
inline constexpr int kWidth = 481;
inline constexpr int kHeight = 327;

// The procedure of a window that does nothing but end the program when it
// is closed.
inline LRESULT CALLBACK plain_window_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

// A window of the program's windows' size, at (x, y) or where the
// system puts it (CW_USEDEFAULT); nullptr when it cannot be made.
inline HWND floor_window(HINSTANCE instance, const char* cls, const char* title, WNDPROC proc,
                         int x = CW_USEDEFAULT, int y = CW_USEDEFAULT) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = cls;
    if (!RegisterClassA(&wc)) return nullptr;
    return CreateWindowExA(0, cls, title, WS_OVERLAPPEDWINDOW, x, y, kWidth, kHeight, nullptr,
                           nullptr, instance, nullptr);
}

// Shows the window and runs the message loop until it is closed.
inline int show_and_run(HWND w) {
    ShowWindow(w, SW_SHOW);
    UpdateWindow(w);
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

}  // namespace kv::bench
