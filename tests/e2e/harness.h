// Helpers for the Windows-side tests: waiting without fixed sleeps, starting
// and stopping kvstrn.exe, finding and reading its windows from outside,
// the registry as raw bytes, and screenshots.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::e2e {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

// Polls `pred` every few milliseconds until it holds or `timeout` passes.
// Returns the last result of `pred`.
bool wait_for(const std::function<bool()>& pred, Millis timeout = 10s);

// Waits until `pred` holds and stays true for `settle` (to see that
// something does not happen or keeps a state).
bool holds_for(const std::function<bool()>& pred, Millis settle);

// --- files and paths ---------------------------------------------------------

// Folder of the running test program, without a trailing backslash.
std::string self_dir();
// kvstrn.exe: the environment variable KV_EXE, else beside the test program.
std::string program_path();
// Folder of program_path().
std::string program_dir();
// The attempt log the program keeps beside itself.
std::string log_file();
std::optional<std::string> read_file(const std::string& path);
bool file_exists(const std::string& path);

// --- registry (HKEY_LOCAL_MACHINE unless a root is given) --------------------

struct RawValue {
    DWORD type = 0;
    std::string bytes;  // exactly what RegQueryValueExA returned, NULs included
    friend bool operator==(const RawValue&, const RawValue&) = default;
};
std::optional<RawValue> reg_read(const std::string& key, const std::string& name,
                                 HKEY root = HKEY_LOCAL_MACHINE);
bool reg_write_sz(const std::string& key, const std::string& name, const std::string& bytes,
                  HKEY root = HKEY_LOCAL_MACHINE);  // bytes + NUL
bool reg_write_raw(const std::string& key, const std::string& name, DWORD type,
                   const std::string& bytes, HKEY root = HKEY_LOCAL_MACHINE);
void reg_delete_value(const std::string& key, const std::string& name,
                      HKEY root = HKEY_LOCAL_MACHINE);
// Deletes the key and everything under it; a missing key is fine.
void reg_delete_tree(const std::string& key, HKEY root = HKEY_LOCAL_MACHINE);
bool reg_key_exists(const std::string& key, HKEY root = HKEY_LOCAL_MACHINE);

inline constexpr const char* kVendorKey = "SOFTWARE\\Orvane\\Kestrova";
inline constexpr const char* kPolicyKey = "SOFTWARE\\Policies\\Orvane\\Kestrova";
inline constexpr const char* kVendorParent = "SOFTWARE\\Orvane";
inline constexpr const char* kZonesKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Time Zones\\AddZones";
inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Removes every value the program stores: the vendor key, the AddZones key and
// the Run values "Kestrova" and "Dulcimet".
void clean_program_registry();

// A key of HKEY_LOCAL_MACHINE given the DACL `sddl` (an explicit DACL, which
// Wine enforces, unlike Windows' default ones, and forgets when its server
// stops), and its own DACL back when the object goes. The owner keeps the
// right to change the DACL.
class KeyDacl {
public:
    KeyDacl(const std::string& key, const char* sddl);
    ~KeyDacl();
    KeyDacl(const KeyDacl&) = delete;
    KeyDacl& operator=(const KeyDacl&) = delete;
    bool ok() const { return ok_; }

private:
    std::string key_;
    std::vector<char> old_;  // the self-relative descriptor it had
    bool ok_ = false;
};

// Wine's per-program Windows version (HKCU\Software\Wine\AppDefaults\<exe>
// "Version"): "win31", "win98", "nt40", "win10" ... Removed again when the
// object goes.
class WineVersion {
public:
    explicit WineVersion(const std::string& version, const std::string& exe = "kvstrn.exe");
    ~WineVersion();
    WineVersion(const WineVersion&) = delete;
    WineVersion& operator=(const WineVersion&) = delete;

private:
    std::string key_;
};

// --- windows -----------------------------------------------------------------

std::string class_name(HWND w);
// WM_GETTEXT, which Windows (and Wine) carry across processes.
std::string window_text(HWND w);
bool set_window_text(HWND w, const std::string& text);  // WM_SETTEXT
DWORD window_pid(HWND w);
bool is_visible(HWND w);
bool is_topmost(HWND w);
RECT window_rect(HWND w);
RECT screen_rect();  // the primary screen, pixels

// Top-level windows of a process (all of them when pid is 0), in Z order.
std::vector<HWND> top_windows(DWORD pid);
// The first visible top-level window of `pid` whose class is `cls` and, when
// given, whose caption is `caption`.
HWND find_window(DWORD pid, std::string_view cls, std::optional<std::string_view> caption = {});
HWND wait_window(DWORD pid, std::string_view cls, std::optional<std::string_view> caption = {},
                 Millis timeout = 10s);

// Message boxes (#32770 dialogs): caption, text (static 0xFFFF), buttons.
struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::string caption;
    std::string text;
    std::vector<int> buttons;  // ids of the visible buttons present: IDOK 1, IDYES 6, IDNO 7 ...
};
std::optional<MessageBoxInfo> find_message_box(DWORD pid);
std::optional<MessageBoxInfo> wait_message_box(DWORD pid, Millis timeout = 10s);
// Input boxes: a dialog captioned with its title, prompt 100, edit 101.
inline constexpr int kInputPromptId = 100;
inline constexpr int kInputEditId = 101;
HWND find_input_box(DWORD pid, std::string_view title);
HWND wait_input_box(DWORD pid, std::string_view title, Millis timeout = 10s);
// Types `text` into the input box and presses OK.
bool answer_input_box(HWND box, const std::string& text);

// Real input on the X display, as a user would give it, which reaches
// whichever window has the keyboard or lies under the pointer, unlike
// messages posted to one window. Runs `xdotool ARGS`: xdotool is a Unix
// program, which Wine starts directly when CreateProcess is given its Unix
// path, with this process's environment (DISPLAY included). The path is
// KV_XDOTOOL, else /usr/bin/xdotool. Returns false when it could not be
// started; it runs on its own, so callers wait for the input's effect.
bool xdotool(const std::string& args);
// Runs `xdotool ARGS` and then has it create the file `marker` (a Windows
// path, removed first): its appearance tells that all the input was given,
// also when no hook of this program sees the last key (the lock's hook,
// put in again every 250 ms, is called before any other). xdotool's "type"
// takes every argument after it as text: give keys with "key" instead.
bool xdotool_marked(const std::string& args, const std::string& marker);
// Runs the Unix program `tool` (an absolute Unix path) with `args`, as
// xdotool() does; it runs on its own (Wine gives no handle to wait on).
bool run_unix(const std::string& tool, const std::string& args);
// The Unix path of a Windows path, empty when Wine cannot map it.
std::string unix_path(const std::string& windows_path);

// A folder in which nothing can be created, deleted or renamed for as long
// as the object lives, as a standard user meets Program Files: Wine keeps no
// file permissions, but a folder marked immutable (chattr +i) refuses its
// writes with access denied. The mark is taken off again when the object
// goes; ok() once writes there are refused.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool ok() const { return ok_; }

private:
    std::string folder_;
    bool ok_ = false;
};

// A folder the system knows by its CSIDL (CSIDL_COMMON_APPDATA ...).
std::string known_folder(int csidl);

// Presses keys, X key names separated by blanks ("F9", "Pause", "b l u e").
inline bool press_keys(const std::string& keys) { return xdotool("key " + keys); }
// Moves the pointer to the screen point (x, y) and clicks `button` there
// (1 left, 3 right). Wine's desktop fills the X screen from its origin, so
// Windows screen coordinates are X coordinates.
inline bool click_at(int x, int y, int button = 1) {
    return xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click " +
                   std::to_string(button));
}

// Presses a dialog button by posting WM_COMMAND/BN_CLICKED to its parent.
bool click(HWND dialog, int id);
// The control of a form: id = 1000 + its position in the form's layout.
HWND control(HWND form, int position);

// Pixels for twips at the screen's DPI.
int screen_dpi();
int twips_to_px(int twips);

// What a screen reader reads of a window through Active Accessibility
// (oleacc's standard object for the window's client area).
struct Accessible {
    std::string name;         // get_accName
    long role = 0;            // get_accRole: ROLE_SYSTEM_TEXT, _PUSHBUTTON ...
    long state = 0;           // get_accState: STATE_SYSTEM_PROTECTED ...
    std::string value;        // get_accValue, when it gives one
    bool value_read = false;  // ... and whether it did
};
std::optional<Accessible> accessible(HWND w);
// The system class a window is of, as screen readers see it ("Button",
// "Static", "Edit", "ListBox"): Windows gives a button's client object the
// role of a push button and a static's that of static text by it; Wine
// reports ROLE_SYSTEM_CLIENT for both, and a role of its own for edits only.
std::string system_class(HWND w);

// Checks what a screen reader reads of each child window of `form`: a
// button's or label's name is its visible text (the access-key marker "&"
// dropped), the class a system one. Returns one line per child that fails,
// empty when all pass; writes what it read to the test's output.
std::string screen_reader_faults(HWND form);

// Saves the window's area of the screen as a 24-bit BMP named `name`.bmp in
// the folder KV_SHOT_DIR. Does nothing (and returns true) when KV_SHOT_DIR is
// not set.
bool save_screenshot(HWND w, const std::string& name);

// --- the program -------------------------------------------------------------

// One started kvstrn.exe. The process is ended when the object goes.
class Program {
public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // CreateProcess on program_path() in its own folder; as a standard user:
    // CreateProcessAsUser with this process's limited linked token, in
    // which Administrators only denies, as UAC starts programs.
    bool start(bool standard_user = false);
    DWORD pid() const { return pid_; }
    HANDLE handle() const { return process_; }
    bool running() const;
    // Waits for the process to end; its exit code when it did.
    std::optional<DWORD> wait_exit(Millis timeout = 10s) const;
    void kill();

    HWND wait_window(std::string_view cls, std::optional<std::string_view> caption = {},
                     Millis timeout = 10s) const {
        return e2e::wait_window(pid_, cls, caption, timeout);
    }
    HWND find_window(std::string_view cls, std::optional<std::string_view> caption = {}) const {
        return e2e::find_window(pid_, cls, caption);
    }

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Gives back the pointer and ends every other kvstrn.exe still running in the
// prefix (left over from a test that failed half-way).
void release_desktop();

// The prefix as a run of the program expects to find it and leaves it: the
// desktop released, no registry value of the program and no attempt log.
void clear_program_state();

}  // namespace kv::e2e
