// Process, version, pointer, shell and dialogue services. Thin wrappers over
// the Win32 calls of the same names; the sim back end records every call.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

using NativeWindow = std::uintptr_t;  // HWND as a number, 0 = none

struct Point {
    std::int32_t x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};
struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
    bool contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
};

// --- process -------------------------------------------------------------

// True when another process of this executable is already running in this
// session. The first also makes itself known to every session (for an
// installer) while it runs.
bool previous_instance();
// Ends the process at once; no window handler runs afterwards.
[[noreturn]] void end_process();
// The directory that holds the running program, without a trailing
// separator except at a drive root.
std::string program_dir();

// True when the process may do what only an administrator may: its token is
// elevated, or the system has no User Account Control (before Vista), where
// the change itself says whether it may.
bool process_elevated();
// Runs an elevated copy of this program with `args` (the verb "runas": the
// system asks for an administrator's consent first) and waits for it to end.
// The copy's exit code, or the Windows error of its start
// (kErrorCancelled when the consent was not given).
long run_elevated(std::string_view args);
inline constexpr long kErrorCancelled = 1223;  // ERROR_CANCELLED

// --- versions ------------------------------------------------------------

// What GetVersionExA reports (only the fields the program reads).
struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t platform_id = 0;  // 1 = Windows 95/98, 2 = NT
};
OsVersion os_version();

// The running executable's version resource.
struct VersionInfo {
    int major = 0;
    int minor = 0;
    std::string product_name;
    std::string company_name;
    std::string file_description;
    std::string comments;
    std::string legal_copyright;
    std::string legal_trademarks;
};
VersionInfo version_info();

// --- dialogue ------------------------------------------------------------

// MessageBoxA with the Windows type numbering; returns the button id
// (IDOK 1, IDYES 6, IDNO 7).
int message_box(std::string_view text, unsigned type, std::string_view title);

// Message-box types, by their Windows values.
inline constexpr unsigned kMbOk = 0;              // OK, no icon
inline constexpr unsigned kMbOkStop = 16;         // OK, critical-stop icon
inline constexpr unsigned kMbYesNoStop = 20;      // Yes and No, critical-stop icon
inline constexpr unsigned kMbYesNoQuestion = 36;  // Yes and No, question icon
inline constexpr unsigned kMbOkExclamation = 48;  // OK, exclamation icon
inline constexpr unsigned kMbOkInformation = 64;  // OK, information icon
// The answer Yes.
inline constexpr int kIdYes = 6;
// A modal input box: prompt, title, empty field, OK and Cancel. Cancel gives
// the empty text.
std::string input_box(std::string_view prompt, std::string_view title);
void beep();

// --- pointer and windows -------------------------------------------------

bool clip_cursor(const Rect& r);
// The confinement in force (GetClipCursor): the whole screen when none.
Rect cursor_clip();
// `w` is topmost and no visible window is above it.
bool on_top(NativeWindow w);
Point cursor_pos();
void set_cursor_pos(int x, int y);
// GetWindowRect(GetDesktopWindow()).
Rect desktop_rect();
Rect window_rect(NativeWindow w);
// The screen's mouse pointer back to the default arrow.
void set_default_pointer();
// Closes a menu open on this thread (EndMenu): its loop would take the keys
// typed next, whichever window has the keyboard.
void end_menu();

// SystemParametersInfoA(action, flag, &scratch, 0).
void system_parameters_info(unsigned action, int flag);
inline constexpr unsigned kSpiSetScreenSaverRunning = 97;

// GetForegroundWindow: the window that has the keyboard, of any program.
NativeWindow foreground_window();
// Makes `w` the foreground window and gives `focus` (w itself or one of its
// controls) the keyboard. Where the system's foreground rules refuse it, a
// thread of its own asks through the input of the foreground window's
// thread, and the keyboard follows at a later call, once `w` is in front.
void take_foreground(NativeWindow w, NativeWindow focus);

// The task-switching and shell keys, by virtual-key code (VK_TAB 0x09,
// VK_ESCAPE 0x1B, VK_SPACE 0x20, VK_LWIN 0x5B, VK_RWIN 0x5C) and the state of
// Alt and Ctrl. AltGr is Ctrl+Alt: with Space it types a character on some
// layouts, so it goes through.
bool is_task_key(std::uint32_t vk, bool alt, bool ctrl);

// What the lock's low-level keyboard hook does with each key event, kept
// apart from the hook so that it can be tested. While the lock waits it
// swallows the task keys, Alt+F4, PrtScn (also with Alt) and the
// application keys (Mail, Browser, media ..., VK 0xA6-0xB7), and every key
// while the lock screen is not the foreground window, so that typed keys
// never reach another program. A key whose press went on gets its release
// through, also one that was already down as the hook went in, so that no
// key is left down.
class KeyGate {
public:
    // `down`: the keys down as the hook goes in.
    explicit KeyGate(const std::bitset<256>& down = {}) : passed_(down) {}
    // True: the hook swallows the event.
    bool swallow(std::uint32_t vk, bool up, bool alt, bool ctrl, bool lock_in_front);

private:
    std::bitset<256> passed_;  // keys whose press went on
};

// While an object of this type lives, a low-level keyboard hook on a thread
// of its own, which does nothing else, runs the rules of KeyGate for the
// lock screen `lock` (so that no work of the program delays it past the
// system's time-out), and a change of the foreground to any window but
// `lock` is reported to `lock` at once as its deactivation.
// (Ctrl+Alt+Del is the system's own.)
class TaskKeyBlock {
public:
    explicit TaskKeyBlock(NativeWindow lock);
    ~TaskKeyBlock();
    TaskKeyBlock(const TaskKeyBlock&) = delete;
    TaskKeyBlock& operator=(const TaskKeyBlock&) = delete;

    struct Impl;  // the hook's thread and the watches of the foreground

private:
    std::unique_ptr<Impl> impl_;
};

// --- failing closed ------------------------------------------------------

// Locks the Windows session (LockWorkStation): the user signs in again.
void lock_session();

// While an object of this type lives, the program fails closed: a watcher,
// this executable started in its watching mode, locks the Windows session
// when this process ends first (the Task Manager's End task,
// TerminateProcess, a crash), and an unhandled exception in this process
// locks it before the process dies. The object going (the right answer, the
// end of the session) tells the watcher to end quietly.
class FailClosed {
public:
    FailClosed();
    ~FailClosed();
    FailClosed(const FailClosed&) = delete;
    FailClosed& operator=(const FailClosed&) = delete;
    // The watcher was started and has ended since; false also when none
    // could be started (there is then nothing whose end tells anything).
    bool watcher_ended() const;

    struct Impl;  // the watcher and the pipe to it

private:
    std::unique_ptr<Impl> impl_;
};

// The accessibility features whose hot keys open a system dialogue that
// leads on to the settings: Sticky Keys (Shift five times), Filter Keys
// (right Shift held 8 s), Toggle Keys (Num Lock held 5 s), High Contrast and
// Mouse Keys (Left Alt+Left Shift+Print Screen or Num Lock).
enum class AccessFeature { StickyKeys, FilterKeys, ToggleKeys, HighContrast, MouseKeys };
inline constexpr int kAccessFeatures = 5;
// The feature's flags (dwFlags of its SystemParametersInfo structure), or
// nothing when they cannot be read.
std::optional<std::uint32_t> access_flags(AccessFeature f);
// Sets them for this session only (no SPIF_UPDATEINIFILE): nothing reaches
// the user's profile, so a crash loses nothing after the next log-on.
bool set_access_flags(AccessFeature f, std::uint32_t flags);
// SKF_, FKF_, TKF_, HCF_ and MKF_HOTKEYACTIVE.
inline constexpr std::uint32_t kHotkeyActive = 0x4;

// While an object of this type lives, the hot keys of the accessibility
// features are off; the exact flags of before come back when it goes.
class AccessHotkeysOff {
public:
    AccessHotkeysOff();
    ~AccessHotkeysOff();
    AccessHotkeysOff(const AccessHotkeysOff&) = delete;
    AccessHotkeysOff& operator=(const AccessHotkeysOff&) = delete;

private:
    std::array<std::optional<std::uint32_t>, kAccessFeatures> before_;  // those turned off
};

// SetWindowPos(w, insert_after, 0, 0, 0, 0, flags), with the insert-after
// handles and the flags the program uses.
inline constexpr std::intptr_t kHwndTop = 0;
inline constexpr std::intptr_t kHwndTopmost = -1;
inline constexpr std::intptr_t kHwndNoTopmost = -2;
inline constexpr unsigned kSwpNoSizeNoMoveNoActivateShow = 0x53;
void set_window_pos(NativeWindow w, std::intptr_t insert_after, unsigned flags);
// SendMessageA.
std::intptr_t send_message(NativeWindow w, unsigned msg, std::uintptr_t wparam,
                           std::intptr_t lparam);
// RegisterHotKey for the window (id 1, no modifiers). The window is restored
// and activated when the key is pressed, as Windows does for a window hot key.
bool register_hotkey(NativeWindow w, unsigned vk);

inline constexpr unsigned kWmSetHotkey = 0x0032;
inline constexpr unsigned kWmSysCommand = 0x0112;
inline constexpr unsigned kScScreenSave = 0xF140;
inline constexpr unsigned kVkPause = 0x13;

// ShellExecuteA; returns the instance value (<= 32 is a failure).
std::intptr_t shell_execute(NativeWindow w, std::string_view verb, std::string_view file,
                            std::string_view params, std::string_view dir, int show);

// --- clock ---------------------------------------------------------------

// The current date in the system's short date format, and the current time in
// its time format.
std::string date_text();
std::string time_text();

}  // namespace kv::platform
