#include "platform/fake/FakeSettingsStore.h"

namespace talvex::platform {

std::optional<std::string> FakeSettingsStore::Peek(const std::string& sApp,
                                                   const std::string& sSection,
                                                   const std::string& sKey) const {
    const auto found = m_committed.find({sApp, sSection, sKey});
    if (found == m_committed.end()) return std::nullopt;
    return found->second;
}

std::map<FakeSettingsStore::Key, std::string>& FakeSettingsStore::Working() {
    if (m_depth > 0) return m_pending;
    m_pending = m_committed;
    return m_pending;
}

// Outside an update a single write is its own update.
bool FakeSettingsStore::FinishSingleWrite() {
    if (m_depth > 0) return true;
    if (m_writesFail) return false;
    m_committed = m_pending;
    ++m_commits;
    return true;
}

std::string FakeSettingsStore::GetSettingValue(const std::string& sApp, const std::string& sSection,
                                               const std::string& sKey,
                                               const std::string& sDefault) {
    const auto& source = m_depth > 0 ? m_pending : m_committed;
    const auto found = source.find({sApp, sSection, sKey});
    return found == source.end() ? sDefault : found->second;
}

bool FakeSettingsStore::SaveSettingValue(const std::string& sApp, const std::string& sSection,
                                         const std::string& sKey, const std::string& sValue) {
    Working()[{sApp, sSection, sKey}] = sValue;
    return FinishSingleWrite();
}

bool FakeSettingsStore::DeleteSettingValue(const std::string& sApp, const std::string& sSection,
                                           const std::string& sKey) {
    Working().erase({sApp, sSection, sKey});
    return FinishSingleWrite();
}

void FakeSettingsStore::BeginUpdate() {
    if (m_depth++ == 0) m_pending = m_committed;
}

bool FakeSettingsStore::CommitUpdate() {
    if (m_depth == 0) return true;
    if (--m_depth > 0) return true;
    if (m_writesFail) return false;
    m_committed = m_pending;
    ++m_commits;
    return true;
}

}  // namespace talvex::platform
