// The guard floor: a topmost window whose 100 ms timer makes only the lock
// screen guard's calls (GetWindowRect + ClipCursor, SetWindowPos topmost,
// GetCursorPos + SetCursorPos). The CPU and memory figures of the locked
// program are taken against it.
#include <windows.h>

namespace {

// Where the lock screen's "&Enter" button lies in its window (pixels at
// 96 DPI), so that the pointer is held on a rectangle of the same size.
constexpr RECT kButton{124, 226, 357, 251};

LRESULT CALLBACK window_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    switch (msg) {
        case WM_TIMER: {
            RECT r{};
            GetWindowRect(w, &r);
            const RECT clip{r.left + kButton.left, r.top + kButton.top, r.left + kButton.right,
                            r.top + kButton.bottom};
            ClipCursor(&clip);
            SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0,
                         SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
            POINT p{};
            GetCursorPos(&p);
            SetCursorPos(p.x, p.y);
            return 0;
        }
        case WM_DESTROY:
            ClipCursor(nullptr);
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(w, msg, wp, lp);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &window_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "KvBenchGuard";
    if (!RegisterClassA(&wc)) return 1;
    const int width = 481, height = 327;
    HWND w = CreateWindowExA(0, "KvBenchGuard", "Guard floor", WS_OVERLAPPEDWINDOW,
                             (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                             (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                             nullptr, instance, nullptr);
    if (!w) return 1;
    ShowWindow(w, SW_SHOW);
    UpdateWindow(w);
    SetTimer(w, 1, 100, nullptr);
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
