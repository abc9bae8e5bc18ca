// The MSI package's check for a running Kestrova, run at once (it only
// reads) before the package's launch conditions: it sets KV_RUNNING when a
// kvstrn.exe holds its mutex, in this session or any other, and the launch
// condition "NOT KV_RUNNING" then stops the install or the removal with its
// text.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

namespace {

bool mutex_exists(const wchar_t* name) {
    HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (!m) return false;
    CloseHandle(m);
    return true;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall FindRunning(MSIHANDLE install) {
    // Held in every session by the program; the per-session name as well,
    // which programs built before the global one hold alone.
    if (mutex_exists(L"Global\\Kestrova.Running") || mutex_exists(L"Kestrova.Instance"))
        MsiSetPropertyW(install, L"KV_RUNNING", L"1");
    return ERROR_SUCCESS;
}
