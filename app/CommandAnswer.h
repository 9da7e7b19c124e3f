#pragma once
// What the program answers to a command line that ends it before any window: the
// help, the version, the undo of earlier runs, or why the command line is refused.

#include "app/CommandLine.h"

namespace talvex::app {

/// Prints the answer `command` asks for and returns the exit code; -1 when the program
/// is to start.
int AnswerCommandLine(const CommandLine& command);

}  // namespace talvex::app
