// The benchmark driver, run under Wine beside kvstrn.exe and the floor
// programs by scripts/bench.sh. It starts the programs, watches their windows
// from outside and prints one figure per line ("name milliseconds") for the
// script to sum up.
//
//   driver start ROUNDS EXE CLASS [EXE CLASS ...]
//       process start to the first visible window of CLASS, for each program
//       in turn, ROUNDS times, in an order that rotates each round; EXE may
//       be EXE@ARGS
//   driver prepare-lock         stores a question and answer, lock at start
//   driver prepare-log COUNT LOG LINES
//       login minimised; writes a COUNT-record log file LOG and the same
//       lines, as the main window shows them, to the text file LINES
//   driver f12 ROUNDS           F12 in the main window to a lock screen that
//                               is painted, topmost and holds the pointer
//   driver away ROUNDS          with a 2 s idle policy and the lock before
//                               sleep: the last input to a holding lock
//                               (minus the limit), and the suspend message
//                               to a holding lock
//   driver aggressor ROUNDS SECONDS
//                               a window raising itself every 10 ms over a
//                               holding lock (see cmd_aggressor)
//   driver hold EXE CLASS       starts EXE and returns once its window holds
//                               (topmost, pointer confined); prints the pid
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ui/layouts.h"
#include "log/attempt_log.h"
#include "platform/files.h"
#include "store/secrets.h"
#include "store/settings.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kQuestion = "What is the colour of the sky?";
constexpr const char* kAnswer = "blue";

double ms_since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

std::string self_dir() {
    char buf[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    std::string path(buf, n);
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

// Relative paths are taken from the driver's folder.
std::string full_path(const std::string& exe) {
    return exe.size() > 1 && exe[1] == ':' ? exe : self_dir() + "\\" + exe;
}

struct Process {
    HANDLE handle = nullptr;
    DWORD pid = 0;

    bool start(const std::string& exe, const std::string& args = {}) {
        const std::string path = full_path(exe);
        std::string cmd = "\"" + path + "\"" + (args.empty() ? "" : " " + args);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        // Wine now and then fails a start on a busy machine; a second try
        // goes through.
        bool started = false;
        for (int attempt = 0; attempt < 3 && !started; ++attempt) {
            if (attempt > 0) Sleep(200);
            started = CreateProcessA(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     self_dir().c_str(), &si, &pi) != FALSE;
            if (!started)
                std::fprintf(stderr, "could not start %s: %lu\n", path.c_str(), GetLastError());
        }
        if (!started) return false;
        CloseHandle(pi.hThread);
        handle = pi.hProcess;
        pid = pi.dwProcessId;
        return true;
    }
    void kill() {
        if (!handle) return;
        TerminateProcess(handle, 0);
        WaitForSingleObject(handle, 10000);
        CloseHandle(handle);
        handle = nullptr;
        ClipCursor(nullptr);
    }
    void forget() {
        if (handle) CloseHandle(handle);
        handle = nullptr;
    }
};

// The top-level window of `cls` that belongs to `pid`, a visible one unless
// `hidden_too`.
HWND find_window(const char* cls, DWORD pid, bool hidden_too = false) {
    HWND w = nullptr;
    while ((w = FindWindowExA(nullptr, w, cls, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && (hidden_too || IsWindowVisible(w))) return w;
    }
    return nullptr;
}

HWND visible_window(const char* cls, DWORD pid) { return find_window(cls, pid); }

// Polls `pred` every millisecond; false after `timeout_ms`.
template <class Pred>
bool poll(Pred pred, double timeout_ms) {
    const auto t0 = Clock::now();
    while (!pred()) {
        if (ms_since(t0) > timeout_ms) return false;
        Sleep(1);
    }
    return true;
}

// --- CPU time from the Linux side ----------------------------------------------------

std::string read_small(const std::string& path) {
    std::string data;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return data;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) data.append(buf, got);
    CloseHandle(f);
    return data;
}

// Milliseconds of CPU the Linux process running `exe` (a Windows path, in
// this Wine prefix) has used so far, all its threads; -1 when not found.
// Read from /proc through Wine's Z: drive, in nanoseconds (schedstat).
double unix_cpu_ms(const std::string& exe) {
    char prefix[1024] = {};
    GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    const std::string want_env = std::string("WINEPREFIX=") + prefix;
    WIN32_FIND_DATAA found{};
    HANDLE dir = FindFirstFileA("Z:\\proc\\*", &found);
    if (dir == INVALID_HANDLE_VALUE) return -1;
    double ms = -1;
    do {
        const std::string pid = found.cFileName;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string base = "Z:\\proc\\" + pid;
        std::string cmd = read_small(base + "\\cmdline");
        std::replace(cmd.begin(), cmd.end(), '\0', ' ');
        if (cmd.find(exe) == std::string::npos) continue;
        std::string env = read_small(base + "\\environ");
        std::replace(env.begin(), env.end(), '\0', '\n');
        if (("\n" + env + "\n").find("\n" + want_env + "\n") == std::string::npos) continue;
        WIN32_FIND_DATAA task{};
        HANDLE tasks = FindFirstFileA((base + "\\task\\*").c_str(), &task);
        if (tasks == INVALID_HANDLE_VALUE) continue;
        double ns = 0;
        do {
            if (task.cFileName[0] == '.') continue;
            ns += std::atof(read_small(base + "\\task\\" + task.cFileName + "\\schedstat").c_str());
        } while (FindNextFileA(tasks, &task));
        FindClose(tasks);
        ms = ns / 1e6;
        break;
    } while (FindNextFileA(dir, &found));
    FindClose(dir);
    return ms;
}

bool same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// --- start ------------------------------------------------------------------

int cmd_start(int rounds, const std::vector<std::pair<std::string, std::string>>& programs) {
    const std::size_t n = programs.size();
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t k = 0; k < n; ++k) {
            const auto& [name, cls] = programs[(k + static_cast<std::size_t>(r)) % n];
            // "EXE@ARGS" passes ARGS on the command line.
            const auto at = name.find('@');
            const std::string exe = name.substr(0, at);
            const std::string args = at == std::string::npos ? "" : name.substr(at + 1);
            Process p;
            const auto t0 = Clock::now();
            if (!p.start(exe, args)) return 1;
            // When the window is created, and when it shows.
            double created = -1;
            const bool shown = poll(
                [&] {
                    if (created < 0 && find_window(cls.c_str(), p.pid, true))
                        created = ms_since(t0);
                    return visible_window(cls.c_str(), p.pid) != nullptr;
                },
                20000);
            const double ms = ms_since(t0);
            const double cpu = unix_cpu_ms(full_path(exe));
            p.kill();
            if (!shown) {
                std::fprintf(stderr, "%s showed no window\n", exe.c_str());
                return 1;
            }
            std::printf("%s %.2f\n%s:created %.2f\n%s:cpu %.2f\n", name.c_str(), ms, name.c_str(),
                        created, name.c_str(), cpu);
            std::fflush(stdout);
            Sleep(100);  // let the ended process's windows go
        }
    }
    return 0;
}

// --- stored state -------------------------------------------------------------

int cmd_prepare_lock() {
    if (!kv::store::write_question_and_answer(kQuestion, kAnswer)) return 1;
    kv::store::set_login_lock();
    kv::store::delete_value(kv::store::kVendorKey, "Status");
    return 0;
}

int cmd_prepare_log(int count, const std::string& log_path, const std::string& lines_path) {
    if (!kv::store::write_question_and_answer(kQuestion, kAnswer)) return 1;
    kv::store::set_login_hidden();
    kv::store::delete_value(kv::store::kVendorKey, "Status");
    // Attempts spread over a year, at any time of day, with typed texts of
    // varying length, in the order they were made (not sorted).
    std::mt19937 random(12345);
    std::string file, lines;
    for (int i = 0; i < count; ++i) {
        char when[64];
        const int hour = static_cast<int>(random() % 12) + 1;
        std::snprintf(when, sizeof when, "%d/%d/%d %d:%02d:%02d %s",
                      static_cast<int>(random() % 12) + 1, static_cast<int>(random() % 28) + 1,
                      2023 + static_cast<int>(random() % 2), hour, static_cast<int>(random() % 60),
                      static_cast<int>(random() % 60), random() % 2 ? "PM" : "AM");
        std::string typed;
        const int length = 1 + static_cast<int>(random() % 20);
        for (int c = 0; c < length; ++c)
            typed += static_cast<char>('a' + static_cast<int>(random() % 26));
        const std::string record = kv::log_record(kv::attempt_line(when, typed));
        file += record;
        lines += kv::record_line(record) + "\n";
    }
    kv::platform::EditBy log_edit([&](std::string_view) { return file; });
    kv::platform::EditBy lines_edit([&](std::string_view) { return lines; });
    if (!kv::platform::rewrite_file(full_path(log_path), log_edit)) return 1;
    if (!kv::platform::rewrite_file(full_path(lines_path), lines_edit)) return 1;
    return 0;
}

// --- the lock screen ------------------------------------------------------------

struct LockParts {
    HWND lock = nullptr, enter = nullptr, answer = nullptr;
};

LockParts lock_parts(DWORD pid) {
    LockParts l;
    l.lock = visible_window("KvForm4", pid);
    if (!l.lock) return l;
    const auto part = [&](const char* name) {
        const int pos = kv::layout::control_position(kv::layout::kForm4, name);
        return pos < 0 ? nullptr : GetDlgItem(l.lock, kv::platform::kFirstControlId + pos);
    };
    l.enter = part("Command1");
    l.answer = part("Textnew");
    return l;
}

COLORREF screen_pixel(HWND w, int twips_x, int twips_y) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    POINT p{MulDiv(twips_x, dpi, 1440), MulDiv(twips_y, dpi, 1440)};
    ClientToScreen(w, &p);
    const COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

// Painted: the dark-grey panel of the form's own paint and the black of the
// question label, which paints itself after the form.
bool painted(const LockParts& l) {
    return screen_pixel(l.lock, 1830, 630) == RGB(64, 64, 64) &&
           screen_pixel(l.lock, 2000, 1900) == RGB(0, 0, 0);
}

// Topmost, with the pointer confined to "&Enter".
bool guarded(const LockParts& l) {
    if (!(GetWindowLongA(l.lock, GWL_EXSTYLE) & WS_EX_TOPMOST)) return false;
    RECT clip{}, button{};
    GetClipCursor(&clip);
    GetWindowRect(l.enter, &button);
    return same(clip, button);
}

// Painted, topmost and holding the pointer.
bool holds(DWORD pid) {
    const LockParts l = lock_parts(pid);
    return l.lock && l.enter && guarded(l) && painted(l);
}

bool unlock(DWORD pid) {
    const LockParts l = lock_parts(pid);
    if (!l.lock || !l.enter || !l.answer) return false;
    SendMessageA(l.answer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kAnswer));
    PostMessageA(l.lock, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(l.enter), BN_CLICKED),
                 reinterpret_cast<LPARAM>(l.enter));
    return poll([&] { return !visible_window("KvForm4", pid); }, 10000);
}

void press(WORD vk) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

int cmd_f12(int rounds) {
    Process p;
    if (!p.start("kvstrn.exe")) return 1;
    if (!poll([&] { return holds(p.pid); }, 30000)) {
        std::fprintf(stderr, "the lock screen did not come up\n");
        p.kill();
        return 1;
    }
    for (int r = 0; r < rounds; ++r) {
        if (!unlock(p.pid)) {
            std::fprintf(stderr, "could not unlock\n");
            p.kill();
            return 1;
        }
        // The main window in front, with the keyboard, for a while.
        HWND main = nullptr;
        const bool ready = poll(
            [&] {
                main = visible_window("KvForm1", p.pid);
                return main && GetForegroundWindow() == main;
            },
            10000);
        if (!ready) {
            std::fprintf(stderr, "the main window did not come to the front\n");
            p.kill();
            return 1;
        }
        Sleep(300);
        const auto t0 = Clock::now();
        press(VK_F12);
        // Also when it was first painted, and first guarded.
        double shown_painted = -1, shown_guarded = -1;
        const bool held = poll(
            [&] {
                const LockParts l = lock_parts(p.pid);
                if (!l.lock || !l.enter) return false;
                const bool g = guarded(l), c = painted(l);
                if (c && shown_painted < 0) shown_painted = ms_since(t0);
                if (g && shown_guarded < 0) shown_guarded = ms_since(t0);
                return g && c;
            },
            10000);
        if (!held) {
            std::fprintf(stderr, "F12 did not lock\n");
            p.kill();
            return 1;
        }
        std::printf("f12 %.2f\nf12:painted %.2f\nf12:guarded %.2f\n", ms_since(t0), shown_painted,
                    shown_guarded);
        std::fflush(stdout);
    }
    p.kill();
    return 0;
}

// --- when the user walks away ---------------------------------------------------------

constexpr const char* kPolicyKey = "SOFTWARE\\Policies\\Orvane\\Kestrova";

bool put_policy(const char* name, DWORD v) {
    HKEY k = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                                   sizeof v) == ERROR_SUCCESS;
    RegCloseKey(k);
    return ok;
}

// As the system's broadcast: every top-level window of the process.
void post_suspend(DWORD pid) {
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid) PostMessageA(w, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    }
}

// The pointer one pixel there and back: input as a user's.
void nudge() {
    INPUT in[2]{};
    for (int i = 0; i < 2; ++i) {
        in[i].type = INPUT_MOUSE;
        in[i].mi.dwFlags = MOUSEEVENTF_MOVE;
        in[i].mi.dx = i == 0 ? 1 : -1;
    }
    SendInput(2, in, sizeof(INPUT));
}

int cmd_away(int rounds) {
    constexpr int kLimitMs = 2000;
    if (cmd_prepare_lock() != 0 || !put_policy("InactivityTimeoutSecs", kLimitMs / 1000) ||
        !put_policy("LockBeforeSleep", 1))
        return 1;
    Process p;
    int rc = p.start("kvstrn.exe") && poll([&] { return holds(p.pid); }, 30000) ? 0 : 1;
    for (int r = 0; r < rounds && rc == 0; ++r) {
        const auto main_back = [&] {
            return unlock(p.pid) && poll([&] { return visible_window("KvForm1", p.pid); }, 10000);
        };
        if (!main_back()) {
            rc = 1;
            break;
        }
        auto t0 = Clock::now();
        post_suspend(p.pid);
        if (!poll([&] { return holds(p.pid); }, 10000) || !main_back()) {
            std::fprintf(stderr, "the suspend message did not lock\n");
            rc = 1;
            break;
        }
        std::printf("suspend %.2f\n", ms_since(t0));
        nudge();
        t0 = Clock::now();
        if (!poll([&] { return holds(p.pid); }, kLimitMs + 10000)) {
            std::fprintf(stderr, "no idle lock\n");
            rc = 1;
            break;
        }
        std::printf("idle %.2f\n", ms_since(t0) - kLimitMs);
        std::fflush(stdout);
    }
    p.kill();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPolicyKey);
    return rc;
}

// --- a program that fights the lock for the top -------------------------------------

// The lock is above `w` in the order of the windows.
bool above(HWND lock, HWND w) {
    for (HWND x = GetWindow(lock, GW_HWNDPREV); x; x = GetWindow(x, GW_HWNDPREV))
        if (x == w) return false;
    return true;
}

// For SECONDS a window of the driver raises itself every 10 ms
// (SetForegroundWindow, then topmost) over a holding lock while a letter is
// sent every 100 ms; sampled between the raises: the share of samples with
// the lock topmost above it and holding the pointer, with the pointer free
// (confined to nothing smaller than the screen), the letters that reached
// its edit box, and whether the lock holds on top within a second after.
int cmd_aggressor(int rounds, int seconds) {
    HWND own = CreateWindowExA(0, "STATIC", "Aggressor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                               300, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 5, 5, 200, 24,
                                own, nullptr, GetModuleHandleA(nullptr), nullptr);
    const auto pump = [] {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    };
    RECT screen{};
    GetWindowRect(GetDesktopWindow(), &screen);
    int rc = 0;
    for (int r = 0; r < rounds && rc == 0; ++r) {
        SetWindowTextA(edit, "");
        Process p;
        if (!p.start("kvstrn.exe") || !poll([&] { return holds(p.pid); }, 30000)) {
            std::fprintf(stderr, "the lock did not come up holding\n");
            rc = 1;
            break;
        }
        const LockParts l = lock_parts(p.pid);
        long samples = 0, held = 0, free = 0, on_top = 0, clipped = 0, front = 0;
        int letters = 0;
        const auto t0 = Clock::now();
        auto next_raise = t0, next_letter = t0;
        while (ms_since(t0) < seconds * 1000.0) {
            const auto now = Clock::now();
            if (now >= next_raise) {
                SetForegroundWindow(own);
                SetFocus(edit);
                SetWindowPos(own, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
                next_raise += std::chrono::milliseconds(10);
            }
            if (now >= next_letter) {
                press('A');
                ++letters;
                next_letter += std::chrono::milliseconds(100);
            }
            pump();
            ++samples;
            const bool top = above(l.lock, own) && (GetWindowLongA(l.lock, GWL_EXSTYLE) & WS_EX_TOPMOST);
            RECT clip{}, button{};
            GetClipCursor(&clip);
            GetWindowRect(l.enter, &button);
            if (top && same(clip, button)) ++held;
            if (top) ++on_top;
            if (same(clip, button)) ++clipped;
            if (same(clip, screen)) ++free;
            if (GetForegroundWindow() == l.lock) ++front;
            Sleep(1);
        }
        SetWindowPos(own, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        const bool after = poll(
            [&] {
                pump();
                return guarded(l) && above(l.lock, own);
            },
            1000);
        pump();
        char typed[256] = {};
        GetWindowTextA(edit, typed, sizeof typed);
        const auto pct = [&](long n) { return 100.0 * n / samples; };
        std::printf("fight_held %.2f\nfight_free %.2f\nfight_keys %zu\nfight_after %d\n"
                    "fight_on_top %.2f\nfight_clipped %.2f\nfight_front %.2f\n"
                    "fight_letters %d\nfight_samples %ld\n",
                    pct(held), pct(free), std::strlen(typed), after ? 1 : 0, pct(on_top),
                    pct(clipped), pct(front), letters, samples);
        std::fflush(stdout);
        p.kill();
    }
    DestroyWindow(own);
    return rc;
}

// --- a program left running for the CPU and memory figures -------------------

int cmd_hold(const std::string& exe, const std::string& cls) {
    Process p;
    if (!p.start(exe)) return 1;
    const bool kvstrn = cls == "KvForm4";
    const bool ok = poll(
        [&] {
            if (kvstrn) return holds(p.pid);
            HWND w = visible_window(cls.c_str(), p.pid);
            return w && (GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
        },
        30000);
    if (!ok) {
        std::fprintf(stderr, "%s did not come up holding\n", exe.c_str());
        p.kill();
        return 1;
    }
    std::printf("%lu\n", p.pid);
    p.forget();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> a(argv + 1, argv + argc);
    const auto num = [&](std::size_t i) { return i < a.size() ? std::atoi(a[i].c_str()) : 0; };
    if (a.empty()) return 2;
    if (a[0] == "start" && a.size() >= 4 && a.size() % 2 == 0) {
        std::vector<std::pair<std::string, std::string>> programs;
        for (std::size_t i = 2; i + 1 < a.size(); i += 2) programs.emplace_back(a[i], a[i + 1]);
        return cmd_start(num(1), programs);
    }
    if (a[0] == "prepare-lock") return cmd_prepare_lock();
    if (a[0] == "prepare-log" && a.size() == 4) return cmd_prepare_log(num(1), a[2], a[3]);
    if (a[0] == "f12" && a.size() == 2) return cmd_f12(num(1));
    if (a[0] == "away" && a.size() == 2) return cmd_away(num(1));
    if (a[0] == "hold" && a.size() == 3) return cmd_hold(a[1], a[2]);
    if (a[0] == "aggressor" && a.size() == 3) return cmd_aggressor(num(1), num(2));
    std::fprintf(stderr, "driver: unknown command\n");
    return 2;
}
