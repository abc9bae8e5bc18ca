// The splash window: refuses a second instance and old Windows, shows the
// product texts and, 1.5 s after its first paint, decides what comes next.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "ui/form_base.h"

namespace kv {

class frmSplash : public RoutedForm<frmSplash> {
public:
    explicit frmSplash(Program& p);

    void Timer2_Timer();

    static constexpr std::array<Route<frmSplash>, 0> kClicks{};
    static constexpr std::array<Route<frmSplash>, 0> kMenus{};
    static constexpr Route<frmSplash> kTimers[] = {{"Timer2", -1, &frmSplash::Timer2_Timer}};

protected:
    void Form_Load() override;
    void Form_Paint(platform::Painter&) override;
    void Form_Unload() override;

private:
    void open_main_window();
    void start_handover();
};

// The platform label for GetVersionExA's platform id; nothing for ids that
// keep the design text.
std::optional<std::string_view> platform_label(unsigned platform_id);

// The refusal shown on Windows older than version 4.
std::string old_windows_message();

// The start mode as a number, as the start-up decision reads it: blanks
// around a number are allowed; anything else is not a number.
std::optional<double> start_mode_number(std::string_view login_mode);

}  // namespace kv
