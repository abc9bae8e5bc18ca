// Events to the Application log through the registered source "Kestrova"
// (the installers write its key, with kvstrn.exe as the message file).
#include <windows.h>

#include <string>

#include "platform/event_log.h"
#include "platform/win32/handles.h"

namespace kv::platform {

bool report_event(EventType type, std::uint32_t id, std::string_view text) {
    const win32::EventSource source(RegisterEventSourceW(nullptr, L"Kestrova"));
    if (!source) return false;
    std::wstring wide(text.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    LPCWSTR strings[] = {wide.c_str()};
    return ReportEventW(source.get(), static_cast<WORD>(type), 0, id, nullptr, 1, 0, strings,
                        nullptr) != FALSE;
}

}  // namespace kv::platform
