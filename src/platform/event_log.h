// The system's Application event log, where administrators collect what
// happens on many machines in one place.
#pragma once

#include <cstdint>
#include <string_view>

namespace kv::platform {

// The event types, by their Windows values (EVENTLOG_*_TYPE).
enum class EventType : std::uint16_t { Error = 1, Warning = 2, Information = 4 };

// ReportEventW to the Application log under the source "Kestrova", category
// 0, with one insertion string. The message texts are the message table of
// kvstrn.exe. False when the event could not be reported; nothing else
// happens then.
bool report_event(EventType type, std::uint32_t id, std::string_view text);

}  // namespace kv::platform
