// The program's start, called by the platform's process entry point.
#pragma once

namespace kv {

// Creates the program state and the splash window, then runs the message
// loop until the process ends.
int program_main();

}  // namespace kv
