#include "platform/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace talvex::platform {

bool CreateNewFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace talvex::platform
