// The program's start. The back end's process entry point calls it; the
// program (app/) defines it.
#pragma once

namespace kv {

// Creates the program state and the splash window, then runs the message
// loop until the process ends.
int program_main();

}  // namespace kv
