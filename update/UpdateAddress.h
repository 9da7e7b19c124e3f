#pragma once
// Where the version file is published: fixed when the program is built (the CMake
// setting TALVEX_UPDATE_URL). Empty in a build without an update server.

#include <string>

namespace talvex {

std::string UpdateAddress();

}  // namespace talvex
