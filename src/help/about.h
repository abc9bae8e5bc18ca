// The About window, filled from the version resource.
#pragma once

#include <array>

#include "ui/form_base.h"

namespace kv {

class AboutBox : public RoutedForm<AboutBox> {
public:
    explicit AboutBox(Program& p);

    void cmdOK_Click();

    static constexpr std::array<Route<AboutBox>, 1> kClicks{{
        {"cmdOK", -1, &AboutBox::cmdOK_Click},
    }};
    static constexpr std::array<Route<AboutBox>, 0> kMenus{};
    static constexpr std::array<Route<AboutBox>, 0> kTimers{};

protected:
    void Form_Load() override;
};

}  // namespace kv
