// The main window: the control centre while the screen is not locked. It
// carries the parts of the subsystems that work on it (the attempt log and
// its viewer, the colours, the start-up options, the Help menu, the
// question and answer), each defined in its subsystem.
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include "help/about.h"
#include "lock/form4.h"
#include "log/attempt_log.h"
#include "log/log_viewer.h"
#include "options/colors.h"
#include "options/startup.h"
#include "options/walk_away.h"
#include "setup/credentials.h"
#include "ui/form_base.h"
#include "ui/layouts.h"

namespace kv {

class frmSplash;

// The main window carries its parts as members; the lock screen and the
// walk-away part see it only as their host.
class Form1 : public RoutedForm<Form1, layout::kForm1>, public LockHost, public AwayHost {
public:
    Form1(ProgramState& state, Form4& lock, AboutBox& about, frmSplash& splash);

    // The operations of its parts that the main window is known by.
    platform::Result set_answer(std::string_view answer) {
        return credentials_.set_answer(answer);
    }
    void set_color() { colours_.set_color(); }
    void load_color() { colours_.load_color(); }
    void load_list3() { log_.load_list3(); }
    void update3() { log_.update3(); }
    void welcome() { credentials_.welcome(); }
    void login() { credentials_.login(); }
    void change_answer() { credentials_.change_answer(); }
    void change_question() { credentials_.change_question(); }

    AttemptLog& attempt_log() { return log_; }
    ColourMenu& colours() { return colours_; }
    StartupMenu& startup() { return startup_; }

    // The parts the lock screen works with.
    LockParts lock_parts() { return {log_, viewer_, colours_, away_}; }

    // What the lock screen asks of it.
    void show_after_lock() override { Show(); }
    void lock_due_back() override;
    void after_unlock() override;

    // What the walk-away part asks of it.
    bool may_lock_when_away() override;
    void lock_when_away(LockReason why) override;
    void display_changed() override { lock_.screen_changed(); }

    // Shows the lock screen.
    void show_lock(LockReason why) { lock_.show_for(why); }
    // F12, "&Lock" and its button.
    void lock_now();
    // The start-up's hand-over: shows this window in `state` with the lock
    // armed. The show itself does not raise the lock screen (main_unlocked is
    // 1 while it runs); the next paint after it does (it is 0 afterwards).
    void show_with_lock_armed(platform::WindowState state);

    void timerz_Timer();
    // "&Lock && Hide" (F9): minimised, and locked at the next paint.
    void lock_and_hide();
    // "Quit": the process ends at once.
    void quit();
    // "&Windows Screen Saver" (F11).
    void scrlock_Click();

    void on_mouse_down(std::string_view control, platform::MouseButton button) override;
    void on_menu_open(std::string_view item) override;

protected:
    void Form_Load() override;
    void Form_Paint(platform::Painter& p) override;
    void Form_Unload() override;

    bool takes_input() override;
    bool on_sys_command(platform::SysCommand c) override;

private:
    friend struct Routes<Form1>;

    Form4& lock_;
    frmSplash& splash_;
    // In the order they are built: the later take the earlier they use.
    AttemptLog log_;
    LogViewer viewer_;
    ColourMenu colours_;
    StartupMenu startup_;
    HelpMenu help_;
    Credentials credentials_;
    WalkAway away_;
    bool in_login_ = false;  // the first-run set-up runs from a paint
    // Minimised with the lock armed (lock-and-hide, the hidden start): the
    // next paint, when Pause or the taskbar shows the window, raises it.
    bool waiting_for_pause_ = false;
    // The main window before a lock that came while the user was away:
    // the reason armed for its next paint while it waited for Pause, and
    // whether it showed the log.
    struct Before {
        std::optional<LockReason> armed;
        bool log_shown = false;
    };
    std::optional<Before> before_away_;
};

// Each command is one row, named once: its button, its menu item and the
// item's shortcut key run the same member. The colours' and the idle
// times' items come from their tables.
template <>
struct Routes<Form1> : NoRoutes<Form1> {
    static constexpr Form1::Command commands[] = {
        {.button = "Command9", .item = "mnuLock", .handler = run<&Form1::lock_now>},
        {.button = "ExitButton",
         .index = 2,
         .item = "mnulockup",
         .handler = run<&Form1::lock_and_hide>},
        {.button = "Command1", .item = "mnuQuit", .handler = run<&Form1::quit>},
        {.button = "Command3", .item = "chgquestion", .handler = run<&Form1::change_question>},
        {.button = "Command4", .item = "answer", .handler = run<&Form1::change_answer>},
        {.button = "Command2", .item = "scrlock", .handler = run<&Form1::scrlock_Click>},
        {.button = "Command5",
         .item = "mnuViewLog",
         .handler = on<&Form1::viewer_, &LogViewer::Command5_Click>},
        {.button = "Command12",
         .item = "mnuHide",
         .handler = on<&Form1::viewer_, &LogViewer::Command12_Click>},
        {.button = "Command11",
         .item = "mnuDelete",
         .handler = on<&Form1::viewer_, &LogViewer::Command11_Click>},
        {.button = "DeleteAll", .handler = on<&Form1::viewer_, &LogViewer::DeleteAll_Click>},
        {.item = "autorunnolock",
         .handler = on<&Form1::startup_, &StartupMenu::autorunnolock_Click>},
        {.item = "autorun", .handler = on<&Form1::startup_, &StartupMenu::autorun_Click>},
        {.item = "autorunatstart",
         .handler = on<&Form1::startup_, &StartupMenu::autorunatstart_Click>},
        {.item = "noautorun", .handler = on<&Form1::startup_, &StartupMenu::noautorun_Click>},
        {.item = "mnuSleepLock", .handler = on<&Form1::away_, &WalkAway::mnuSleepLock_Click>},
        {.item = "mnuCover", .handler = on<&Form1::away_, &WalkAway::mnuCover_Click>},
        {.item = "abtDulcimet", .handler = on<&Form1::help_, &HelpMenu::abtDulcimet_Click>},
        {.item = "mnuOnline", .handler = on<&Form1::help_, &HelpMenu::mnuOnline_Click>},
        {.item = "mnuEmail", .handler = on<&Form1::help_, &HelpMenu::mnuEmail_Click>},
    };

    static constexpr auto menus =
        join(choices<kColours, &Form1::colours_>(), choices<kIdleChoices, &Form1::away_>());
    static constexpr Form1::Tick ticks[] = {{"timerz", run<&Form1::timerz_Timer>}};
};

}  // namespace kv
