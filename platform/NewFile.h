#pragma once
// Creating a file that did not exist before: nobody can have put a file, or a link to
// one, under the name beforehand and have the program write into it.

#include <filesystem>

namespace talvex::platform {

/// Creates the empty file `path`; false when anything already has that name or the
/// file cannot be created.
bool CreateNewFile(const std::filesystem::path& path);

}  // namespace talvex::platform
