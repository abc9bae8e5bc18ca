// Why a lock screen came: the key or button, the start, the user away
// (no input for the set time, or the machine about to sleep), or a lock
// screen coming back after something closed it.
#pragma once

namespace kv {

enum class LockReason { Key, Start, Idle, Sleep, Comeback };

// "key", "start", "idle", "sleep", "comeback".
constexpr const char* lock_reason_name(LockReason r) {
    switch (r) {
        case LockReason::Key:
            return "key";
        case LockReason::Start:
            return "start";
        case LockReason::Idle:
            return "idle";
        case LockReason::Sleep:
            return "sleep";
        case LockReason::Comeback:
            return "comeback";
    }
    return "key";
}

}  // namespace kv
