// The program-wide variables, in one object that tests can create fresh.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

struct ProgramState {
    // 0: the main window's next paint raises the lock screen.
    std::uint8_t main_unlocked = 0;
    // Set by the right answer; cleared by each load of the lock screen.
    bool lock_released = false;
    // A wrong answer was recorded since the last successful unlock.
    bool alert_pending = false;
    // The start mode as read: "1" hidden start, anything else lock at start.
    std::string login_mode;
    // The sibling product's autorun entry exists.
    bool dulcimet_autorun = false;
    // Name of the background colour.
    std::string current_color;
};

}  // namespace kv
