// soak.exe: drives the real kvstrn.exe through many lock-and-unlock cycles,
// wrong answers and repaints of both windows, and compares the process's
// memory and its GDI and USER objects at the start and at the end.
//
//   soak.exe [CYCLES [WRONG [REPAINTS]]]     (300, 50 and 5000 by default)
//
// GDI and USER objects are counted with GetGuiResources when the system
// implements it; where it does not (Wine's is a stub that answers 0), GDI
// objects are the handles the program's Win32 back end holds in its owners,
// and USER objects those owners' menus, accelerator tables and icons plus
// every window of the process (enumerated from here). The program answers
// the registered message "Kestrova.LiveHandles" with its counts and its
// private bytes. Exits 0 when nothing grew, 1 when something did, 2 when the
// run could not be completed.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/layouts.h"
#include "harness.h"
#include "platform/ui.h"
#include "store/secrets.h"
#include "store/settings.h"

namespace {

using namespace kv::e2e;

constexpr const char* kAnswer = "blue";

struct Figures {
    long long private_bytes = -1;
    long gdi = -1;
    long user = -1;
    const char* how = "";
    const char* memory_how = "";
};

UINT counts_message() { return RegisterWindowMessageA("Kestrova.LiveHandles"); }

long long ask(HWND w, WPARAM what) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(w, counts_message(), what, 0, SMTO_ABORTIFHUNG, 5000, &result))
        return -1;
    return static_cast<long long>(static_cast<LONG_PTR>(result));
}

BOOL CALLBACK count_child(HWND, LPARAM n) noexcept {
    ++*reinterpret_cast<long*>(n);
    return TRUE;
}

long windows_of(DWORD pid) {
    long n = 0;
    for (HWND w : top_windows(pid)) {
        ++n;
        EnumChildWindows(w, count_child, reinterpret_cast<LPARAM>(&n));
    }
    return n;
}

class Soak {
public:
    int run(int cycles, int wrong, int repaints);

private:
    HWND part(HWND form, const kv::platform::FormSpec& spec, const char* name, int index = -1) {
        const int pos = kv::layout::control_position(spec, name, index);
        return pos < 0 ? nullptr : control(form, pos);
    }
    bool lock_takes_answer() {
        lock_ = program_.find_window("KvForm4");
        if (!lock_) return false;
        HWND enter = part(lock_, kv::layout::kForm4, "Command1");
        return IsWindowEnabled(enter) && is_visible(part(lock_, kv::layout::kForm4, "Textnew"));
    }
    bool type(const std::string& text) {
        if (!wait_for([&] { return lock_takes_answer(); }, 20s)) return fail("no lock screen");
        HWND box = part(lock_, kv::layout::kForm4, "Textnew");
        HWND enter = part(lock_, kv::layout::kForm4, "Command1");
        return set_window_text(box, text) && click(lock_, GetDlgCtrlID(enter));
    }
    bool unlock();
    bool wrong_answer();
    bool lock_now();
    Figures measure();
    bool fail(const char* what) {
        std::fprintf(stderr, "soak: %s\n", what);
        return false;
    }
    void report(const char* when, const Figures& f) {
        std::printf("%-7s private bytes %10lld   GDI %5ld   USER %5ld\n", when, f.private_bytes,
                    f.gdi, f.user);
        std::fflush(stdout);
    }

    Program program_;
    HWND lock_ = nullptr;
    HWND main_ = nullptr;
    bool alert_due_ = false;
};

bool Soak::unlock() {
    if (!type(kAnswer)) return false;
    if (alert_due_) {
        const auto box = wait_message_box(program_.pid(), 20s);
        if (!box || box->caption != "Security Alert!") return fail("no security alert");
        click(box->hwnd, IDNO);
        alert_due_ = false;
    }
    if (!wait_for([&] { return !program_.find_window("KvForm4"); }, 20s))
        return fail("the lock screen stayed");
    main_ = program_.wait_window("KvForm1", std::nullopt, 20s);
    return main_ != nullptr || fail("no main window after the unlock");
}

bool Soak::wrong_answer() {
    if (!type("wrong")) return false;
    HWND label = part(lock_, kv::layout::kForm4, "Labelnew");
    if (!wait_for([&] { return window_text(label).rfind("Wrong Answer!", 0) == 0; }, 20s))
        return fail("no wrong-answer message");
    alert_due_ = true;
    // The next answer can be given once the message has gone (4 s).
    return wait_for([&] { return lock_takes_answer(); }, 20s) || fail("the lock stayed closed");
}

// F12's menu command: the lock screen over the main window.
bool Soak::lock_now() {
    const int pos = kv::layout::menu_position(kv::layout::kForm1, "mnuLock");
    PostMessageA(main_, WM_COMMAND, MAKEWPARAM(kv::platform::kFirstMenuId + pos, 0), 0);
    return wait_for([&] { return lock_takes_answer(); }, 20s) || fail("F12 did not lock");
}

Figures Soak::measure() {
    // Let pending paints and timers settle first: a window freshly shown
    // holds the picture of its background only once it has painted.
    for (HWND w : {main_, lock_})
        RedrawWindow(w, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    SendMessageTimeoutA(lock_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    Figures f;
    PROCESS_MEMORY_COUNTERS m{};
    m.cb = sizeof m;
    if (GetProcessMemoryInfo(program_.handle(), &m, sizeof m) && m.PagefileUsage != 0) {
        f.private_bytes = static_cast<long long>(m.PagefileUsage);
        f.memory_how = "GetProcessMemoryInfo from outside";
    } else {
        f.private_bytes = ask(lock_, 2);
        f.memory_how = "the program's own GetProcessMemoryInfo";
    }
    SetLastError(0);
    const DWORD gdi = GetGuiResources(program_.handle(), GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(program_.handle(), GR_USEROBJECTS);
    if (gdi != 0 || user != 0) {
        f.gdi = static_cast<long>(gdi);
        f.user = static_cast<long>(user);
        f.how = "GetGuiResources";
    } else {
        f.gdi = static_cast<long>(ask(lock_, 0));
        const long wrapped = static_cast<long>(ask(lock_, 1));
        f.user = wrapped < 0 ? -1 : wrapped + windows_of(program_.pid());
        f.how =
            "GetGuiResources answers 0 here (a stub); counted by the Win32 back end's handle "
            "owners, plus the process's windows";
    }
    return f;
}

int Soak::run(int cycles, int wrong, int repaints) {
    clear_program_state();
    if (!kv::store::write_question_and_answer("What is the colour of the sky?", kAnswer) ||
        !kv::store::set_login_lock())
        return fail("could not store the question"), 2;
    if (!program_.start()) return fail("kvstrn.exe did not start"), 2;

    // One whole cycle first, so that what is made once (fonts, the main
    // window, the log list) exists at the start.
    if (!wrong_answer() || !unlock() || !lock_now()) return 2;
    const Figures start = measure();
    std::printf("memory: %s\nGDI and USER objects: %s\n", start.memory_how, start.how);
    report("start", start);

    const int every = wrong > 0 ? std::max(1, cycles / wrong) : cycles + 1;
    int wrong_done = 0;
    for (int i = 0; i < cycles; ++i) {
        if (wrong_done < wrong && i % every == 0) {
            if (!wrong_answer()) return 2;
            ++wrong_done;
        }
        if (!unlock() || !lock_now()) return 2;
        if ((i + 1) % 50 == 0) std::printf("  %d cycles, %d wrong answers\n", i + 1, wrong_done);
    }
    while (wrong_done < wrong) {
        if (!wrong_answer()) return 2;
        ++wrong_done;
    }
    report("cycles", measure());

    // Both windows are up: the lock screen over the main window.
    for (int i = 0; i < repaints; ++i) {
        for (HWND w : {main_, lock_})
            RedrawWindow(w, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        if ((i + 1) % 1000 == 0) std::printf("  %d repaints of both windows\n", i + 1);
    }
    const Figures end = measure();
    report("end", end);
    std::printf("%d lock-and-unlock cycles, %d wrong answers, %d repaints of both windows\n",
                cycles, wrong_done, repaints);

    bool grew = false;
    if (end.gdi < 0 || end.user < 0 || end.private_bytes < 0) {
        std::printf("FAILED: a figure could not be read\n");
        return 2;
    }
    if (end.gdi > start.gdi) grew = true, std::printf("FAILED: GDI objects grew\n");
    if (end.user > start.user) grew = true, std::printf("FAILED: USER objects grew\n");
    // The heap may keep what it once took; 1 MiB covers that and the 50 log
    // lines, and a leak of a few bytes per cycle or repaint does not fit.
    constexpr long long kHeapSlack = 1 << 20;
    if (end.private_bytes > start.private_bytes + kHeapSlack)
        grew = true, std::printf("FAILED: memory grew by more than 1 MiB\n");
    std::printf(grew ? "soak FAILED\n" : "soak passed: nothing grew\n");
    program_.kill();
    clear_program_state();
    return grew ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 300;
    const int wrong = argc > 2 ? std::atoi(argv[2]) : 50;
    const int repaints = argc > 3 ? std::atoi(argv[3]) : 5000;
    Soak soak;
    return soak.run(cycles, wrong, repaints);
}
