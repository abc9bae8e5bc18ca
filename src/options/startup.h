// Start-up options as the main window carries them: autorun through the Run
// key, the conflict with the sibling product's autorun entry, and the start
// mode, each a pair of items of "Startup &Options" of which exactly one
// carries the checkmark.
#pragma once

#include "ui/main_window.h"

namespace kv {

class StartupMenu {
public:
    explicit StartupMenu(MainWindow& main) : main_(main) {}

    // The checkmarks from what is stored, at the main window's load.
    void load_startup_checks();
    // "&Startup Using Kestrova": the lock screen at start.
    void autorun_Click();
    // "Sta&rt Hidden, Available from QuickKey (Pause)".
    void autorunnolock_Click();
    // "&AutoRun at Windows Startup", resolving the conflict with Dulcimet.
    void autorunatstart_Click();
    // "&Disable AutoRun at Windows Startup".
    void noautorun_Click();
    // Sets the autorun pair: `on` checks "&AutoRun at Windows Startup".
    void check_autorun(bool on);

private:
    void check_start_hidden(bool on);
    void check_stored_autorun();
    void check_stored_start_mode();
    bool stored_or_reported(long error, const char* what);

    MainWindow& main_;
};

}  // namespace kv
