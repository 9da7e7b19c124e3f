// Shell-open through Qt's desktop services, which use the desktop's own handler
// (xdg-open, the portal in a sandbox). Without a GUI application object xdg-open is
// started directly. Parameters, working folder and show state have no meaning for
// these handlers and are not passed on.
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QStringList>
#include <QUrl>
#include <memory>

#include "platform/qt/net/QtNet.h"

namespace talvex::platform {

namespace {

/// An absolute path becomes a file address; anything else must be a whole address.
QUrl ToUrl(const std::string& sFile) {
    const QString text = QString::fromStdString(sFile);
    if (text.startsWith(QLatin1Char('/'))) return QUrl::fromLocalFile(text);
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) return QUrl();
    return url;
}

class QtShell final : public IShell {
  public:
    std::int32_t ShellExecute(const std::string& sVerb, const std::string& sFile,
                              const std::string&, const std::string&, std::int32_t) override {
        // Opening is all the desktop's handlers offer; explore opens a folder the same way.
        if (!sVerb.empty() && sVerb != "open" && sVerb != "explore") return SE_ERR_NOASSOC;
        const QUrl url = ToUrl(sFile);
        if (url.isEmpty()) return SE_ERR_FNF;
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
            return QDesktopServices::openUrl(url) ? kShellOk : SE_ERR_NOASSOC;
        }
        const QStringList arguments{url.toString(QUrl::FullyEncoded)};
        return QProcess::startDetached(QStringLiteral("xdg-open"), arguments) ? kShellOk
                                                                              : SE_ERR_NOASSOC;
    }
};

}  // namespace

std::unique_ptr<IShell> CreateQtShell() {
    return std::make_unique<QtShell>();
}

}  // namespace talvex::platform
