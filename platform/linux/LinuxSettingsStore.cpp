#include "platform/linux/LinuxSettingsStore.h"

#include "platform/linux/AtomicFile.h"
#include "platform/linux/XdgPaths.h"

namespace talvex::platform {

namespace {

// Settings are the user's own business: nobody else reads them.
constexpr unsigned kFileMode = 0600;

bool UsableName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

// Runs one operation as an update of its own unless an update is already open.
class UpdateScope {
  public:
    explicit UpdateScope(ISettingsStore& store) : m_store(store) { m_store.BeginUpdate(); }
    ~UpdateScope() {
        if (!m_done) m_store.CommitUpdate();
    }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;
    bool Commit() {
        m_done = true;
        return m_store.CommitUpdate();
    }

  private:
    ISettingsStore& m_store;
    bool m_done = false;
};

}  // namespace

LinuxSettingsStore::LinuxSettingsStore(std::string configHome)
    : m_configHome(std::move(configHome)) {}

std::unique_ptr<LinuxSettingsStore> LinuxSettingsStore::FromEnvironment() {
    return std::make_unique<LinuxSettingsStore>(xdg::ConfigHome());
}

std::string LinuxSettingsStore::FilePath(const std::string& sApp,
                                         const std::string& sSection) const {
    if (m_configHome.empty() || !UsableName(sApp) || !UsableName(sSection)) return {};
    return m_configHome + "/" + sApp + "/" + sSection + ".conf";
}

LinuxSettingsStore::LoadedFile* LinuxSettingsStore::Load(const std::string& sApp,
                                                         const std::string& sSection) {
    const std::string path = FilePath(sApp, sSection);
    if (path.empty()) return nullptr;
    const auto found = m_files.find(path);
    if (found != m_files.end()) return &found->second;
    LoadedFile& file = m_files[path];
    std::string text;
    const ReadResult result = ReadWholeFile(path, text);
    file.readable = result != ReadResult::Failed;
    if (result == ReadResult::Ok) file.doc = IniDocument::Parse(text);
    return &file;
}

std::string LinuxSettingsStore::GetSettingValue(const std::string& sApp,
                                                const std::string& sSection,
                                                const std::string& sKey,
                                                const std::string& sDefault) {
    UpdateScope scope(*this);
    const LoadedFile* file = Load(sApp, sSection);
    if (!file) return sDefault;
    const std::string* value = file->doc.Get(sSection, sKey);
    return value ? *value : sDefault;
}

bool LinuxSettingsStore::Change(const std::string& sApp, const std::string& sSection,
                                const std::function<void(IniDocument&)>& change) {
    UpdateScope scope(*this);
    LoadedFile* file = Load(sApp, sSection);
    // A file that exists but cannot be read is never overwritten: its other keys would
    // be lost.
    if (!file || !file->readable) {
        m_failed = true;
        scope.Commit();
        return false;
    }
    change(file->doc);
    file->changed = true;
    return scope.Commit();
}

bool LinuxSettingsStore::SaveSettingValue(const std::string& sApp, const std::string& sSection,
                                          const std::string& sKey, const std::string& sValue) {
    return Change(sApp, sSection, [&](IniDocument& doc) { doc.Set(sSection, sKey, sValue); });
}

bool LinuxSettingsStore::DeleteSettingValue(const std::string& sApp, const std::string& sSection,
                                            const std::string& sKey) {
    return Change(sApp, sSection, [&](IniDocument& doc) { doc.Erase(sSection, sKey); });
}

void LinuxSettingsStore::BeginUpdate() {
    ++m_depth;
}

bool LinuxSettingsStore::CommitUpdate() {
    if (m_depth == 0) return true;
    if (--m_depth > 0) return !m_failed;
    bool ok = !m_failed;
    if (ok) {
        for (const auto& [path, file] : m_files) {
            if (!file.changed) continue;
            if (!ReplaceFileContents(path, file.doc.Serialize(), kFileMode, m_beforeReplace)) {
                ok = false;
            }
        }
    }
    // The next update reads the files again, so writes of other copies are seen.
    m_files.clear();
    m_failed = false;
    return ok;
}

}  // namespace talvex::platform
