#pragma once
// The command line and the console of a program without a console window of its own.
// Nothing here includes a Windows header.

#include <string>
#include <vector>

namespace talvex::platform::win32 {

/// The program's arguments after its name, as UTF-8 (CommandLineToArgvW, so any
/// character of a Windows name comes through).
std::vector<std::string> ProgramArguments();

/// Writes the standard output and error to the console of the program that started
/// this one (a command prompt) when they lead nowhere, as they do for a windowed
/// program; left as they are when redirected to a file or a pipe.
void AnswerOnParentConsole();

}  // namespace talvex::platform::win32
