// The lock screen: shows the question, holds the pointer on "&Enter", keeps
// itself on top and lets the user back in only with the right answer.
#pragma once

#include <array>
#include <optional>
#include <string>

#include <string_view>

#include "log/events.h"
#include "platform/system.h"
#include "ui/form_base.h"
#include "ui/layouts.h"
#include "ui/lock_reason.h"

namespace kv {

class AttemptLog;
class ColourMenu;
class LogViewer;
class WalkAway;

// All the lock screen asks of the main window, for what only it can do.
class LockHost {
public:
    // As the lock unloads with the right answer: the main window shows again.
    virtual void show_after_lock() = 0;
    // The lock is gone without the answer, or its window could not be made:
    // the main window hides, and the lock screen comes back 50 ms later
    // (Form4::show_due).
    virtual void lock_due_back() = 0;
    // After the lock screen unloaded with the right answer: the main window
    // as it was before a lock that came while the user was away.
    virtual void after_unlock() = 0;

protected:
    ~LockHost() = default;
};

// The parts of the program the lock screen works with: wrong answers go to
// the attempt log, the security alert's Yes opens the log viewer, the
// background paints in the colour, and the covers hold every other monitor.
struct LockParts {
    AttemptLog& log;
    LogViewer& viewer;
    ColourMenu& colours;
    WalkAway& away;
};

class Form4 : public RoutedForm<Form4, layout::kForm4> {
public:
    Form4(ProgramState& state, LockHost& host, LockParts parts)
        : RoutedForm(state), host_(host), parts_(parts) {}

    // Shows the lock screen; `why` goes to the event log as it comes up. One
    // whose window cannot be created fails closed: the main window hides and
    // it is tried again 50 ms later, for the same reason.
    void show_for(LockReason why);
    // The main window's next paint raises the lock, for `why`.
    void arm(LockReason why);
    // Shows the lock that is due: armed for the main window's paint, or due
    // back.
    void show_due() { show_for(reason_); }

    void Command1_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    static constexpr const char* kWrongAnswer =
        "Wrong Answer! Your incorrect entry will not unlock this system.";

    // Loaded and not yet released by the right answer: the lock holds the
    // pointer, the keyboard and its window, and no other form takes input.
    bool holding() const;
    // Brings the lock screen forward with the keyboard.
    void take_keyboard();
    // The display changed: centred again at once, the pointer on "&Enter".
    void screen_changed();
    // Why the lock that holds came, or why the one due comes.
    LockReason reason() const { return reason_; }
    // Gone without the answer, or its window could not be made: the main
    // window brings it back 50 ms later.
    bool due_back() const { return due_back_; }
    // The right answer was typed on the lock screen last loaded.
    bool released() const { return released_; }
    // A wrong answer was recorded since this lock screen loaded, or the
    // stored alert flag was found: the security alert is due at the answer.
    bool alert_pending() const { return alert_pending_; }

protected:
    void Form_Load() override;
    void Form_Paint(platform::Painter& p) override;
    void Form_Unload() override;

    bool on_sys_command(platform::SysCommand c) override;
    void on_deactivate() override;
    bool keeps_top() override { return holding(); }
    void on_close() override;
    std::string_view end_session_refusal() override;
    void on_session_end() override;
    void on_dpi_changed() override;

private:
    // From the load, or again over the security alert: the keys, the
    // pointer and the window held.
    void hold();
    void release();
    void refuse(const std::string& typed);
    // Back to the normal state, the size and the place of the load.
    void hold_window();
    // Topmost, with the pointer confined to "&Enter".
    void hold_top();
    // Centred, or as near as keeps "&Enter" on a screen smaller than the lock.
    void place();
    // Gives the keyboard to the answer box, or to the window itself while
    // the wrong-answer message stands.
    void focus_keyboard();

    LockHost& host_;
    LockParts parts_;

    // The stored answer as its 20-character field.
    std::string stored_answer;
    // The answer was read, or is known to be missing.
    bool answer_known_ = false;
    // The question, shown again when the wrong-answer message goes.
    std::string question_;
    // The wrong-answer message stands in the question's place; the answer
    // box and "&Enter" are away.
    bool wrong_shown_ = false;
    bool released_ = false;
    bool alert_pending_ = false;
    bool due_back_ = false;
    // The last rectangle of "&Enter" the pointer was confined to.
    platform::Rect clip_rect;
    // The place and size of the load, where the guard keeps the window.
    platform::Rect home_rect_;
    std::optional<platform::TaskKeyBlock> task_keys_;
    std::optional<platform::AccessHotkeysOff> access_keys_;
    // From the load to the right answer, also while the lock is closed from
    // outside and comes back.
    std::optional<platform::FailClosed> fail_closed_;
    // Why the lock that holds came, or why the one due comes: armed by the
    // main window, kept through a window that could not be made, "comeback"
    // once one goes without the answer.
    LockReason reason_ = LockReason::Start;
    LockEvents events_;
    int keyboard_checks_ = 0;  // ticks that take the keyboard once more
    bool alerting_ = false;    // the security alert, or its error, is open
};

template <>
struct Routes<Form4> : NoRoutes<Form4> {
    static constexpr Form4::Click clicks[] = {{"Command1", -1, run<&Form4::Command1_Click>}};
    static constexpr Form4::Tick ticks[] = {
        {"Timer1", run<&Form4::Timer1_Timer>},
        {"Timer2", run<&Form4::Timer2_Timer>},
    };
};

// When the alert flag cannot be deleted after the security alert.
inline constexpr const char* kClearAlertError =
    "Error Occurred, possibly as the result of a power failure of the incorrect closing of "
    "windows. Please Quit Kestrova and try again";

// The lock screen's caption: "Kestrova 2.0  (Kestrova is Activated)".
std::string lock_caption();

}  // namespace kv
