#include "ui/version.h"

#include "platform/system.h"
#include "ui/maker.h"

namespace kv {

std::string version_text() {
    const auto v = platform::version_info();
    return "Version " + std::to_string(v.major) + "." + std::to_string(v.minor);
}

std::string title_with_version() {
    const auto v = platform::version_info();
    return std::string(KV_APP_TITLE) + " " + std::to_string(v.major) + "." +
           std::to_string(v.minor);
}

}  // namespace kv
