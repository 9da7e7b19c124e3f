// The shipped languages in the real Qt main window (offscreen platform): every
// translated control shows its whole text at the window's designed size.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <cstdlib>

#include "i18n/TranslateTable.h"
#include "platform/fake/FakeDesktop.h"
#include "tests/QtTestUi.h"
#include "ui/frmMain.h"

namespace talvex {
namespace {

using namespace platform;

// Width the widget needs to show its text in one line, in pixels.
int NeededWidth(QWidget* widget) {
    const QFontMetrics metrics = widget->fontMetrics();
    if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget)) {
        return widget->sizeHint().width();
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        // The label is drawn inside the button's frame; it is cut off only when wider
        // than that. Two pixels each side keep it off the frame.
        constexpr int kBreathing = 2;
        return metrics.horizontalAdvance(button->text()) +
               2 * (button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button) +
                    kBreathing);
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return metrics.horizontalAdvance(label->text());
    }
    return 0;
}

TEST(QtLanguageFitTest, EveryTranslatedControlShowsItsWholeText) {
    IUiServices& ui = test::QtTestUi();
    FakeDesktop desk;
    desk.SetCurrentProcess(desk.AddProcess({"/nonexistent/talvex"}));
    StringTable strings;
    ActionLog log{desk};
    {
        frmMain frm(frmMainServices{ui, desk, desk, strings, log, desk});
        frm.m_sLanguageDataFolder = TALVEX_SOURCE_DIR "/lang";
        frm.Form_Load();
        QWidget* window = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "frmMain") window = w;
        }
        ASSERT_NE(window, nullptr);
        for (const char* language : {"DE", "EN", "FR"}) {
            frm.m_sLanguage = language;
            frm.Translate();
            QCoreApplication::processEvents();
            for (const TranslateElement& item : kTranslateElements) {
                if (item.element.kind != ElementKind::Control) continue;
                QString objectName = QString::fromUtf8(item.element.sName.data(),
                                                       static_cast<int>(item.element.sName.size()));
                if (item.element.iIndex >= 0)
                    objectName += QString("(%1)").arg(item.element.iIndex);
                auto* widget = window->findChild<QWidget*>(objectName);
                ASSERT_NE(widget, nullptr) << objectName.toStdString();
                EXPECT_NE(frm.Ctl(std::string(item.element.sName), item.element.iIndex).Caption(),
                          "Translation Error!");
                EXPECT_LE(NeededWidth(widget), widget->width())
                    << language << " " << objectName.toStdString() << ": \""
                    << frm.Ctl(std::string(item.element.sName), item.element.iIndex).Caption()
                    << "\"";
            }
        }
    }
    QCoreApplication::processEvents();
}

}  // namespace
}  // namespace talvex
