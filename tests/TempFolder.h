#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it.

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace talvex::test {

class TempFolder {
  public:
    TempFolder() {
        static std::atomic<int> counter{0};
        m_path = std::filesystem::temp_directory_path() /
                 ("talvex-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

    /// Writes `contents` byte for byte into a file of this folder and returns its name.
    std::filesystem::path Write(std::string_view name, std::string_view contents) const {
        const std::filesystem::path file = m_path / name;
        std::ofstream out(file, std::ios::binary);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        return file;
    }

  private:
    std::filesystem::path m_path;
};

}  // namespace talvex::test
