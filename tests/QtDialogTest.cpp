// The warning dialog and the Advanced window's text fields on the Qt backend (offscreen
// platform): ticks keep coming while the dialog waits, a close by the window manager
// ends the wait, and the threshold fields filter keys and cap on leaving.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <cstdlib>

#include "platform/fake/FakeDesktop.h"
#include "tests/QtTestUi.h"
#include "ui/frmAdvanced.h"
#include "ui/frmWarning.h"

namespace talvex {
namespace {

using namespace platform;

class QtDialogTest : public ::testing::Test {
  protected:
    static QWidget* Window(const char* name) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == name && widget->isVisible()) return widget;
        }
        return nullptr;
    }
    // Runs `work` with the window once it is shown (from inside the dialog's wait).
    static void WhenShown(const char* name, std::function<void(QWidget*)> work) {
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, [poll, name, work] {
            if (QWidget* window = Window(name)) {
                poll->stop();
                poll->deleteLater();
                work(window);
            }
        });
        poll->start(10);
    }
    static void Key(QWidget* widget, int key, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(widget, &press);
    }

    IUiServices& ui = testing::QtTestUi();
    StringTable strings;
};

TEST_F(QtDialogTest, TicksRunDuringTheWaitAndTheWindowManagersCloseEndsIt) {
    frmWarning dialog(ui, strings);
    auto timer = ui.CreateTimer();
    int ticks = 0, ticksWhenClosed = 0, nestedCalls = 0;
    bool outerDone = false, result = true, noBoost = false, nestedResult = true;
    timer->SetInterval(10);
    timer->OnTimer = [&] {
        ++ticks;
        if (ticks == 1) {
            // The tick that warns waits in the dialog; later ticks must still come.
            result = dialog.Display("Found current app at critical CPU usage", noBoost);
            outerDone = true;
        } else if (ticks == 3) {
            // A tick during the wait warns again: answered at once, no second dialog.
            bool nestedNoBoost = true;
            nestedResult = dialog.Display("again", nestedNoBoost) || nestedNoBoost;
            ++nestedCalls;
        }
    };
    WhenShown("frmWarning", [&](QWidget* window) {
        QTimer::singleShot(200, window, [&, window] {
            ticksWhenClosed = ticks;
            window->findChild<QCheckBox*>("Check1")->click();
            window->close();  // as the window manager's close button does
        });
    });
    timer->SetEnabled(true);
    for (int i = 0; i < 300 && !outerDone; ++i) ui.WaitEvents(10);
    timer->SetEnabled(false);
    ASSERT_TRUE(outerDone);
    EXPECT_FALSE(result);
    EXPECT_TRUE(noBoost);
    EXPECT_GE(ticksWhenClosed, 5);
    EXPECT_EQ(nestedCalls, 1);
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(Window("frmWarning"), nullptr);
    EXPECT_FALSE(dialog.Waiting());
}

TEST_F(QtDialogTest, OkReturnsTheTickedBoxes) {
    frmWarning dialog(ui, strings);
    WhenShown("frmWarning", [](QWidget* window) {
        window->findChild<QCheckBox*>("Check2")->click();
        window->findChild<QAbstractButton*>("OKButton")->click();
    });
    bool noBoost = true;
    EXPECT_TRUE(dialog.Display("msg", noBoost));
    EXPECT_FALSE(noBoost);
}

struct Host : IEngineHost, IAdvancedHost {
    void fEndTalvex() override {}
    void ShowStatusText(const std::string&) override {}
    void PublishTooltip(const std::string&) override {}
    void fRefreshList() override {}
    bool AlwaysOnTop() override { return false; }
    std::int32_t RefreshInterval() override { return 500; }
    bool fSaveSettings() override { return true; }
    std::string GetSetting(const std::string&, const std::string& def) override { return def; }
    void SaveSetting(const std::string&, const std::string&) override {}
};

TEST_F(QtDialogTest, ThresholdFieldsFilterKeysAndCapWhenLeft) {
    FakeDesktop desk;
    ActionLog log(desk);
    Host host;
    Engine engine(desk, desk, desk, strings, log, host);
    frmAdvanced window(frmAdvancedServices{ui, engine, strings, log, host});
    window.Show();
    QCoreApplication::processEvents();
    QWidget* form = Window("frmAdvanced");
    ASSERT_NE(form, nullptr);
    auto* below = form->findChild<QLineEdit*>("txtBelowNormal");
    ASSERT_NE(below, nullptr);
    below->setFocus();
    below->selectAll();
    Key(below, Qt::Key_A, "a");
    Key(below, Qt::Key_V, QString(QChar(22)));  // Ctrl+V as a typed character
    EXPECT_EQ(below->text(), "10");
    Key(below, Qt::Key_9, "9");
    Key(below, Qt::Key_5, "5");
    EXPECT_EQ(below->text(), "95");
    EXPECT_EQ(window.Ctl("txtBelowNormal").Text(), "95");
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(below, &leave);
    EXPECT_EQ(window.Ctl("txtBelowNormal").Text(), "90");
    EXPECT_EQ(window.Ctl("txtIdle").Text(), "91");
    EXPECT_EQ(form->findChild<QLineEdit*>("txtIdle")->text(), "91");
    // Losing the focus to another window is no leaving of the field.
    Key(below, Qt::Key_Backspace, "");
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(below, &away);
    EXPECT_EQ(window.Ctl("txtBelowNormal").Text(), "9");
    EXPECT_EQ(window.Ctl("txtIdle").Text(), "91");
}

}  // namespace
}  // namespace talvex
