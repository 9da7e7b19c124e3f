#pragma once
// The update check: downloads the version file, compares the published version with
// the program's own and offers the download address when it is newer.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/Version.h"
#include "i18n/StringTable.h"
#include "i18n/TextIds.h"
#include "platform/IHttp.h"
#include "platform/IShell.h"
#include "update/IUpdatePrompt.h"
#include "update/UpdateAddress.h"
#include "update/VersionFile.h"

namespace talvex {

/// What the check works with; owned by the main window.
struct UpdateServices {
    platform::IHttp& Inet1;  // the transfer object
    platform::IShell& shell;
    IUpdatePrompt& prompt;
    const StringTable& strings;
};

/// Where the check looks and what it compares with. The defaults are the build's.
struct UpdateOptions {
    /// The version file's address; empty when this build has no update server.
    std::string sVersionURL = UpdateAddress();
    /// Folder of the temporary file; empty for the user's temporary folder.
    std::filesystem::path tempFolder;
    ProgramVersion own{kVersionMajor, kVersionMinor, kVersionRevision};
};

namespace modDl {

/// The transfer message, shown in both forms of the check.
inline constexpr const char* kTransferError = DefaultText(TextId::TransferError).data();

/// One check, with the services and options it works with.
class UpdateCheck {
  public:
    explicit UpdateCheck(const UpdateServices& services, UpdateOptions options = {});

    /// Looks for a newer version. The automatic form (bVerbose false) speaks only of a
    /// newer version and of a failed transfer; the form on request also says when
    /// there is nothing newer or no version information, and shows the notice.
    /// Returns when every question to the user is answered.
    void CheckForUpdate(bool bVerbose);

    /// Fetches sURL into sFile. False at once, silently, while oInet is busy; false
    /// after the transfer message when the transfer or the write fails.
    bool DownloadFile(platform::IHttp& oInet, const std::string& sURL, const std::string& sFile);

    const UpdateOptions& Options() const { return m_options; }

  private:
    /// The transfer alone: nullopt when oInet is busy (nothing happened).
    std::optional<platform::HttpResponse> Fetch(platform::IHttp& oInet, const std::string& sURL);
    /// Writes a successful answer's body to sFile; false after the transfer message when
    /// the transfer failed or the file could not be written.
    bool WriteBody(const platform::HttpResponse& response, const std::string& sFile);
    VersionInfo FetchVersionInfo();
    void OfferUpdate(const VersionParts& published, const std::string& sDownload);
    std::string OwnVersionText() const;

    UpdateServices m_services;
    UpdateOptions m_options;
};

}  // namespace modDl
}  // namespace talvex
