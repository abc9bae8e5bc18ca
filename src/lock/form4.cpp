#include "lock/form4.h"

#include "log/attempt_log.h"
#include "log/log_viewer.h"
#include "options/colors.h"
#include "options/walk_away.h"
#include "platform/registry.h"
#include "store/secrets.h"
#include "store/settings.h"
#include "store/text.h"
#include "ui/maker.h"
#include "ui/state.h"
#include "ui/version.h"

namespace kv {

using platform::kSpiSetScreenSaverRunning;

namespace {
constexpr platform::Rgb kCyan{0, 255, 255};
constexpr platform::Rgb kRed{255, 0, 0};
}  // namespace

std::string lock_caption() { return title_with_version() + "  (Kestrova is Activated)"; }

// A lock that holds keeps its own reason. One answered whose security alert
// is still open holds again at once, as a fresh lock: the alert waits under
// it for its own answer.
void Form4::show_for(LockReason why) {
    if (!loaded()) reason_ = why;
    if (!loaded() || !released_) {
        Show();
        if (!loaded()) {
            due_back_ = true;
            host_.lock_due_back();
        }
        return;
    }
    reason_ = why;
    released_ = false;
    ctl("Textnew").set_text("");
    hold();
}

// A lock that holds keeps its own reason here too.
void Form4::arm(LockReason why) {
    if (!holding()) reason_ = why;
}

void Form4::Form_Load() {
    due_back_ = false;
    released_ = false;
    window_.set_caption(lock_caption());
    place();
    alert_pending_ = false;
    wrong_shown_ = false;
    const auto qa = store::load_question_answer();
    question_ = qa.question;
    ctl("Labelnew").set_text(question_);
    stored_answer = qa.answer;
    answer_known_ = qa.answer_known;
    window_.invalidate();
    hold();
}

void Form4::hold() {
    // Over its own security alert, which disabled it, or over a menu of the
    // main window, whose loop would take the answer's keys.
    window_.set_enabled(true);
    platform::end_menu();
    set_timer("Timer2", true);
    platform::system_parameters_info(kSpiSetScreenSaverRunning, -1);
    // The task-switching keys, the keyboard and the pointer are held from
    // the moment the window shows, not from the first tick 100 ms later. It
    // is shown first: a hidden window cannot take the keyboard, and a change
    // of the foreground afterwards would free the pointer again.
    task_keys_.emplace(window_.handle());
    access_keys_.emplace();
    window_.show();
    Timer2_Timer();
    // Its watcher once the lock holds: starting a process takes a while.
    if (!fail_closed_) fail_closed_.emplace();
    events_.locked(reason_);
}

void Form4::Form_Paint(platform::Painter& p) {
    paint_gradient(p, parts_.colours.current_color());
    platform::set_cursor_pos(1200, 3600);
    // Under Wine a confinement made before the window reached the screen is
    // dropped again; the first paint comes once it is there.
    if (holding()) platform::clip_cursor(clip_rect);
}

// The guard: every 100 ms the window goes back to its place on top of all
// others, the pointer back onto "&Enter" and the keyboard back to the lock.
void Form4::Timer2_Timer() {
    // Whoever ended the watcher may end this process next: the session
    // locks now, and a new watcher takes over.
    if (fail_closed_ && fail_closed_->watcher_ended()) {
        platform::lock_session();
        fail_closed_.emplace();
    }
    hold_window();
    parts_.away.cover_under_lock();
    // The keyboard first: a change of the foreground may free the pointer.
    if (platform::foreground_window() != window_.handle()) {
        take_keyboard();
    } else if (keyboard_checks_ > 0) {
        --keyboard_checks_;
        focus_keyboard();
    }
    hold_top();
    // A pointer outside the confinement (the window system may not have
    // moved it in yet) goes to its nearest point inside.
    const auto p = platform::cursor_pos();
    if (!clip_rect.contains(p)) platform::set_cursor_pos(p.x, p.y);
    set_timer("Timer2", true);
}

// Only what moved is put back: every confinement and raise is a round trip
// to the window system, and a raise is told to every program's event hooks.
void Form4::hold_top() {
    clip_rect = ctl("Command1").screen_rect();
    if (platform::cursor_clip() != clip_rect) platform::clip_cursor(clip_rect);
    if (!platform::on_top(window_.handle())) set_topmost(window_.handle(), kTopmost);
}

void Form4::hold_window() {
    if (window_.state() != platform::WindowState::Normal)
        window_.set_state(platform::WindowState::Normal);
    if (window_.outer_rect() != home_rect_) place();
}

// Centred; on a screen smaller than the window, moved as far as "&Enter"
// needs to be on the screen, since the pointer is held on it.
void Form4::place() {
    window_.set_outer_size_twips(7215, 4905);
    window_.center_on_screen();
    const auto screen = platform::desktop_rect();
    const auto enter = ctl("Command1").screen_rect();
    const auto shift = [](int low, int high, int from, int to) {
        if (high > to) return to - high;
        return low < from ? from - low : 0;
    };
    const int dx = shift(enter.left, enter.right, screen.left, screen.right);
    const int dy = shift(enter.top, enter.bottom, screen.top, screen.bottom);
    const auto r = window_.outer_rect();
    if (dx != 0 || dy != 0) window_.move_to(r.left + dx, r.top + dy);
    home_rect_ = window_.outer_rect();
}

bool Form4::holding() const { return loaded() && !released_; }

// Under Wine a window that another program shows just before it loses the
// foreground can take the keyboard focus of the window system back once it
// is on the screen, after the lock has taken the foreground: the next few
// ticks give the focus to the lock once more.
void Form4::take_keyboard() {
    keyboard_checks_ = 3;
    focus_keyboard();
}

void Form4::focus_keyboard() {
    const auto box = ctl("Textnew").handle();
    platform::take_foreground(window_.handle(), wrong_shown_ ? window_.handle() : box);
}

// While it holds, the window can be neither minimised, maximised, moved nor
// sized, and Alt opens no menu that would take the keys typed next.
bool Form4::on_sys_command(platform::SysCommand c) {
    return !holding() || c == platform::SysCommand::Restore;
}

// Alt+F4, the close box and WM_CLOSE from outside are refused until the
// answer: a lock closed and loaded again leaves a gap with the pointer and
// the keys free.
void Form4::on_close() {
    if (!holding()) Unload();
}

// Signing out or shutting down is refused while it holds; the user may still
// end the session anyway, which ends the program.
std::string_view Form4::end_session_refusal() {
    return holding() ? "Kestrova is locked." : std::string_view{};
}

// Ended with the session, the program must not leave a locked session
// behind it.
void Form4::on_session_end() { fail_closed_.reset(); }

// On a screen of another DPI the window keeps its size in inches: the guard
// centres it again and puts the pointer back on "&Enter" at once.
void Form4::on_dpi_changed() { screen_changed(); }

// A new resolution or other monitors: the same, and the covers laid out
// again (the walk-away part has marked them).
void Form4::screen_changed() {
    if (!holding()) return;
    home_rect_ = {};
    Timer2_Timer();
}

// Another window took the foreground or went above the lock: a program
// that raises itself again and again also frees the pointer each time, so
// the top and the pointer are taken back with the keyboard, at once.
void Form4::on_deactivate() {
    if (!holding()) return;
    take_keyboard();
    parts_.away.cover_under_lock();
    hold_top();
}

void Form4::Command1_Click() {
    auto box = ctl("Textnew");
    const std::string typed = box.text();
    // An answer that could not be read is read again; until it can, no entry
    // unlocks and none is logged as an attempt.
    if (!typed.empty() && !answer_known_) {
        const auto qa = store::load_question_answer();
        stored_answer = qa.answer;
        answer_known_ = qa.answer_known;
    }
    if (typed.empty() || !answer_known_) {
        platform::beep();
        box.set_focus();
        return;
    }
    if (trim(typed) == trim(stored_answer)) {
        release();
    } else {
        refuse(typed);
    }
}

void Form4::release() {
    released_ = true;
    fail_closed_.reset();
    parts_.away.uncover();
    platform::system_parameters_info(kSpiSetScreenSaverRunning, 0);
    set_timer("Timer2", false);
    set_topmost(window_.handle(), kNotTopmost);
    platform::clip_cursor(platform::desktop_rect());
    task_keys_.reset();
    access_keys_.reset();
    events_.unlocked();
    // A lock that came again over the alert: the alert is still open, and
    // has the window again.
    if (alerting_) {
        window_.set_enabled(false);
        return;
    }
    if (store::check_alert()) alert_pending_ = true;
    if (alert_pending_) {
        alert_pending_ = false;
        alerting_ = true;
        const int answer = platform::message_box(
            "There was an attempt to access your system. Do you want to view the access log?",
            platform::kMbYesNoStop, "Security Alert!");
        if (const auto cleared = store::clear_alert(); cleared == platform::kErrorAccessDenied)
            platform::message_box(
                std::string("The alert could not be cleared: ") + store::kNeedsAdministrator,
                platform::kMbOkExclamation, KV_APP_TITLE);
        else if (cleared != platform::kErrorSuccess)
            platform::message_box(kClearAlertError, platform::kMbOk, KV_APP_TITLE);
        alerting_ = false;
        if (answer == platform::kIdYes) parts_.viewer.show_log();
    }
    Unload();
    if (program_.main_unlocked != 1) {
        program_.main_unlocked = 1;
        parts_.colours.load_color();
    }
    host_.after_unlock();
}

void Form4::refuse(const std::string& typed) {
    platform::beep();
    alert_pending_ = true;
    // Dropped: alert_pending_ carries the alert to this run's answer; a failed
    // write loses only the stored flag, for a run that ends before it.
    static_cast<void>(store::set_alert());

    events_.wrong_answer(
        parts_.log.record_attempt(platform::date_text() + " " + platform::time_text(), typed));

    wrong_shown_ = true;
    ctl("Command1").set_enabled(false);
    ctl("Textnew").set_visible(false);
    auto label = ctl("Labelnew");
    label.set_fore_color(kRed);
    label.set_text(kWrongAnswer);
    label.set_alert(true);
    ctl("Textnew").set_text("");
    platform::system_parameters_info(kSpiSetScreenSaverRunning, -1);
    set_timer("Timer1", true);
    set_timer("Timer2", true);
}

void Form4::Timer1_Timer() {
    auto label = ctl("Labelnew");
    label.set_fore_color(kCyan);
    label.set_alert(false);
    label.set_text(question_);
    wrong_shown_ = false;
    ctl("Command1").set_enabled(true);
    ctl("Textnew").set_visible(true);
    ctl("Textnew").set_focus();
    set_timer("Timer1", false);
}

void Form4::Form_Unload() {
    platform::system_parameters_info(kSpiSetScreenSaverRunning, 0);
    platform::clip_cursor(platform::desktop_rect());
    task_keys_.reset();
    access_keys_.reset();
    if (released_) {
        host_.show_after_lock();
        return;
    }
    reason_ = LockReason::Comeback;
    due_back_ = true;
    host_.lock_due_back();
}

}  // namespace kv
