// The list floor: a window that, before it shows, adds the lines of a text
// file (one per line) to a hidden sorted list box, as the main window loads
// its attempt log. The log-load figures are taken against it.
#include <windows.h>

#include <string>

#include "floor_window.h"

namespace {

std::string read_all(const char* path) {
    std::string data;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return data;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < (1 << 30)) {
        data.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(f, data.data(), static_cast<DWORD>(data.size()), &got, nullptr)) got = 0;
        data.resize(got);
    }
    CloseHandle(f);
    return data;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR args, int) {
    HWND w = kv::bench::floor_window(instance, "KvBenchList", "List floor",
                                     &kv::bench::plain_window_proc);
    if (!w) return 1;
    // The main window's log list: sorted, hidden until the log is viewed.
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                WS_CHILD | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_HASSTRINGS |
                                    LBS_NOINTEGRALHEIGHT | LBS_SORT,
                                8, 80, 440, 150, w, nullptr, instance, nullptr);
    const std::string data = read_all(args);
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t end = data.find('\n', at);
        if (end == std::string::npos) end = data.size();
        const std::string line = data.substr(at, end - at);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        at = end + 1;
    }
    return kv::bench::show_and_run(w);
}
