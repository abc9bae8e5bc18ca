// The process entry point of kvstrn.exe.
#include <windows.h>

#include "platform/entry.h"

#include "platform/win32/form_impl.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
    // Started by a lock as its watcher (fail_closed.cpp): nothing else runs.
    if (command_line && lstrcmpA(command_line, kv::platform::win32::kWatchSwitch) == 0)
        return kv::platform::win32::watch_main();
    // A lock that is slow to answer for a moment must not be replaced by a
    // "ghost" window that the user can minimise, move or close (Windows XP
    // and later).
    using Disable = void(WINAPI*)();
    if (const auto disable = reinterpret_cast<Disable>(reinterpret_cast<void*>(
            kv::platform::win32::library_function("user32.dll", "DisableProcessWindowsGhosting"))))
        disable();
    return kv::program_main(command_line ? command_line : "");
}
