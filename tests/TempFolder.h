#pragma once
// A fresh folder of the test's own under the system's temporary folder, removed with
// everything in it afterwards (rights the test took away are given back first).

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

namespace talvex::testing {

class TempFolder {
  public:
    TempFolder() {
        // A new name until one is free: create_directory says whether it made the folder.
        std::random_device seed;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / ("talvex-test-" + std::to_string(seed()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) {
                m_path = candidate;
                return;
            }
        }
        throw std::runtime_error("no temporary folder could be made");
    }
    ~TempFolder() {
        namespace fs = std::filesystem;
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(m_path, error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (it->is_directory() && !it->is_symlink()) {
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
            }
        }
        fs::remove_all(m_path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    /// The full name of `name` inside the folder.
    std::string operator/(std::string_view name) const { return (m_path / name).string(); }
    /// Whether the folder holds nothing.
    bool Empty() const { return std::filesystem::is_empty(m_path); }

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

}  // namespace talvex::testing
