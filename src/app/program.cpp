#include "app/program.h"

#include "app/entry.h"
#include "app/form1.h"
#include "ui/maker.h"
#include "app/splash.h"
#include "help/about.h"
#include "lock/form4.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace kv {

Program::Program()
    : splash_(std::make_unique<frmSplash>(*this)),
      form1_(std::make_unique<Form1>(*this)),
      form4_(std::make_unique<Form4>(*this)),
      about_(std::make_unique<AboutBox>(*this)) {}

Program::~Program() = default;

void Program::start() {
    splash().Show();
    // Without its first window there is nothing the program can show.
    if (!splash().loaded()) {
        platform::message_box(
            "Kestrova could not open its window. Close some programs and start it again.",
            platform::kMbOkStop, KV_APP_TITLE);
        platform::end_process();
    }
}

std::string version_text() {
    const auto v = platform::version_info();
    return "Version " + std::to_string(v.major) + "." + std::to_string(v.minor);
}

std::string title_with_version() {
    const auto v = platform::version_info();
    return std::string(KV_APP_TITLE) + " " + std::to_string(v.major) + "." +
           std::to_string(v.minor);
}

int program_main() {
    Program program;
    program.start();
    return platform::run_message_loop();
}

}  // namespace kv
