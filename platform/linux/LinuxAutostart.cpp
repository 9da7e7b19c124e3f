#include "platform/linux/LinuxAutostart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "platform/linux/AtomicFile.h"
#include "platform/linux/TextEscapes.h"
#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

namespace {

constexpr unsigned kEntryMode = 0644;

// The first argument of an Exec line whose string escapes are already undone.
std::string FirstExecArgument(const std::string& exec) {
    std::string argument;
    std::size_t i = exec.find_first_not_of(' ');
    if (i == std::string::npos) return {};
    if (exec[i] == '"') {
        for (++i; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
            argument += exec[i];
        }
    } else {
        const auto end = exec.find(' ', i);
        argument = exec.substr(i, end == std::string::npos ? std::string::npos : end - i);
    }
    std::string out;  // "%%" stands for one "%"
    for (std::size_t k = 0; k < argument.size(); ++k) {
        out += argument[k];
        if (argument[k] == '%' && k + 1 < argument.size() && argument[k + 1] == '%') ++k;
    }
    return out;
}

// The raw values of the group [Desktop Entry]; later keys of the same name win.
std::map<std::string, std::string> DesktopEntryGroup(const std::string& text) {
    std::map<std::string, std::string> values;
    bool inGroup = false;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inGroup || equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        key.erase(key.find_last_not_of(' ') + 1);
        const auto valueStart = line.find_first_not_of(' ', equals + 1);
        values[key] = valueStart == std::string::npos ? std::string() : line.substr(valueStart);
    }
    return values;
}

}  // namespace

LinuxAutostart::LinuxAutostart(std::string autostartDir, std::string programPath)
    : m_dir(std::move(autostartDir)), m_programPath(std::move(programPath)) {}

std::unique_ptr<LinuxAutostart> LinuxAutostart::FromEnvironment() {
    const std::string config = xdg::ConfigHome();
    return std::make_unique<LinuxAutostart>(config.empty() ? std::string() : config + "/autostart",
                                            xdg::OwnExecutablePath());
}

std::string LinuxAutostart::EntryPath(const std::string& sName) const {
    if (m_dir.empty() || sName.empty() || sName.find('/') != std::string::npos || sName == "." ||
        sName == "..") {
        return {};
    }
    return m_dir + "/" + sName + ".desktop";
}

std::string LinuxAutostart::QuoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
        if (c == '%') quoted += '%';
    }
    quoted += '"';
    // The escapes of a string value come on top of the quoting.
    return EscapeText(quoted, kDesktopEntryStyle);
}

std::string LinuxAutostart::DesktopEntryText(const std::string& sName,
                                             const std::string& sProgramPath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           EscapeText(sName, kDesktopEntryStyle) +
           "\n"
           "Comment=Raises the priority of the program you work with\n"
           "Exec=" +
           QuoteExecArgument(sProgramPath) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::optional<std::string> LinuxAutostart::ProgramOfEntry(const std::string& text) {
    const auto entry = DesktopEntryGroup(text);
    const auto value = [&](const char* key) {
        const auto found = entry.find(key);
        return found == entry.end() ? std::string() : found->second;
    };
    if (value("Hidden") == "true" || value("X-GNOME-Autostart-enabled") == "false") {
        return std::nullopt;
    }
    std::string program = FirstExecArgument(UnescapeText(value("Exec"), kDesktopEntryStyle));
    if (program.empty()) return std::nullopt;
    return program;
}

bool LinuxAutostart::RegOpenKeyExA(bool bForWriting) {
    if (m_dir.empty()) return false;
    if (bForWriting) return xdg::MakeFolders(m_dir);
    struct stat info {};
    return stat(m_dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool LinuxAutostart::RegSetValueExA(const std::string& sName, const std::string& sCommandPath) {
    const std::string path = EntryPath(sName);
    // An entry without a program would start nothing at every log-in.
    if (path.empty() || sCommandPath.empty()) return false;
    return ReplaceFileContents(path, DesktopEntryText(sName, sCommandPath), kEntryMode);
}

bool LinuxAutostart::RegDeleteValueA(const std::string& sName) {
    const std::string path = EntryPath(sName);
    if (path.empty()) return false;
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::optional<std::string> LinuxAutostart::RegQueryValueExA(const std::string& sName) {
    const std::string path = EntryPath(sName);
    if (path.empty()) return std::nullopt;
    std::string text;
    if (ReadWholeFile(path, text) != ReadResult::Ok) return std::nullopt;
    return ProgramOfEntry(text);
}

}  // namespace talvex::platform
