// The Advanced window's table of changes held now on the Qt backend (offscreen): its
// header, its cells, a width that follows the window, a refresh that leaves the scroll
// position alone, and a right click that selects the row under the mouse first.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

#include "i18n/TextIds.h"
#include "platform/IProcessApi.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/qt/QtScale.h"
#include "tests/AdvancedTestHost.h"
#include "tests/QtTestUi.h"
#include "ui/frmAdvanced.h"

namespace talvex {
namespace {

using namespace platform;

using Host = testing::NullAdvancedHost;

std::vector<HeldRow> Rows(int count) {
    std::vector<HeldRow> rows;
    for (int i = 0; i < count; ++i) {
        HeldRow row;
        row.lPid = 1000 + i;
        row.sExeName = "prog" + std::to_string(i);
        row.before = NORMAL_PRIORITY_CLASS;
        row.now = IDLE_PRIORITY_CLASS;
        row.reason = HeldReason{HeldWhy::BusyInBackground, 50, "10.12.2026 12:00:00"};
        rows.push_back(row);
    }
    return rows;
}

template <typename Predicate>
bool ProcessUntil(Predicate done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// When the next popup menu opens: notes the row the model has selected, and closes it.
void WhenMenu(std::int32_t& selectedAtMenu, const Control& model) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, &selectedAtMenu, &model] {
        QWidget* menu = QApplication::activePopupWidget();
        if (!menu) return;
        selectedAtMenu = model.ListIndex();
        menu->close();
        poll->deleteLater();
    });
    poll->start(10);
}

class QtHeldTableTest : public ::testing::Test {
  protected:
    QtHeldTableTest() {
        testing::QtTestUi();
        window = std::make_unique<frmAdvanced>(
            frmAdvancedServices{testing::QtTestUi(), engine, strings, log, host});
    }
    ~QtHeldTableTest() override {
        if (window->Loaded()) window->Unload();
    }
    QTreeWidget* Table() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() != "frmAdvanced" || !w->isVisible()) continue;
            if (auto* table = w->findChild<QTreeWidget*>("lstHeld")) return table;
        }
        return nullptr;
    }

    FakeDesktop desk;
    StringTable strings;
    ActionLog log{desk};
    Host host;
    Engine engine{desk, desk, desk, strings, log, host};
    std::unique_ptr<frmAdvanced> window;
};

TEST_F(QtHeldTableTest, HeaderCellsAndAWidthThatFollowsTheWindow) {
    window->Show();
    window->ShowHeld(Rows(3));
    QTreeWidget* table = Table();
    ASSERT_NE(table, nullptr);
    QStringList headers;
    for (int c = 0; c < table->columnCount(); ++c) headers << table->headerItem()->text(c);
    EXPECT_EQ(headers, (QStringList{"Program", "PID", "Lever", "Before", "Now", "Why", "Since"}));
    EXPECT_FALSE(table->header()->isHidden());
    EXPECT_EQ(table->header()->sectionResizeMode(0), QHeaderView::Interactive);
    ASSERT_EQ(table->topLevelItemCount(), 3);
    EXPECT_EQ(table->topLevelItem(2)->text(0), "prog2");
    EXPECT_EQ(table->topLevelItem(2)->text(1), "1002");
    EXPECT_EQ(table->topLevelItem(2)->text(4), "Idle");
    // A column the user widened keeps its width through a refresh and a new language.
    table->setColumnWidth(0, 211);
    window->ShowHeld(Rows(2));
    strings.Store(TextNumber(TextId::HeldColumnProgram), "Programm");
    window->Retranslate();
    EXPECT_EQ(table->headerItem()->text(0), "Programm");
    EXPECT_EQ(table->columnWidth(0), 211);
    EXPECT_EQ(table->topLevelItemCount(), 2);
    // A wider window, a wider table.
    const int before = table->width();
    window->form().NotifyResized(window->form().ClientWidth() + 3000, window->form().Height());
    EXPECT_NEAR(table->width(), before + qt::Px(3000) / 2, 1);
}

TEST_F(QtHeldTableTest, ARightClickSelectsTheRowUnderTheMouseAndARefreshKeepsTheScroll) {
    window->Show();
    window->ShowHeld(Rows(40));
    QTreeWidget* table = Table();
    ASSERT_NE(table, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(table->window()));
    table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
    const int scrolled = table->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    Control& model = window->Ctl("lstHeld");
    for (const int row : {37, 35}) {
        std::int32_t selectedAtMenu = -2;
        WhenMenu(selectedAtMenu, model);
        const QPoint at = table->visualItemRect(table->topLevelItem(row)).center();
        QTest::mousePress(table->viewport(), Qt::RightButton, Qt::NoModifier, at);
        QTest::mouseRelease(table->viewport(), Qt::RightButton, Qt::NoModifier, at);
        ASSERT_TRUE(ProcessUntil([&] { return selectedAtMenu != -2; })) << row;
        EXPECT_EQ(selectedAtMenu, row);
        EXPECT_EQ(window->SelectedHeld()->lPid, 1000 + row);
        EXPECT_EQ(table->currentItem(), table->topLevelItem(row));
    }
    // A refresh that moves the selected row up leaves the user's scroll position alone,
    // even where the row it moved to is out of sight.
    table->verticalScrollBar()->setValue(0);
    std::vector<HeldRow> turned = Rows(40);
    std::rotate(turned.begin(), turned.begin() + 1, turned.end());
    window->ShowHeld(turned);
    EXPECT_EQ(model.ListIndex(), 34);
    EXPECT_EQ(table->currentItem(), table->topLevelItem(34));
    EXPECT_EQ(table->topLevelItem(34)->text(1), "1035");
    EXPECT_EQ(table->verticalScrollBar()->value(), 0);
}

}  // namespace
}  // namespace talvex
