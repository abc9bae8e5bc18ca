#include "app/form1.h"

#include "ui/layouts.h"
#include "app/program.h"
#include "app/splash.h"
#include "lock/form4.h"
#include "options/colors.h"
#include "platform/system.h"
#include "store/secrets.h"

namespace kv {

using platform::kSpiSetScreenSaverRunning;

Form1::Form1(Program& p) : RoutedForm(p, layout::kForm1) {}

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
    load_startup_checks();
    load_list3();
}

void Form1::Form_Paint(platform::Painter& p) {
    if (!store::question_stored()) {
        // The set-up shows the window when it is done; a paint meanwhile
        // must not start it a second time.
        if (in_login_) return;
        program_.main_unlocked = 1;
        Hide();
        program_.splash().Unload();
        in_login_ = true;
        struct Done {
            bool& flag;
            ~Done() { flag = false; }
        } done{in_login_};
        login();
        Show();
        return;
    }
    paint_gradient(p, program_.current_color);
    if (program_.main_unlocked == 0) {
        program_.main_unlocked = 1;
        show_lock();
        load_list3();
    }
}

void Form1::Form_Unload() {
    platform::system_parameters_info(kSpiSetScreenSaverRunning, 0);
    platform::clip_cursor(platform::desktop_rect());
    platform::end_process();
}

// While a lock screen holds, or is due back, the main window is out of
// reach: Quit, the menus, the shortcut keys and the close box do nothing.
bool Form1::takes_input() {
    return !program_.form4().holding() && !window_.timer("timerz").enabled();
}

// The activation key finds the lock screen while it holds, never this window.
bool Form1::on_sys_command(platform::SysCommand c) {
    if (takes_input()) return true;
    if (c == platform::SysCommand::HotKey && program_.form4().holding())
        program_.form4().take_keyboard();
    return false;
}

void Form1::show_after_lock() {
    if (program_.lock_released) {
        Show();
    } else {
        Hide();
        set_timer("timerz", true);
    }
}

void Form1::show_lock() {
    program_.form4().Show();
    if (program_.form4().loaded()) return;
    Hide();
    set_timer("timerz", true);
}

void Form1::timerz_Timer() {
    set_timer("timerz", false);
    show_lock();
}

void Form1::Command9_Click() { show_lock(); }
void Form1::mnuLock_Click() { Command9_Click(); }

void Form1::lock_and_hide() {
    program_.main_unlocked = 0;
    set_window_state(platform::WindowState::Minimized);
}
void Form1::ExitButton_Click() { lock_and_hide(); }
void Form1::mnulockup_Click() { lock_and_hide(); }

void Form1::Command1_Click() { platform::end_process(); }
void Form1::mnuQuit_Click() { platform::end_process(); }

void Form1::Command3_Click() { chgquestion_Click(); }
void Form1::chgquestion_Click() { change_question(); }
void Form1::Command4_Click() { answer_Click(); }
void Form1::answer_Click() { change_answer(); }

// The screen saver: the window's default handling starts the one chosen in
// the display settings.
void Form1::scrlock_Click() {
    platform::send_message(window_.handle(), platform::kWmSysCommand, platform::kScScreenSave, 0);
}
void Form1::Command2_Click() { scrlock_Click(); }

void Form1::choose_color(const char* name) {
    program_.current_color = name;
    set_color(program_);
    window_.invalidate();
    window_.update();
}
void Form1::mnuRed_Click() { choose_color("red"); }
void Form1::mnuGreen_Click() { choose_color("green"); }
void Form1::mnuBlue_Click() { choose_color("blue"); }
void Form1::mnuPurple_Click() { choose_color("purple"); }
void Form1::mnuYellow_Click() { choose_color("yellow"); }

}  // namespace kv
