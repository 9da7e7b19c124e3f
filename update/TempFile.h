#pragma once
// A file of the update check's own in the user's temporary folder: created new under
// a name nobody else uses, removed when the object goes, whatever happened meanwhile.

#include <filesystem>

namespace talvex {

class TempFile {
  public:
    /// Creates a new, empty file in folder (the user's temporary folder when empty).
    /// Path() is empty when no file could be created.
    explicit TempFile(const std::filesystem::path& folder = {});
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    /// Deletes the file now; a failure is not reported.
    void Remove() noexcept;

  private:
    std::filesystem::path m_path;
};

}  // namespace talvex
