// The program's start. The back end's process entry point calls it; the
// program (app/) defines it.
#pragma once

#include <string_view>

namespace kv {

// Carries out a command of the command line (without the program's name),
// or creates the program state and the splash window and runs the message
// loop until the process ends. The process's exit code.
int program_main(std::string_view command_line);

}  // namespace kv
