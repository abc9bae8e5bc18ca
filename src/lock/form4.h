// The lock screen: shows the question, holds the pointer on "&Enter", keeps
// itself on top and lets the user back in only with the right answer.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "ui/form_base.h"
#include "platform/system.h"

namespace kv {

class Form4 : public RoutedForm<Form4> {
public:
    explicit Form4(Program& p);

    void Command1_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    static constexpr std::array<Route<Form4>, 1> kClicks{{
        {"Command1", -1, &Form4::Command1_Click},
    }};
    static constexpr std::array<Route<Form4>, 0> kMenus{};
    static constexpr std::array<Route<Form4>, 2> kTimers{{
        {"Timer1", -1, &Form4::Timer1_Timer},
        {"Timer2", -1, &Form4::Timer2_Timer},
    }};

    // The stored answer as its 20-character field.
    std::string stored_answer;
    // The question while the wrong-answer message stands in its place.
    std::string saved_caption;
    // The last rectangle of "&Enter" the pointer was confined to.
    platform::Rect clip_rect;

    static constexpr const char* kWrongAnswer =
        "Wrong Answer! Your incorrect entry will not unlock this system.";

    // Loaded and not yet released by the right answer: the lock holds the
    // pointer, the keyboard and its window, and no other form takes input.
    bool holding() const;
    // Brings the lock screen forward with the keyboard.
    void take_keyboard();

protected:
    void Form_Load() override;
    void Form_Paint(platform::Painter& p) override;
    void Form_Unload() override;

    bool on_sys_command(platform::SysCommand c) override;
    void on_deactivate() override;

private:
    bool answer_known_ = false;
    void release();
    void refuse(const std::string& typed);
    // Back to the normal state, the size and the place of the load.
    void hold_window();
    // Gives the keyboard to the answer box, or to the window itself while
    // the wrong-answer message stands.
    void focus_keyboard();

    std::optional<platform::TaskKeyBlock> task_keys_;
    int keyboard_checks_ = 0;  // ticks that take the keyboard once more
    platform::Rect home_rect_;
};

// When the alert flag cannot be deleted after the security alert.
inline constexpr const char* kClearAlertError =
    "Error Occurred, possibly as the result of a power failure of the incorrect closing of "
    "windows. Please Quit Kestrova and try again";

// The lock screen's caption: "Kestrova 2.0  (Kestrova is Activated)".
std::string lock_caption();

}  // namespace kv
