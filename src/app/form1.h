// The main window: the control centre while the screen is not locked. It
// carries the operations of the subsystems that work on it (the attempt log
// and its viewer, the colours, the start-up options, the Help menu, the
// question and answer), each defined in its subsystem as a part of it.
#pragma once

#include <array>

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

class Form1 : public RoutedForm<Form1, layout::kForm1>,
              public AttemptLog,
              public LogViewer,
              public ColourMenu,
              public StartupMenu,
              public HelpMenu,
              public Credentials,
              public WalkAway,
              public LockHost,
              public AwayHost {
public:
    Form1(ProgramState& state, Form4& lock, AboutBox& about, frmSplash& splash);

    // As the lock screen unloads: shown again when released, otherwise
    // hidden with the lock screen due back in 50 ms.
    void show_after_lock() override;
    // Shows the lock screen. One whose window cannot be created fails
    // closed: this window hides and timerz tries again 50 ms later.
    void show_lock() { lock_for(LockReason::Key); }
    void lock_for(LockReason why);
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

    // The walk-away part's locks and covers.
    bool may_lock_when_away() override;
    void lock_when_away(LockReason why) override;
    void hold_under_lock() override { cover_under_lock(); }
    void lock_answered() override { uncover(); }
    void after_unlock() override { restore_main_window(); }

protected:
    void Form_Load() override;
    void Form_Paint(platform::Painter& p) override;
    void Form_Unload() override;

    bool takes_input() override;
    bool on_sys_command(platform::SysCommand c) override;

private:
    Form4& lock_;
    frmSplash& splash_;
    bool in_login_ = false;  // the first-run set-up runs from a paint
};

// Each event keeps its name; the button and the menu item of one command
// run the same member.
template <>
struct Routes<Form1> : NoRoutes<Form1> {
    static constexpr Form1::Click clicks[] = {
        {"Command9", -1, run<&Form1::show_lock>},
        {"ExitButton", 2, run<&Form1::lock_and_hide>},
        {"Command1", -1, run<&Form1::quit>},
        {"Command3", -1, run<&Form1::change_question>},
        {"Command4", -1, run<&Form1::change_answer>},
        {"Command2", -1, run<&Form1::scrlock_Click>},
        {"Command5", -1, run<&Form1::Command5_Click>},
        {"Command12", -1, run<&Form1::Command12_Click>},
        {"Command11", -1, run<&Form1::Command11_Click>},
        {"DeleteAll", -1, run<&Form1::DeleteAll_Click>},
    };
    static constexpr Form1::Choice menus[] = {
        {"mnuLock", run<&Form1::show_lock>},
        {"mnulockup", run<&Form1::lock_and_hide>},
        {"mnuQuit", run<&Form1::quit>},
        {"chgquestion", run<&Form1::change_question>},
        {"answer", run<&Form1::change_answer>},
        {"scrlock", run<&Form1::scrlock_Click>},
        {"mnuViewLog", run<&Form1::Command5_Click>},
        {"mnuHide", run<&Form1::Command12_Click>},
        {"mnuDelete", run<&Form1::Command11_Click>},
        {"mnuRed", run<&Form1::mnuRed_Click>},
        {"mnuGreen", run<&Form1::mnuGreen_Click>},
        {"mnuBlue", run<&Form1::mnuBlue_Click>},
        {"mnuPurple", run<&Form1::mnuPurple_Click>},
        {"mnuYellow", run<&Form1::mnuYellow_Click>},
        {"autorunnolock", run<&Form1::autorunnolock_Click>},
        {"autorun", run<&Form1::autorun_Click>},
        {"autorunatstart", run<&Form1::autorunatstart_Click>},
        {"noautorun", run<&Form1::noautorun_Click>},
        {"mnuIdleNever", run<&Form1::mnuIdleNever_Click>},
        {"mnuIdle1", run<&Form1::mnuIdle1_Click>},
        {"mnuIdle5", run<&Form1::mnuIdle5_Click>},
        {"mnuIdle10", run<&Form1::mnuIdle10_Click>},
        {"mnuIdle15", run<&Form1::mnuIdle15_Click>},
        {"mnuIdle30", run<&Form1::mnuIdle30_Click>},
        {"mnuSleepLock", run<&Form1::mnuSleepLock_Click>},
        {"mnuCover", run<&Form1::mnuCover_Click>},
        {"abtDulcimet", run<&Form1::abtDulcimet_Click>},
        {"mnuOnline", run<&Form1::mnuOnline_Click>},
        {"mnuEmail", run<&Form1::mnuEmail_Click>},
    };
    static constexpr Form1::Tick ticks[] = {{"timerz", run<&Form1::timerz_Timer>}};
};

}  // namespace kv
