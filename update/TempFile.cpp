#include "update/TempFile.h"

#include <random>
#include <string>
#include <system_error>

#include "platform/NewFile.h"

namespace talvex {

namespace {

std::string RandomSuffix() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::uint64_t value = generator();
    std::string suffix;
    for (int i = 0; i < 16; ++i, value >>= 4) suffix.push_back(kDigits[value & 0xF]);
    return suffix;
}

}  // namespace

TempFile::TempFile(const std::filesystem::path& folder) {
    std::error_code error;
    const std::filesystem::path base =
        folder.empty() ? std::filesystem::temp_directory_path(error) : folder;
    if (error || base.empty()) return;
    // Only a name that nothing (not even a link) has yet, so nobody can point the
    // check at a file of their choosing.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::filesystem::path candidate = base / ("talvex-update-" + RandomSuffix() + ".ver");
        if (platform::CreateNewFile(candidate)) {
            m_path = candidate;
            return;
        }
    }
}

TempFile::~TempFile() {
    Remove();
}

void TempFile::Remove() noexcept {
    if (m_path.empty()) return;
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
    m_path.clear();
}

}  // namespace talvex
