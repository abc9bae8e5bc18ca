// The About window, filled from the version resource.
#pragma once

#include <array>

#include "ui/form_base.h"
#include "ui/layouts.h"
#include "ui/main_window.h"

namespace kv {

class AboutBox : public RoutedForm<AboutBox, layout::kAboutBox> {
public:
    explicit AboutBox(ProgramState& state) : RoutedForm(state) {}

    void cmdOK_Click();

    static const std::array<Click, 1> kClicks;
    static const std::array<Choice, 0> kMenus;
    static const std::array<Tick, 0> kTimers;

protected:
    void Form_Load() override;
};

inline constexpr std::array<AboutBox::Click, 1> AboutBox::kClicks{{
    {"cmdOK", -1, &AboutBox::cmdOK_Click},
}};
inline constexpr std::array<AboutBox::Choice, 0> AboutBox::kMenus{};
inline constexpr std::array<AboutBox::Tick, 0> AboutBox::kTimers{};

// The Help menu as the main window carries it.
class HelpMenu {
public:
    HelpMenu(MainWindow& main, AboutBox& about) : main_(main), about_(about) {}

    // "About Kestrova": the About window, modal.
    void abtDulcimet_Click();
    // "Orvane &Online": the maker's web site in the default browser.
    void mnuOnline_Click();
    // "Send email to Orvane Tech Support": a new message to support.
    void mnuEmail_Click();

private:
    MainWindow& main_;
    AboutBox& about_;
};

}  // namespace kv
