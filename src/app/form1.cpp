#include "app/form1.h"

#include "app/splash.h"
#include "platform/system.h"
#include "store/secrets.h"
#include "ui/state.h"
#include "ui/version.h"

namespace kv {

using platform::kSpiSetScreenSaverRunning;

// The parts work on this window, built first as the base.
Form1::Form1(ProgramState& state, Form4& lock, AboutBox& about, frmSplash& splash)
    : RoutedForm(state),
      lock_(lock),
      splash_(splash),
      viewer_(*this, log_),
      colours_(*this),
      startup_(*this),
      help_(*this, about),
      credentials_(*this, startup_, log_),
      away_(*this, *this, colours_) {}

void Form1::Form_Load() {
    // Pause brings the main window forward from any application. Where the
    // system does not take a window hot key, a registered hot key does the
    // same.
    const auto h = window_.handle();
    if (platform::send_message(h, platform::kWmSetHotkey, platform::kVkPause, 0) <= 0)
        platform::register_hotkey(h, platform::kVkPause);

    window_.set_outer_size_twips(7215, 4905);
    window_.center_on_screen();
    window_.set_caption(title_with_version());
    startup_.load_startup_checks();
    away_.load_away_checks();
    // Attempts recorded before this window loaded went to the file alone,
    // unless a rewrite read the whole file first: records already held show
    // as they are, otherwise the file is read now.
    viewer_.records_reset();
    if (!log_.log_in_list()) load_list3();
}

// The main window has no event of its own for "shown for the first time" or
// "shown again after lock-and-hide": its paint is where both are noticed, so
// the first-run set-up and the lock screen are raised from here.
void Form1::Form_Paint(platform::Painter& p) {
    if (!store::question_stored()) {
        // The set-up shows the window when it is done; a paint meanwhile
        // must not start it a second time.
        if (in_login_) return;
        program_.main_unlocked = 1;
        waiting_for_pause_ = false;
        Hide();
        splash_.Unload();
        in_login_ = true;
        struct Done {
            bool& flag;
            ~Done() { flag = false; }
        } done{in_login_};
        login();
        Show();
        return;
    }
    paint_gradient(p, colours_.current_color());
    if (program_.main_unlocked == 0) {
        program_.main_unlocked = 1;
        waiting_for_pause_ = false;
        lock_.show_due();
        // On the lock's thread, once the lock shows: read the whole log
        // again only when the records do not hold it as it is on disk.
        if (!log_.log_in_list() || log_.log_unsaved()) load_list3();
    }
}

void Form1::Form_Unload() {
    platform::system_parameters_info(kSpiSetScreenSaverRunning, 0);
    platform::clip_cursor(platform::desktop_rect());
    platform::end_process();
}

// While a lock screen holds, or is due back, or is due at the next paint
// (main_unlocked 0), the main window is out of reach: Quit, the menus, the
// shortcut keys and the close box do nothing.
bool Form1::takes_input() {
    return program_.main_unlocked != 0 && !lock_.holding() && !lock_.due_back();
}

// The activation key finds the lock screen while it holds, never this window.
// A lock due at the next paint lets the window be shown, which raises it.
bool Form1::on_sys_command(platform::SysCommand c) {
    using platform::SysCommand;
    if (takes_input()) return true;
    if (c == SysCommand::HotKey && lock_.holding()) lock_.take_keyboard();
    return program_.main_unlocked == 0 && !lock_.holding() &&
           (c == SysCommand::HotKey || c == SysCommand::Restore);
}

void Form1::on_mouse_down(std::string_view control, platform::MouseButton button) {
    if (takes_input() && control == "List2") viewer_.List2_MouseDown(button);
}

void Form1::lock_due_back() {
    Hide();
    set_timer("timerz", true);
}

// After an away lock: as it was before, unless the security alert opened
// the log here.
void Form1::after_unlock() {
    if (!before_away_) return;
    const Before before = *before_away_;
    before_away_.reset();
    if (!before.log_shown && viewer_.shown()) {
        // The security alert opened the log: it is shown.
        set_window_state(platform::WindowState::Normal);
        return;
    }
    // Still waiting for Pause, which raises the lock screen again.
    if (before.armed) {
        program_.main_unlocked = 0;
        waiting_for_pause_ = true;
        lock_.arm(*before.armed);
    }
}

void Form1::lock_now() { show_lock(LockReason::Key); }

void Form1::show_with_lock_armed(platform::WindowState state) {
    lock_.arm(LockReason::Start);
    program_.main_unlocked = 1;
    Show();
    program_.main_unlocked = 0;
    waiting_for_pause_ = state == platform::WindowState::Minimized;
    set_window_state(state);
}

void Form1::timerz_Timer() {
    set_timer("timerz", false);
    lock_.show_due();
}

void Form1::lock_and_hide() {
    lock_.arm(LockReason::Key);
    program_.main_unlocked = 0;
    waiting_for_pause_ = true;
    set_window_state(platform::WindowState::Minimized);
}

// The menu reads what is stored as it opens: a policy set meanwhile shows.
void Form1::on_menu_open(std::string_view item) {
    if (item == "options" || item == "mnuAway" || item == "mnuIdle") away_.load_away_checks();
}

bool Form1::may_lock_when_away() {
    return loaded() && !in_login_ && !lock_.holding() && store::question_stored();
}

// A lock due back comes now instead. A lock over an answered one's
// security alert keeps what was before that.
void Form1::lock_when_away(LockReason why) {
    if (!before_away_) {
        const bool armed = program_.main_unlocked == 0 && waiting_for_pause_;
        before_away_ =
            Before{armed ? std::optional(lock_.reason()) : std::nullopt, viewer_.shown()};
    }
    set_timer("timerz", false);
    show_lock(why);
}

void Form1::quit() { platform::end_process(); }

// The screen saver: the window's default handling starts the one chosen in
// the display settings.
void Form1::scrlock_Click() {
    platform::send_message(window_.handle(), platform::kWmSysCommand, platform::kScScreenSave, 0);
}

}  // namespace kv
