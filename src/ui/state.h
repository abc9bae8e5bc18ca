// The program-wide variables, in one object that tests can create fresh.
// Only what several parts share by design lives here; everything else
// belongs to the part that uses it (the log its path, the start-up options
// the start mode and the sibling's autorun entry, the colours the current
// colour).
#pragma once

#include <cstdint>

namespace kv {

struct ProgramState {
    // 0: the main window's next paint raises the lock screen.
    //   Set to 0 by the splash's load, lock-and-hide (Form1::lock_and_hide)
    //   and the start-up hand-over after it showed the main window.
    //   Set to 1 by the main window's paint (raising the lock, or the
    //   first-run set-up), the hand-over before it shows a window, and the
    //   lock screen's release.
    //   Read by the main window's paint and the lock screen's release.
    std::uint8_t main_unlocked = 0;
    // The right answer was typed on the lock screen now loaded.
    //   Set by Form4::release; cleared by each load of the lock screen.
    //   Read by Form4::holding and Form1::show_after_lock.
    bool lock_released = false;
    // A wrong answer was recorded since the last successful unlock.
    //   Set by Form4::refuse and, from the stored "Status", Form4::release;
    //   cleared by the lock screen's load and before its security alert.
    //   Read by Form4::release.
    bool alert_pending = false;
};

}  // namespace kv
