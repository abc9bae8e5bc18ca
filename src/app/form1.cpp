#include "app/form1.h"

#include "app/splash.h"
#include "platform/system.h"
#include "store/secrets.h"
#include "ui/state.h"
#include "ui/version.h"

namespace kv {

using platform::kSpiSetScreenSaverRunning;

// The parts work on this window, built first as the first base; the later
// parts take the earlier ones they use.
Form1::Form1(ProgramState& state, Form4& lock, AboutBox& about, frmSplash& splash)
    : RoutedForm(state),
      AttemptLog(static_cast<MainWindow&>(*this)),
      LogViewer(*this, static_cast<AttemptLog&>(*this)),
      ColourMenu(static_cast<MainWindow&>(*this)),
      StartupMenu(static_cast<MainWindow&>(*this)),
      HelpMenu(*this, about),
      Credentials(*this, static_cast<StartupMenu&>(*this), static_cast<AttemptLog&>(*this)),
      lock_(lock),
      splash_(splash) {}

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

// The main window has no event of its own for "shown for the first time" or
// "shown again after lock-and-hide": its paint is where both are noticed, so
// the first-run set-up and the lock screen are raised from here.
void Form1::Form_Paint(platform::Painter& p) {
    if (!store::question_stored()) {
        // The set-up shows the window when it is done; a paint meanwhile
        // must not start it a second time.
        if (in_login_) return;
        program_.main_unlocked = 1;
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
    paint_gradient(p, program_.current_color);
    if (program_.main_unlocked == 0) {
        program_.main_unlocked = 1;
        show_lock();
        // On the lock's thread, once the lock shows: read the whole log
        // again only when the list does not hold it as it is on disk.
        if (!log_in_list() || log_unsaved()) load_list3();
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
    return program_.main_unlocked != 0 && !lock_.holding() && !timer_on("timerz");
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
    if (takes_input() && control == "List2") List2_MouseDown(button);
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
    lock_.Show();
    if (lock_.loaded()) return;
    Hide();
    set_timer("timerz", true);
}

void Form1::show_with_lock_armed(platform::WindowState state) {
    program_.main_unlocked = 1;
    Show();
    program_.main_unlocked = 0;
    set_window_state(state);
}

void Form1::timerz_Timer() {
    set_timer("timerz", false);
    show_lock();
}

void Form1::lock_and_hide() {
    program_.main_unlocked = 0;
    set_window_state(platform::WindowState::Minimized);
}

void Form1::quit() { platform::end_process(); }

// The screen saver: the window's default handling starts the one chosen in
// the display settings.
void Form1::scrlock_Click() {
    platform::send_message(window_.handle(), platform::kWmSysCommand, platform::kScScreenSave, 0);
}

}  // namespace kv
