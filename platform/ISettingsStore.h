#pragma once
// The per-user settings store: application, section and key to a text value.

#include <string>

namespace talvex::platform {

class ISettingsStore {
  public:
    virtual ~ISettingsStore() = default;

    /// The stored text, or sDefault when the key does not exist. A key that holds the
    /// empty text yields the empty text. A store that cannot be read gives sDefault.
    virtual std::string GetSettingValue(const std::string& sApp, const std::string& sSection,
                                        const std::string& sKey, const std::string& sDefault) = 0;
    /// Creates or overwrites the key. False when the store could not be written; the
    /// previous contents then stay as they were.
    virtual bool SaveSettingValue(const std::string& sApp, const std::string& sSection,
                                  const std::string& sKey, const std::string& sValue) = 0;
    /// Removes the key; true also when it did not exist. False when the store could not
    /// be written.
    virtual bool DeleteSettingValue(const std::string& sApp, const std::string& sSection,
                                    const std::string& sKey) = 0;

    /// Collects the writes and deletions that follow until CommitUpdate, so that they
    /// reach the store together or not at all. Calls may nest; the outermost commit
    /// writes. Inside an update, writes report success and reads see them.
    virtual void BeginUpdate() = 0;
    /// Ends an update. The outermost call writes everything collected and returns false
    /// when that failed, leaving the store as it was before BeginUpdate.
    virtual bool CommitUpdate() = 0;
};

}  // namespace talvex::platform
