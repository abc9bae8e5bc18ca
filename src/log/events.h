// What the lock reports to the system's Application log, for administrators
// who collect the events of many machines. An event never carries what was
// typed (every user of the machine can read the log), and a report that
// fails changes nothing else.
#pragma once

#include <cstdint>

#include "platform/result.h"
#include "ui/lock_reason.h"

namespace kv {

// The event ids, as in the message table of kvstrn.exe.
inline constexpr std::uint32_t kEventWrongAnswer = 1001;  // Warning
inline constexpr std::uint32_t kEventUnlocked = 1002;     // Information
inline constexpr std::uint32_t kEventLocked = 1003;       // Information
inline constexpr std::uint32_t kEventLogFailed = 1004;    // Error

// The lock's events, with the count of wrong answers since the last unlock.
class LockEvents {
public:
    void locked(LockReason why);
    // A wrong answer, with the result of its write to the attempt log; when
    // that failed, also its error.
    void wrong_answer(platform::Result logged);
    void unlocked();

private:
    std::uint32_t wrong_since_unlock_ = 0;
};

}  // namespace kv
