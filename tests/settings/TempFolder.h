#pragma once
// A fresh folder per test, removed with everything in it afterwards, and a helper that
// runs a piece of a test in a child process.

#include <functional>
#include <string>

namespace talvex::testing {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

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
