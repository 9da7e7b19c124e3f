// The whole way on the Qt backends: the real main window on Qt's offscreen platform,
// the Qt transfer against a server on 127.0.0.1, and a real message box answered with
// Yes. The shell is the recording one, so no browser starts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeShell.h"
#include "platform/qt/net/QtNet.h"
#include "tests/LocalHttpServer.h"
#include "tests/QtTestUi.h"
#include "tests/TempFolder.h"
#include "tests/UpdateTestSupport.h"
#include "ui/frmMain.h"

namespace talvex {
namespace {

using namespace platform;

constexpr const char* kVersionPath = "/download/talvex_setup.zip.ver";
constexpr const char* kDownload = "https://example.org/talvex/talvex_setup.zip";

/// Clicks `button` of the next message box once it is open; records its text.
void AnswerNextBox(QMessageBox::StandardButton button, QString& text) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, button, &text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        poll->stop();
        poll->deleteLater();
        text = box->text();
        box->button(button)->click();
    });
    poll->start(10);
}

TEST(QtUpdateTest, BuildPointedAtAServerOffersTheNewerVersionAndOpensItOnYes) {
    testing::LocalHttpServer server;
    server.SetBody(kVersionPath, "Current Version=1.2.0\r\nDownload=" + std::string(kDownload) +
                                     "\r\nMessage=Ignored by the automatic check\r\nError=1\r\n");
    testing::TempFolder folder;
    testing::TempFolder languages;
    FakeDesktop desk;
    desk.SetCurrentProcess(desk.AddProcess({"/opt/talvex/talvex"}));
    StringTable strings = testing::UpdateTexts();
    ActionLog log{desk};
    IUiServices& ui = testing::QtTestUi();
    {
        auto http = CreateQtHttp();
        FakeShell shell;
        frmMainServices services{ui, desk, desk, strings, log, desk};
        services.Inet1 = http.get();
        services.shell = &shell;
        services.update.sVersionURL = server.Url(kVersionPath);
        services.update.tempFolder = folder.Path();
        frmMain frm(services);
        testing::WriteUpdateLanguageFile(languages.Path());
        frm.SetLanguageDataFolder(languages.Path().string());

        QString question;
        AnswerNextBox(QMessageBox::Yes, question);
        frm.Form_Load();  // start-up waits here for the answer
        // The Qt box shows the text's Windows line ends as plain line breaks.
        EXPECT_EQ(question.toStdString(),
                  "New version: 1.2.0\nYour version: 1.1.0\n\n"
                  "Update now? The download page opens.");
        ASSERT_EQ(shell.Calls().size(), 1u);
        EXPECT_EQ(shell.Calls()[0].sVerb, "open");
        EXPECT_EQ(shell.Calls()[0].sFile, kDownload);
        EXPECT_TRUE(frm.tmrRefresh().Enabled());
        EXPECT_TRUE(folder.Empty());
        EXPECT_EQ(server.RequestCount(kVersionPath), 1);
    }
}

}  // namespace
}  // namespace talvex
