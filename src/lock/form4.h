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

// All the lock screen asks of the rest of the program.
class LockHost {
public:
    // As it unloads: with lock_released the main window shows again;
    // otherwise it hides, and the lock screen comes back 50 ms later.
    virtual void show_after_lock() = 0;
    // A wrong answer, to the attempt log: the result of the file's write.
    virtual platform::Result record_attempt(std::string_view when, std::string_view typed) = 0;
    // The log viewer, for the security alert's Yes.
    virtual void show_log() = 0;
    // After the right answer: the background colour as stored.
    virtual void reapply_colour() = 0;
    // The background of a paint, in the current colour.
    virtual void paint_background(platform::Painter& p) = 0;
    // What else the lock holds, at its load and at each tick of its guard,
    // before it raises itself (the covers).
    virtual void hold_under_lock() = 0;
    // The right answer, before the security alert.
    virtual void lock_answered() = 0;
    // After the lock screen unloaded with the right answer.
    virtual void after_unlock() = 0;

protected:
    ~LockHost() = default;
};

class Form4 : public RoutedForm<Form4, layout::kForm4> {
public:
    Form4(ProgramState& state, LockHost& host) : RoutedForm(state), host_(host) {}

    // Shows the lock screen; `why` goes to the event log as it comes up.
    void show_for(LockReason why);

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
    // Why the lock that holds came.
    LockReason reason() const { return reason_; }

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

    // The stored answer as its 20-character field.
    std::string stored_answer;
    // The answer was read, or is known to be missing.
    bool answer_known_ = false;
    // The question while the wrong-answer message stands in its place.
    std::string saved_caption;
    // The last rectangle of "&Enter" the pointer was confined to.
    platform::Rect clip_rect;
    // The place and size of the load, where the guard keeps the window.
    platform::Rect home_rect_;
    std::optional<platform::TaskKeyBlock> task_keys_;
    std::optional<platform::AccessHotkeysOff> access_keys_;
    // From the load to the right answer, also while the lock is closed from
    // outside and comes back.
    std::optional<platform::FailClosed> fail_closed_;
    LockReason reason_ = LockReason::Key;
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
