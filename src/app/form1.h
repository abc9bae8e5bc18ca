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
    long set_answer(std::string_view answer) { return credentials_.set_answer(answer); }
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

// Each event keeps its name; the button and the menu item of one command
// run the same member. The colours' items come from their table.
template <>
struct Routes<Form1> : NoRoutes<Form1> {
    static constexpr Form1::Click clicks[] = {
        {"Command9", -1, run<&Form1::lock_now>},
        {"ExitButton", 2, run<&Form1::lock_and_hide>},
        {"Command1", -1, run<&Form1::quit>},
        {"Command3", -1, run<&Form1::change_question>},
        {"Command4", -1, run<&Form1::change_answer>},
        {"Command2", -1, run<&Form1::scrlock_Click>},
        {"Command5", -1, on<&Form1::viewer_, &LogViewer::Command5_Click>},
        {"Command12", -1, on<&Form1::viewer_, &LogViewer::Command12_Click>},
        {"Command11", -1, on<&Form1::viewer_, &LogViewer::Command11_Click>},
        {"DeleteAll", -1, on<&Form1::viewer_, &LogViewer::DeleteAll_Click>},
    };

    template <std::size_t I>
    static void choose_colour(Form1& form) {
        form.colours_.choose(kColours[I]);
    }
    static constexpr auto colour_menus = []<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<Form1::Choice, sizeof...(I)>{{{kColours[I].menu, &choose_colour<I>}...}};
    }(std::make_index_sequence<std::size(kColours)>{});

    static constexpr auto menus = join(
        std::to_array<Form1::Choice>({
            {"mnuLock", run<&Form1::lock_now>},
            {"mnulockup", run<&Form1::lock_and_hide>},
            {"mnuQuit", run<&Form1::quit>},
            {"chgquestion", run<&Form1::change_question>},
            {"answer", run<&Form1::change_answer>},
            {"scrlock", run<&Form1::scrlock_Click>},
            {"mnuViewLog", on<&Form1::viewer_, &LogViewer::Command5_Click>},
            {"mnuHide", on<&Form1::viewer_, &LogViewer::Command12_Click>},
            {"mnuDelete", on<&Form1::viewer_, &LogViewer::Command11_Click>},
            {"autorunnolock", on<&Form1::startup_, &StartupMenu::autorunnolock_Click>},
            {"autorun", on<&Form1::startup_, &StartupMenu::autorun_Click>},
            {"autorunatstart", on<&Form1::startup_, &StartupMenu::autorunatstart_Click>},
            {"noautorun", on<&Form1::startup_, &StartupMenu::noautorun_Click>},
            {"mnuIdleNever", on<&Form1::away_, &WalkAway::mnuIdleNever_Click>},
            {"mnuIdle1", on<&Form1::away_, &WalkAway::mnuIdle1_Click>},
            {"mnuIdle5", on<&Form1::away_, &WalkAway::mnuIdle5_Click>},
            {"mnuIdle10", on<&Form1::away_, &WalkAway::mnuIdle10_Click>},
            {"mnuIdle15", on<&Form1::away_, &WalkAway::mnuIdle15_Click>},
            {"mnuIdle30", on<&Form1::away_, &WalkAway::mnuIdle30_Click>},
            {"mnuSleepLock", on<&Form1::away_, &WalkAway::mnuSleepLock_Click>},
            {"mnuCover", on<&Form1::away_, &WalkAway::mnuCover_Click>},
            {"abtDulcimet", on<&Form1::help_, &HelpMenu::abtDulcimet_Click>},
            {"mnuOnline", on<&Form1::help_, &HelpMenu::mnuOnline_Click>},
            {"mnuEmail", on<&Form1::help_, &HelpMenu::mnuEmail_Click>},
        }),
        colour_menus);
    static constexpr Form1::Tick ticks[] = {{"timerz", run<&Form1::timerz_Timer>}};
};

}  // namespace kv
