// The in-memory platform for native tests: a registry with the Win32 result
// codes, files, forms whose controls are plain objects, a virtual clock that
// fires timers, scripted answers for message and input boxes, and fault
// injection for any registry or file call.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_log.h"
#include "platform/away.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace kv::sim {

// Thrown by end_process so that a test sees the process end.
struct ProcessEnded {};

enum class Call {
    RegCreateKey,
    RegOpenKey,
    RegQueryValue,
    RegSetValue,
    RegDeleteValue,
    ReadFile,
    EnsureFile,
    ReplaceFile,
    AppendFile,  // fails torn: half the record is written
    CreateWindow,  // a form's native window (the code is not used)
};

struct Value {
    std::uint32_t type = 0;
    std::string data;  // the stored bytes, NUL included where written
};

struct MessageBoxCall {
    std::string text;
    unsigned type = 0;
    std::string title;
};

// A cover window as the program made it.
struct CoverRecord {
    platform::Rect rect;
    platform::NativeWindow handle = 0;
    bool alive = true;
    bool edge_gestures_off = false;
    platform::CoverPainter* painter = nullptr;
};

struct InputBoxCall {
    std::string prompt;
    std::string title;
};

struct ReportedEvent {
    platform::EventType type{};
    std::uint32_t id = 0;
    std::string text;
    friend bool operator==(const ReportedEvent&, const ReportedEvent&) = default;
};

struct World {
    // Registry: key path (upper-cased, no trailing backslash) -> values
    // (upper-cased name -> value). Keys exist while they are in the map.
    std::map<std::string, std::map<std::string, Value>> keys;
    // A standard user: HKEY_LOCAL_MACHINE reads as for anyone, but a write
    // (a value set or deleted, a key created, an open asking for more than
    // reading) is refused unless `key_grants` grants it on that key. Every
    // user is held to the access a handle was opened with.
    bool standard_user = false;
    std::map<std::string, std::uint32_t> key_grants;  // key path -> access granted (grant())
    // Calls that fail: the nth (1-based) next call of a kind returns `code`.
    struct Fault {
        Call call;
        int countdown;
        long code;
    };
    std::vector<Fault> faults;
    // Registry and file calls of every kind made so far, and the one (1-based
    // in that count) that fails with `fail_call_code`; 0 fails none.
    int calls = 0;
    int fail_call = 0;
    long fail_call_code = 0;
    std::optional<Call> failed_call;  // the kind of call that was failed

    std::map<std::string, std::string> files;
    std::set<std::string> folders;  // folders that exist, besides those of the files
    // A standard user's files: writes under the program's folder are denied
    // (ERROR_ACCESS_DENIED); reads, and writes elsewhere, are allowed.
    bool program_dir_read_only = false;
    std::string program_data = "C:\\ProgramData";  // CSIDL_COMMON_APPDATA

    std::vector<ReportedEvent> events;  // every event reported to the event log
    bool event_log_fails = false;       // reporting fails, and nothing is recorded

    bool previous_instance = false;
    std::string program_dir = "C:\\Program Files\\Kestrova";
    // The process's token: elevated (an administrator's, or a system without
    // User Account Control) or a standard user's.
    bool elevated = true;
    // What happens to an elevated copy: the user gives consent and it runs,
    // declines (ERROR_CANCELLED), or it cannot start (`elevation_error`).
    enum class Consent { Accepted, Declined, Failed };
    Consent consent = Consent::Accepted;
    long elevation_error = 2;
    std::vector<std::string> elevated_runs;  // the arguments of every copy started
    // The program's entry, run as the elevated copy when it is accepted:
    // elevated, with write access to the registry and the program's folder.
    std::function<int(std::string_view)> elevated_copy;
    platform::OsVersion os{4, 0, 1};
    platform::VersionInfo version;

    std::deque<int> box_answers;            // message box results, in order
    std::vector<MessageBoxCall> boxes;      // every message box shown
    std::deque<std::string> input_answers;  // input box entries, in order
    std::vector<InputBoxCall> inputs;       // every input box shown
    int beeps = 0;

    std::optional<platform::Rect> clip;  // nullopt: the pointer is free
    platform::Point cursor{};
    platform::Rect desktop{0, 0, 1024, 768};
    bool screensaver_running = false;
    std::map<platform::NativeWindow, std::intptr_t> z_order;  // last insert-after per window
    platform::NativeWindow top = 0;  // the window above all others
    platform::NativeWindow foreground = 0;                    // the window that has the keyboard
    // The flags of each accessibility feature (AccessFeature order);
    // nullopt: they cannot be read. A fixed feature's flags cannot be set.
    std::array<std::optional<std::uint32_t>, 5> access_flags{0x1FE, 0x7A, 0x7E, 0x7E, 0x7E};
    std::array<bool, 5> access_fixed{};
    int task_key_blocks = 0;                                  // task-key hooks installed now
    int task_key_blocks_made = 0;                             // ... and ever
    // The watches that fail closed (FailClosed) held now and ever; a test
    // ends the watcher of the live one; every LockWorkStation.
    int watches = 0;
    int watches_made = 0;
    bool watcher_ended = false;
    int session_locks = 0;
    std::intptr_t sethotkey_result = 0;                       // what WM_SETHOTKEY answers
    std::vector<std::pair<platform::NativeWindow, unsigned>> hotkeys;
    std::vector<std::pair<platform::NativeWindow, unsigned>> sys_commands;
    std::intptr_t shell_result = 42;
    std::vector<std::string> shell_targets;

    std::string date = "12/7/2026";
    std::string time = "9:05:00 AM";

    platform::SystemColours colours;  // high contrast off unless a test turns it on

    // While a message box is open: what happens meanwhile (the clock may
    // advance, a lock may come); the box returns afterwards.
    std::function<void(const MessageBoxCall&)> while_box_open;

    // The machine's input, monitors and touch, and the covers made so far.
    std::optional<std::int64_t> last_input_ms;  // nullopt: input at every moment
    std::vector<platform::Rect> monitors{{0, 0, 1024, 768}};
    bool touch_ready = false;
    std::vector<CoverRecord> covers;
    platform::SessionEvents* watch = nullptr;  // ticks every 1000 ms of the clock
    std::int64_t watch_due = 0;
    bool watch_ticking = true;
    // The keys the watch hears changes under (as the registry spells them
    // here), and a change not yet told, told at the next advance as a
    // posted message would be. A value put or deleted at or under a
    // watched key, by a test or by the program, is a change.
    std::vector<std::string> watched_keys;
    bool keys_changed = false;

    std::int64_t now_ms = 0;         // the virtual clock
    std::vector<std::string> trace;  // notable calls in order
};

// The one world the sim back end works on; reset() starts a fresh one.
World& world();
void reset();

// Registry helpers for tests (paths as the program writes them).
void put_value(std::string_view key, std::string_view name, std::uint32_t type,
               std::string_view data);
void put_string(std::string_view key, std::string_view name, std::string_view text);
std::optional<Value> get_value(std::string_view key, std::string_view name);
bool key_exists(std::string_view key);
// Makes a key (and its parents) with no values, as an installer does.
void make_key(std::string_view key);
// Grants the standard user `access` on a key (a path as the program writes it).
void grant(std::string_view key, std::uint32_t access);
void fail(Call call, long code, int nth = 1);
// Fails the nth (1-based) next registry or file call, whatever its kind.
void fail_any(long code, int nth = 1);
const char* call_name(Call call);

// Forms and the virtual clock.
platform::Form* find_form(std::string_view name);  // a created form, or nullptr
// Delivers pending paints and the timers that are due; the clock advances.
void advance(std::int64_t ms);
// Delivers pending paints only.
void pump();
void click(platform::Form& f, std::string_view control, int index = -1);
void choose(platform::Form& f, std::string_view menu_item);
// The user opens the submenu of a menu item.
void open_menu(platform::Form& f, std::string_view menu_item);
void close(platform::Form& f);
// The system asks the form to carry out a window command; when the form
// accepts, the sim carries it out. Returns whether it was accepted.
bool sys_command(platform::Form& f, platform::SysCommand c);
// Something moves or resizes the window without asking it.
void move_window(platform::Form& f, const platform::Rect& outer);
// A window of another program takes the foreground; the form that had it
// hears of its deactivation.
void steal_foreground();
// The name of the form's control that has the focus, or "" when the form's
// window itself has it.
std::string focus_name(const platform::Form& f);
void right_click(platform::Form& f, std::string_view control);
// The rectangles the last paint of a form filled, with their colours.
struct Fill {
    platform::Rect rect;
    platform::Rgb color;
};
const std::vector<Fill>& last_paint(const platform::Form& f);
// The colours a control of the form is drawn with now.
platform::DrawColours drawn(platform::Form& f, std::string_view control, int index = -1);
// The form's window moved to a screen of `dpi` pixels per inch (96 at first).
void change_dpi(platform::Form& f, int dpi);
// The system's colours change (high contrast on or off): every form repaints.
void change_colours(const platform::SystemColours& colours);
// A form's client size in pixels may be set to test painting.
void set_client_size(platform::Form& f, int width, int height);

// The session ends anyway (WM_ENDSESSION): every form hears of it.
void end_session();
// The system's broadcasts to the program's session watch.
void suspend();
// The console display turns off (a machine that sleeps with Modern Standby).
void display_off();
void display_change();
// The covers that are up now, in the order they were made.
std::vector<const CoverRecord*> live_covers();
// Paints the cover and returns what it filled.
std::vector<Fill> paint_cover(const CoverRecord& cover);

bool trace_has(std::string_view entry);
// Position of the first trace entry starting with `prefix` at or after
// `from`, or -1.
int trace_find(std::string_view prefix, int from = 0);

}  // namespace kv::sim
