// The guard floor: a topmost window whose 100 ms timer makes only the lock
// screen guard's calls (GetWindowRect + ClipCursor, SetWindowPos topmost,
// GetCursorPos + SetCursorPos). The CPU and memory figures of the locked
// program are taken against it.
#include <windows.h>

#include "floor_window.h"

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
    using kv::bench::kHeight, kv::bench::kWidth;
    HWND w = kv::bench::floor_window(instance, "KvBenchGuard", "Guard floor", &window_proc,
                                     (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2,
                                     (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2);
    if (!w) return 1;
    SetTimer(w, 1, 100, nullptr);
    return kv::bench::show_and_run(w);
}
