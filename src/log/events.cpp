#include "log/events.h"

#include <string>

#include "platform/event_log.h"

namespace kv {

using platform::EventType;

void LockEvents::locked(LockReason why) {
    platform::report_event(EventType::Information, kEventLocked, lock_reason_name(why));
}

void LockEvents::wrong_answer(platform::Result logged) {
    ++wrong_since_unlock_;
    platform::report_event(EventType::Warning, kEventWrongAnswer,
                           std::to_string(wrong_since_unlock_));
    if (!logged)
        platform::report_event(EventType::Error, kEventLogFailed,
                               std::to_string(logged.error()));
}

void LockEvents::unlocked() {
    platform::report_event(EventType::Information, kEventUnlocked,
                           std::to_string(wrong_since_unlock_));
    wrong_since_unlock_ = 0;
}

}  // namespace kv
