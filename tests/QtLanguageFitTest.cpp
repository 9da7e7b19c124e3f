// The shipped languages in the real Qt windows (offscreen platform): every text of the
// main window, the Advanced window and the warning dialog shows whole at the designed
// sizes, wrapped labels included.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <cstdlib>

#include "platform/fake/FakeDesktop.h"
#include "tests/QtTestUi.h"
#include "ui/frmMain.h"

namespace talvex {
namespace {

using namespace platform;

QString Shown(QString text) {
    // The access key's mark is drawn as an underline, not as a character.
    return text.replace(QLatin1String("&&"), QLatin1String("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

// What does not fit in one widget: empty when its whole text shows.
std::string CutOff(QWidget* widget) {
    const QFontMetrics metrics = widget->fontMetrics();
    int needed = 0;
    QString text;
    if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget)) {
        text = static_cast<QAbstractButton*>(widget)->text();
        needed = widget->sizeHint().width();
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        // The label is drawn inside the button's frame; it is cut off only when wider
        // than that. Two pixels each side keep it off the frame.
        constexpr int kBreathing = 2;
        text = button->text();
        needed = metrics.horizontalAdvance(Shown(text)) +
                 2 * (button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button) +
                      kBreathing);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        text = label->text();
        if (label->wordWrap()) {
            // Wrapped: all its lines must fit in its height.
            if (label->heightForWidth(label->width()) > label->height()) {
                return "lines cut off: \"" + text.toStdString() + "\"";
            }
            return {};
        }
        needed = metrics.horizontalAdvance(Shown(text));
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        text = frame->title();
        needed = metrics.horizontalAdvance(Shown(text)) + 16;
    } else {
        return {};
    }
    if (text.isEmpty() || needed <= widget->width()) return {};
    return std::to_string(needed) + " > " + std::to_string(widget->width()) + ": \"" +
           text.toStdString() + "\"";
}

QWidget* Window(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == name && w->isVisible()) return w;
    }
    return nullptr;
}

void ExpectWholeTexts(const char* language, const char* windowName) {
    QWidget* window = Window(windowName);
    ASSERT_NE(window, nullptr) << windowName;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window)) continue;
        if (widget->objectName() == "Label1" && std::string(windowName) == "frmMain") {
            continue;  // the status text: its own lines, set by every tick
        }
        const std::string problem = CutOff(widget);
        EXPECT_TRUE(problem.empty()) << language << " " << windowName << " "
                                     << widget->objectName().toStdString() << ": " << problem;
    }
}

TEST(QtLanguageFitTest, EveryTextOfEveryWindowShowsWhole) {
    IUiServices& ui = testing::QtTestUi();
    FakeDesktop desk;
    desk.SetCurrentProcess(desk.AddProcess({"/nonexistent/talvex"}));
    StringTable strings;
    ActionLog log{desk};
    {
        frmMain frm(frmMainServices{ui, desk, desk, strings, log, desk});
        frm.SetLanguageDataFolder(TALVEX_SOURCE_DIR "/lang");
        frm.Form_Load();
        frm.Ctl("chkAdvanced").SetValue(1);
        frm.mnuPop1Show_Click();
        frm.mnuPop1Advanced_Click();
        for (const char* language : {"DE", "EN", "FR"}) {
            frm.SetLanguage(language);
            frm.Translate();
            QCoreApplication::processEvents();
            EXPECT_EQ(frm.Ctl("chkActive").Caption().find("Translation Error!"), std::string::npos);
            ExpectWholeTexts(language, "frmMain");
            ExpectWholeTexts(language, "frmAdvanced");
            // The warning waits for its answer: look at it from inside the wait.
            bool looked = false;
            QTimer::singleShot(50, [&] {
                ExpectWholeTexts(language, "frmWarning");
                looked = true;
                frm.Warning().OKButton_Click();
            });
            bool noBoost = false;
            frm.Warning().Display("A program kept the processor busy.", noBoost);
            EXPECT_TRUE(looked) << language;
        }
    }
    QCoreApplication::processEvents();
}

}  // namespace
}  // namespace talvex
