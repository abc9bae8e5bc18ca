// Start-up options as the main window carries them: autorun through the Run
// key, the conflict with the sibling product's autorun entry, and the start
// mode, each a pair of items of "Startup &Options" of which exactly one
// carries the checkmark.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "ui/main_window.h"

namespace kv {

// What the program shows when it starts: the lock screen, or nothing until
// the quick key (stored as "1").
enum class StartMode { Lock, Hidden };

class StartupMenu {
public:
    explicit StartupMenu(MainWindow& main) : main_(main) {}

    // The checkmarks from what is stored, at the main window's load.
    void load_startup_checks();
    // Stores the start mode and says when it takes effect.
    void set_start_mode(StartMode mode);
    // Turns autorun on, resolving the conflict with Dulcimet.
    void enable_autorun();
    // Sets the autorun pair: `on` checks "&AutoRun at Windows Startup".
    void check_autorun(bool on);

    // The command of the elevated copy that changes autorun for a process
    // without the rights: "/autorun on" (Dulcimet's entry goes, ours comes,
    // as both must never autorun) or "/autorun off". The exit code: 0 when
    // stored, otherwise the Windows error. Nothing for any other command
    // line, which starts the program.
    static std::optional<long> run_command(std::string_view command_line);

    // "&Startup Using Kestrova".
    void autorun_Click() { set_start_mode(StartMode::Lock); }
    // "Sta&rt Hidden, Available from QuickKey (Pause)".
    void autorunnolock_Click() { set_start_mode(StartMode::Hidden); }
    // "&AutoRun at Windows Startup".
    void autorunatstart_Click() { enable_autorun(); }
    // "&Disable AutoRun at Windows Startup".
    void noautorun_Click();

    // The start mode as last read: "1" hidden start, anything else lock.
    const std::string& login_mode() const { return login_mode_; }
    // The sibling product's autorun entry was found by the last check.
    bool dulcimet_autorun() const { return dulcimet_autorun_; }

private:
    void check_start_mode(StartMode mode);
    void check_stored_autorun();
    void check_stored_start_mode();
    bool stored_or_reported(platform::Result stored, const char* what);
    bool autorun_changed(bool on);

    MainWindow& main_;
    std::string login_mode_;
    bool dulcimet_autorun_ = false;
};

}  // namespace kv
