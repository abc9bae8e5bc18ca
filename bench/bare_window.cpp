// The bare window: the least a Win32 program does to show a window. The
// start-up figures are taken against it.
#include <windows.h>

#include "floor_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HWND w =
        kv::bench::floor_window(instance, "KvBenchBare", "Bare", &kv::bench::plain_window_proc);
    return w ? kv::bench::show_and_run(w) : 1;
}
