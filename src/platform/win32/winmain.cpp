// The process entry point of kvstrn.exe.
#include <windows.h>

#include "platform/entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return kv::program_main(); }
