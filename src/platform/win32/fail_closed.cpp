// Failing closed: while the lock waits, a second process of this executable
// watches the first and locks the Windows session when it ends unanswered.
//
// The two share one anonymous pipe: the watcher reads its end as its
// standard input, the lock's process alone holds the other. The right
// answer (or the end of the session) writes one byte and closes it; any
// other end of the lock's process closes it with no byte, and the watcher's
// read fails. Nothing on the watcher's command line but the switch, and
// nothing any other program can write into that pipe.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/win32/form_impl.h"
#include "platform/win32/handles.h"

namespace kv::platform {

namespace {

constexpr char kReleased = 'R';

// The previous top-level filter, and whether a watch holds now.
LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = nullptr;
volatile LONG watching = 0;

// A crash must not leave the session open: locked before the process dies
// (the watcher would lock it too, later, and locking twice does no harm).
LONG WINAPI on_crash(EXCEPTION_POINTERS* info) noexcept {
    if (InterlockedCompareExchange(&watching, 0, 0) != 0) lock_session();
    return previous_filter ? previous_filter(info) : EXCEPTION_CONTINUE_SEARCH;
}

// The pipe's writing end and the watcher's process.
}  // namespace

struct FailClosed::Impl {
    win32::KernelHandle pipe;
    win32::KernelHandle process;
};

void lock_session() { LockWorkStation(); }

FailClosed::FailClosed() : impl_(std::make_unique<Impl>()) {
    Impl* w = impl_.get();
    InterlockedExchange(&watching, 1);
    previous_filter = SetUnhandledExceptionFilter(&on_crash);

    // Only the reading end is inherited, so that the watcher's read fails
    // as soon as this process ends.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return;
    win32::KernelHandle reading(read);
    w->pipe.reset(write);
    SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);

    const std::string path = win32::module_path();
    std::string command = "\"" + path + "\" " + win32::kWatchSwitch;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = read;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &si, &pi)) {
        w->pipe.reset();
        return;
    }
    CloseHandle(pi.hThread);
    w->process.reset(pi.hProcess);
}

FailClosed::~FailClosed() {
    InterlockedExchange(&watching, 0);
    SetUnhandledExceptionFilter(previous_filter);
    if (impl_->pipe) {
        DWORD written = 0;
        WriteFile(impl_->pipe.get(), &kReleased, 1, &written, nullptr);
    }
}

bool FailClosed::watcher_ended() const {
    return impl_->process && WaitForSingleObject(impl_->process.get(), 0) == WAIT_OBJECT_0;
}

namespace win32 {

// The watcher: one byte from the lock's process, or its end. A session that
// is ending takes every process with it and is not locked.
int watch_main() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    // Started by hand, with nothing to watch.
    if (in == nullptr || in == INVALID_HANDLE_VALUE || GetFileType(in) != FILE_TYPE_PIPE)
        return 1;
    char got = 0;
    DWORD n = 0;
    if (ReadFile(in, &got, 1, &n, nullptr) && n == 1 && got == kReleased) return 0;
    if (GetSystemMetrics(SM_SHUTTINGDOWN)) return 0;
    lock_session();
    return kWatchLocked;
}

}  // namespace win32

}  // namespace kv::platform
