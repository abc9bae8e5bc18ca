// The process entry point of kvstrn.exe.
#include <windows.h>

#include "platform/entry.h"

#include "platform/win32/form_impl.h"

// A lock that is slow to answer for a moment must not be replaced by a
// "ghost" window that the user can minimise, move or close (Windows XP and
// later).
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
    using Disable = void(WINAPI*)();
    if (const auto disable = reinterpret_cast<Disable>(reinterpret_cast<void*>(
            kv::platform::win32::library_function("user32.dll", "DisableProcessWindowsGhosting"))))
        disable();
    return kv::program_main(command_line ? command_line : "");
}
