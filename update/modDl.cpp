#include "update/modDl.h"

#include <fstream>
#include <iterator>
#include <optional>

#include "base/RunQuietly.h"
#include "i18n/Utf8Path.h"
#include "update/TempFile.h"
#include "update/modShell.h"

namespace talvex::modDl {

namespace {
// Ids of the check's texts in the string table.

constexpr std::int16_t kVerbOpen = 1;
}  // namespace

UpdateCheck::UpdateCheck(const UpdateServices& services, UpdateOptions options)
    : m_services(services), m_options(std::move(options)) {}

std::optional<platform::HttpResponse> UpdateCheck::Fetch(platform::IHttp& oInet,
                                                         const std::string& sURL) {
    if (oInet.StillExecuting()) return std::nullopt;
    try {
        platform::HttpResponse response = oInet.OpenURL(sURL);
        if (response.status == platform::HttpStatus::Busy) return std::nullopt;
        return response;
    } catch (const std::exception&) {
        return platform::HttpResponse{};
    }
}

bool UpdateCheck::WriteBody(const platform::HttpResponse& response, const std::string& sFile) {
    bool written = false;
    try {
        if (response.Ok() && !sFile.empty()) {
            std::ofstream out(Utf8ToPath(sFile), std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(response.body.data()),
                      static_cast<std::streamsize>(response.body.size()));
            out.close();
            written = !out.fail();
        }
    } catch (const std::exception&) {
        written = false;
    }
    if (!written) {
        m_services.prompt.Inform(m_services.strings.Lang(TextId::TransferError),
                                 PromptIcon::Information, "");
    }
    return written;
}

bool UpdateCheck::DownloadFile(platform::IHttp& oInet, const std::string& sURL,
                               const std::string& sFile) {
    const auto response = Fetch(oInet, sURL);
    return response && WriteBody(*response, sFile);
}

VersionInfo UpdateCheck::FetchVersionInfo() {
    // A build without an update server has nothing to fetch; that is no transfer error.
    if (m_options.sVersionURL.empty()) return {};
    // Events run during the transfer, and the program may end from one of them at
    // once: the temporary file is made only once the answer is here, so that an end
    // in the middle of the transfer leaves nothing behind.
    const auto response = Fetch(m_services.Inet1, m_options.sVersionURL);
    if (!response) return {};
    TempFile temp(m_options.tempFolder);
    WriteBody(*response, PathToUtf8(temp.Path()));
    VersionInfo info;
    // An unreadable file leaves the check with the values it has.
    RunQuietly("FetchVersionInfo", [&] {
        std::ifstream in(temp.Path(), std::ios::binary);
        if (in) {
            const std::string bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
            info = ParseVersionFile(bytes);
        }
    });
    temp.Remove();
    return info;
}

void UpdateCheck::CheckForUpdate(bool bVerbose) {
    const VersionInfo info = FetchVersionInfo();
    const VersionParts published = SplitVersion(info.sCurrentVersion);
    const StringTable& strings = m_services.strings;
    // Only a readable version with a web address counts: the server (or anybody on
    // the way) must never get Talvex to start a local program.
    std::optional<bool> newer;
    if (!info.sCurrentVersion.empty() && IsWebAddress(info.sDownload)) {
        newer = IsNewerVersion(published, m_options.own);
    }
    if (!newer) {
        if (bVerbose) {
            m_services.prompt.Inform(strings.Lang(TextId::NoVersionData), PromptIcon::Error, "");
        }
        return;
    }
    if (!info.sMessage.empty() && NoticeShown(info.iErrorMode, bVerbose, *newer)) {
        m_services.prompt.Inform(info.sMessage, PromptIcon::Information, "");
    }
    if (*newer) {
        OfferUpdate(published, info.sDownload);
    } else if (bVerbose) {
        m_services.prompt.Inform(
            strings.Lang(TextId::NoUpdate) + strings.Lang(TextId::NoUpdateEnd, true),
            PromptIcon::Information, strings.Lang(TextId::NoUpdate));
    }
}

void UpdateCheck::OfferUpdate(const VersionParts& published, const std::string& sDownload) {
    const StringTable& strings = m_services.strings;
    const std::string sPublished = published.sMajor.value_or("") + "." +
                                   published.sMinor.value_or("") + "." + published.sRevision;
    const std::string sQuestion = strings.Lang(TextId::PublishedVersion) + sPublished + "\r\n" +
                                  strings.Lang(TextId::OwnVersion) + OwnVersionText() + "\r\n\r\n" +
                                  strings.Lang(TextId::UpdateQuestion) +
                                  strings.Lang(TextId::UpdateQuestionEnd, true);
    if (m_services.prompt.Ask(sQuestion, strings.Lang(TextId::UpdateQuestion))) {
        modShell::ShellOpen(m_services.shell, sDownload, kVerbOpen, "", "", platform::SW_SHOW);
    }
}

std::string UpdateCheck::OwnVersionText() const {
    const ProgramVersion& own = m_options.own;
    return std::to_string(own.major) + "." + std::to_string(own.minor) + "." +
           std::to_string(own.revision);
}

}  // namespace talvex::modDl
