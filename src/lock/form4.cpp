#include "lock/form4.h"

#include "app/form1.h"
#include "app/layouts.h"
#include "app/program.h"
#include "log/attempt_log.h"
#include "options/colors.h"
#include "store/secrets.h"
#include "store/settings.h"
#include "store/text.h"

namespace kv {

using platform::kSpiSetScreenSaverRunning;

namespace {
constexpr platform::Rgb kCyan{0, 255, 255};
constexpr platform::Rgb kRed{255, 0, 0};
constexpr int kIdYes = 6;
}  // namespace

Form4::Form4(Program& p) : RoutedForm(p, layout::kForm4) {}

std::string lock_caption() { return title_with_version() + "  (Kestrova is Activated)"; }

void Form4::Form_Load() {
    program_.lock_released = false;
    window_.set_caption(lock_caption());
    window_.set_outer_size_twips(7215, 4905);
    window_.center_on_screen();
    program_.alert_pending = false;
    const auto qa = store::load_question_answer();
    ctl("Labelnew").set_text(qa.question);
    stored_answer = qa.answer;
    answer_known_ = qa.answer_known;
    saved_caption.clear();
    paint_gradient(*this);
    set_timer("Timer2", true);
    platform::system_parameters_info(kSpiSetScreenSaverRunning, -1);
}

void Form4::Form_Paint(platform::Painter& p) {
    paint_gradient(p, program_.current_color);
    platform::set_cursor_pos(1200, 3600);
}

// The guard: every 100 ms the pointer goes back onto "&Enter" and the window
// back on top of all others.
void Form4::Timer2_Timer() {
    clip_rect = ctl("Command1").screen_rect();
    platform::clip_cursor(clip_rect);
    set_topmost(window_.handle(), -1);
    const auto p = platform::cursor_pos();
    platform::set_cursor_pos(p.x, p.y);
    set_timer("Timer2", true);
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
    program_.lock_released = true;
    platform::system_parameters_info(kSpiSetScreenSaverRunning, 0);
    set_timer("Timer2", false);
    set_topmost(window_.handle(), 0);
    platform::clip_cursor(platform::desktop_rect());
    store::check_alert(program_);
    if (program_.alert_pending) {
        program_.alert_pending = false;
        const int answer = platform::message_box(
            "There was an attempt to access your system. Do you want to view the access log?", 20,
            "Security Alert!");
        store::clear_alert();
        if (answer == kIdYes) program_.form1().show_log();
    }
    Unload();
    if (program_.main_unlocked != 1) {
        program_.main_unlocked = 1;
        load_color(program_);
    }
}

void Form4::refuse(const std::string& typed) {
    platform::beep();
    program_.alert_pending = true;
    store::set_alert();

    Form1& main = program_.form1();
    main.ctl("List2").list_add(
        attempt_line(platform::date_text() + " " + platform::time_text(), typed));
    main.update3();

    ctl("Command1").set_enabled(false);
    ctl("Textnew").set_visible(false);
    auto label = ctl("Labelnew");
    saved_caption = label.text();
    label.set_fore_color(kRed);
    label.set_text(kWrongAnswer);
    ctl("Textnew").set_text("");
    platform::system_parameters_info(kSpiSetScreenSaverRunning, -1);
    set_timer("Timer1", true);
    set_timer("Timer2", true);
}

void Form4::Timer1_Timer() {
    auto label = ctl("Labelnew");
    label.set_fore_color(kCyan);
    label.set_text(saved_caption);
    ctl("Command1").set_enabled(true);
    ctl("Textnew").set_visible(true);
    ctl("Textnew").set_focus();
    set_timer("Timer1", false);
}

void Form4::Form_Unload() {
    platform::system_parameters_info(kSpiSetScreenSaverRunning, 0);
    platform::clip_cursor(platform::desktop_rect());
    program_.form1().show_after_lock();
}

}  // namespace kv
