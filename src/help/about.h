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

protected:
    void Form_Load() override;
};

template <>
struct Routes<AboutBox> : NoRoutes<AboutBox> {
    static constexpr AboutBox::Click clicks[] = {{"cmdOK", -1, run<&AboutBox::cmdOK_Click>}};
};

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
