#pragma once
// What the settings tests share: whole files read and written, and a piece of a test
// run in a child process, with or without root rights.

#include <functional>
#include <string>

#include "tests/TempFolder.h"

namespace talvex::testing {

/// Whole contents of a file; empty when it cannot be read.
std::string ReadText(const std::string& path);
/// Writes a file, creating it.
void WriteText(const std::string& path, const std::string& text);

/// Runs `body` in a forked child and returns its wait status. The child ends with
/// body's return value as exit code.
int RunInChild(const std::function<int()>& body);
/// Gives up root rights in a child (to the user nobody), so that file permissions
/// apply as they do to an ordinary user. Does nothing when not root.
bool DropRootRights();

}  // namespace talvex::testing
