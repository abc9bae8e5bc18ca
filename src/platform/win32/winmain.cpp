// The process entry point of kvstrn.exe.
#include <windows.h>

#include "app/entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return kv::program_main(); }
