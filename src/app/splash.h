// The splash window: refuses a second instance and old Windows, shows the
// product texts and, 1.5 s after its first paint, decides what comes next.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "ui/form_base.h"
#include "ui/layouts.h"

namespace kv {

class Form1;

class frmSplash : public RoutedForm<frmSplash, layout::kSplash> {
public:
    // The main window is where the start-up hands over to.
    frmSplash(ProgramState& state, Form1& main) : RoutedForm(state), main_(main) {}

    void Timer2_Timer();

protected:
    void Form_Load() override;
    void Form_Paint(platform::Painter&) override;
    void Form_Unload() override;
    // Closing it would skip the start-up decision, and a locked start would
    // never lock: the decision comes at its time all the same.
    void on_close() override {}

private:
    void open_main_window();
    void start_handover();

    Form1& main_;
};

template <>
struct Routes<frmSplash> : NoRoutes<frmSplash> {
    static constexpr frmSplash::Tick ticks[] = {{"Timer2", run<&frmSplash::Timer2_Timer>}};
};

// The platform label for GetVersionExA's platform id; nothing for ids that
// keep the design text.
std::optional<std::string_view> platform_label(unsigned platform_id);

// When Windows denies this account the stored question: no answer could be
// checked, so the program neither locks nor offers the set-up.
inline constexpr const char* kQuestionDenied =
    "Kestrova cannot read its question and answer: Windows denies this account access to "
    "them, which only an administrator can put right. Right-click Kestrova and choose "
    "\"Run as administrator\", or reinstall it with its setup program.";

// The refusal shown on Windows older than version 4.
std::string old_windows_message();

// The start mode as a number, as the start-up decision reads it: blanks
// around a number are allowed; anything else is not a number.
std::optional<double> start_mode_number(std::string_view login_mode);

}  // namespace kv
