#include "app/program.h"

#include "platform/entry.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "ui/maker.h"

namespace kv {

Program::Program()
    : about_(*this),
      form1_(*this, form4_, about_, splash_),
      form4_(*this, form1_, form1_.lock_parts()),
      splash_(*this, form1_) {}

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

int program_main(std::string_view command_line) {
    // An elevated copy started to change autorun does that alone: no window,
    // and no instance that would stand in the way of the one that started it.
    if (const auto code = StartupMenu::run_command(command_line))
        return static_cast<int>(*code);
    Program program;
    program.start();
    return platform::run_message_loop();
}

}  // namespace kv
