// The program-wide variables, in one object that tests can create fresh.
// Only what several parts share by design lives here; everything else
// belongs to the part that uses it (the log its path, the start-up options
// the start mode and the sibling's autorun entry, the colours the current
// colour, the lock screen whether it was answered and whether the security
// alert is due).
#pragma once

#include <cstdint>

namespace kv {

struct ProgramState {
    // 0: the main window's next paint raises the lock screen.
    //   Set to 0 by the splash's load, lock-and-hide (Form1::lock_and_hide),
    //   the start-up hand-over after it showed the main window, and the
    //   answer to a lock that came while the user was away from a main
    //   window waiting for Pause (Form1::after_unlock).
    //   Set to 1 by the main window's paint (raising the lock, or the
    //   first-run set-up), the hand-over before it shows a window, and the
    //   lock screen's release.
    //   Read by the main window's paint, input and away locks, and the lock
    //   screen's release.
    std::uint8_t main_unlocked = 0;
};

}  // namespace kv
