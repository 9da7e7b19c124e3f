// The Qt backend with the real main window on the offscreen platform: widgets at their
// places, clicks reaching the handlers, the real popup menus and modal boxes, the
// timer, the pictures, and termination signals turned into close requests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "base/Trace.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/qt/QtArtwork.h"
#include "platform/qt/QtScale.h"
#include "platform/qt/QtTermination.h"
#include "tests/EngineTestSupport.h"
#include "tests/QtTestUi.h"
#include "ui/frmMain.h"

namespace talvex {
namespace {

using namespace platform;

IUiServices& Ui() {
    return testing::QtTestUi();
}

// Runs the event loop until `done` holds or two seconds have passed.
template <typename Predicate>
bool ProcessUntil(Predicate done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// Does `work` with the popup or modal box that opens next, from inside its own loop.
void WhenOpen(std::function<QWidget*()> find, std::function<void(QWidget*)> work) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, find, work] {
        if (QWidget* widget = find()) {
            poll->stop();
            poll->deleteLater();
            work(widget);
        }
    });
    poll->start(10);
}

QWidget* ActivePopup() {
    return QApplication::activePopupWidget();
}
QWidget* ActiveModal() {
    return QApplication::activeModalWidget();
}

class QtUiSmokeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Ui();
        self = desk.AddProcess({"/opt/talvex/talvex"});
        desk.SetCurrentProcess(self);
        frm = std::make_unique<frmMain>(frmMainServices{Ui(), desk, desk, strings, log, desk});
        frm->SetLanguageDataFolder(TALVEX_SOURCE_DIR "/lang");
        frm->Form_Load();
        QCoreApplication::processEvents();
        window = FindWindow();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        frm.reset();
        QCoreApplication::processEvents();
    }
    static QWidget* FindWindow() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "frmMain") return w;
        }
        return nullptr;
    }
    template <typename W>
    W* Child(const char* name) {
        return window->findChild<W*>(name);
    }
    // A main form of the test's own: its close requests are recorded and refused.
    static std::unique_ptr<Form> RecordingMainForm(std::vector<CloseReason>& reasons) {
        auto form = Ui().CreateForm("frmSignals");
        form->OnQueryUnload = [&reasons](bool& cancel, CloseReason reason) {
            reasons.push_back(reason);
            cancel = true;
        };
        Ui().SetMainForm(form.get());
        return form;
    }

    FakeDesktop desk;
    StringTable strings;
    ActionLog log{desk};
    std::int32_t self = 0;
    std::unique_ptr<frmMain> frm;
    QWidget* window = nullptr;
};

TEST_F(QtUiSmokeTest, MainWindowHasEveryControlAtItsPlace) {
    using qt::Px;
    EXPECT_EQ(window->windowTitle(), "Talvex 1.1.0");
    EXPECT_EQ(window->size(), QSize(Px(5610), Px(3375 - qt::kNonClientTwips)));
    for (const auto& control : frm->form().Controls()) {
        const QString name = QString::fromStdString(control->Name()) +
                             (control->Index() >= 0 ? QString("(%1)").arg(control->Index()) : "");
        EXPECT_NE(window->findChild<QWidget*>(name), nullptr) << name.toStdString();
    }
    auto* label1 = Child<QLabel>("Label1");
    ASSERT_NE(label1, nullptr);
    // The offscreen desktop has no notification area: the Menu button takes the status
    // text's top right corner.
    ASSERT_FALSE(Ui().IsTrayAvailable());
    EXPECT_EQ(label1->geometry(), QRect(Px(1320), Px(360), Px(3360), Px(1455)));
    EXPECT_TRUE(Child<QWidget>("cmdMenu")->isVisibleTo(window));
    EXPECT_EQ(Child<QCheckBox>("chkAutostart")->geometry(),
              QRect(Px(1485), Px(5355), Px(3960), Px(240)));
    EXPECT_TRUE(Child<QCheckBox>("chkActive")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>("Option1(1)")->isChecked());
    EXPECT_FALSE(Child<QWidget>("Image2")->isVisibleTo(window));
    // The simple view: what lies below its edge is hidden, the flags too.
    EXPECT_FALSE(Child<QWidget>("imgGer")->isVisibleTo(window));
    Child<QCheckBox>("chkAdvanced")->click();
    EXPECT_TRUE(Child<QWidget>("imgGer")->isVisibleTo(window));
}

TEST_F(QtUiSmokeTest, ClicksOnWidgetsRunTheHandlers) {
    Child<QCheckBox>("chkAdvanced")->click();
    EXPECT_TRUE(frm->AdvancedView());
    EXPECT_EQ(window->height(), qt::Px(6600 - qt::kNonClientTwips));

    Child<QRadioButton>("Option1(2)")->click();
    EXPECT_EQ(frm->engine().NewPriority(), 2);
    EXPECT_FALSE(Child<QRadioButton>("Option1(1)")->isChecked());
    Child<QRadioButton>("Option1(2)")->click();  // clicking the selected one keeps it
    EXPECT_TRUE(Child<QRadioButton>("Option1(2)")->isChecked());

    Child<QCheckBox>("chkActive")->click();
    EXPECT_FALSE(frm->tmrRefresh().Enabled());
    EXPECT_EQ(frm->Ctl("chkActive").Value(), 0);
}

TEST_F(QtUiSmokeTest, TrayMenuIsARealPopupWithTitleCheckMarkAndCommands) {
    // The captions of the menu model, in the language the program started with.
    const auto cap = [this](const char* name) {
        return QString::fromStdString(frm->mnuPop1().Find(name)->caption);
    };
    const QString show = cap("mnuPop1Show"), activate = cap("mnuPop1Activate");
    QStringList texts;
    bool titleBold = false, titleEnabled = true, activateChecked = false;
    WhenOpen(ActivePopup, [&, show, activate](QWidget* widget) {
        auto* menu = qobject_cast<QMenu*>(widget);
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
            texts << (action->isSeparator() ? "-" : action->text());
            if (action->text() == activate) activateChecked = action->isChecked();
        }
        QAction* title = menu->defaultAction();
        ASSERT_NE(title, nullptr);
        titleBold = title->font().bold();
        titleEnabled = title->isEnabled();
        for (QAction* action : menu->actions()) {
            if (action->text() == show) action->trigger();
        }
        menu->close();
    });
    frm->form().Hide();
    frm->oTrayIcon_TrayMouseEvent(WM_RBUTTONUP);
    EXPECT_EQ(texts, (QStringList{"Talvex 1.1.0", "-", show, activate, "-", cap("mnuPop1Advanced"),
                                  "-", cap("mnuPop1Update"), "-", cap("mnuPop1Exit")}));
    EXPECT_TRUE(titleBold);
    EXPECT_FALSE(titleEnabled);
    EXPECT_TRUE(activateChecked);
    EXPECT_TRUE(frm->form().Visible());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(QtUiSmokeTest, RightClickSelectsTheLineUnderTheMouseBeforeItsMenuOpens) {
    frm->Ctl("chkAdvanced").SetValue(1);
    frm->mnuPop1Show_Click();
    auto* list = Child<QListWidget>("List1");
    ASSERT_NE(list, nullptr);
    ASSERT_GE(list->count(), 3);
    frm->Ctl("List1").SetListIndex(0);
    QCoreApplication::processEvents();
    for (const int row : {2, 1}) {
        QString menuFor;
        WhenOpen(ActivePopup, [&](QWidget* widget) {
            // The menu is open: the line it belongs to is the one clicked.
            menuFor = QString::fromStdString(frm->Ctl("List1").List(frm->Ctl("List1").ListIndex()));
            widget->close();
        });
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QTest::mousePress(list->viewport(), Qt::RightButton, Qt::NoModifier, at);
        QTest::mouseRelease(list->viewport(), Qt::RightButton, Qt::NoModifier, at);
        ASSERT_TRUE(ProcessUntil([&] { return !menuFor.isEmpty(); })) << row;
        EXPECT_EQ(menuFor, list->item(row)->text()) << row;
        EXPECT_EQ(frm->Ctl("List1").ListIndex(), row);
    }
    // Below the last line: the selection stays, the menu is the selected line's.
    QString menuFor;
    WhenOpen(ActivePopup, [&](QWidget* widget) {
        menuFor = QString::fromStdString(frm->Ctl("List1").List(frm->Ctl("List1").ListIndex()));
        widget->close();
    });
    const QPoint below(4, list->viewport()->height() - 2);
    ASSERT_EQ(list->itemAt(below), nullptr);
    QTest::mousePress(list->viewport(), Qt::RightButton, Qt::NoModifier, below);
    QTest::mouseRelease(list->viewport(), Qt::RightButton, Qt::NoModifier, below);
    ASSERT_TRUE(ProcessUntil([&] { return !menuFor.isEmpty(); }));
    EXPECT_EQ(frm->Ctl("List1").ListIndex(), 1);
}

TEST_F(QtUiSmokeTest, TheAdvancedWindowIsResizedDownToItsDesignSize) {
    using qt::Px;
    frm->mnuPop1Advanced_Click();
    QWidget* advanced = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "frmAdvanced" && w->isVisible()) advanced = w;
    }
    ASSERT_NE(advanced, nullptr);
    ASSERT_NE(frm->Advanced(), nullptr);
    const QSize design(Px(frmAdvanced::kClientWidth), Px(frmAdvanced::kClientHeight));
    EXPECT_EQ(advanced->minimumSize(), design);
    EXPECT_GT(advanced->maximumSize().width(), design.width());
    auto* log = advanced->findChild<QWidget*>("lstLog");
    ASSERT_NE(log, nullptr);
    const int logWidth = log->width();
    // The user drags the frame larger: the model and the layout follow.
    advanced->resize(design.width() + 300, design.height() + 200);
    ASSERT_TRUE(ProcessUntil([&] { return log->width() > logWidth; }));
    EXPECT_EQ(Px(frm->Advanced()->form().ClientWidth()), design.width() + 300);
    EXPECT_EQ(log->width(), logWidth + 150);
}

TEST_F(QtUiSmokeTest, RuleMenuHasItsSubmenuWithoutTheHiddenItems) {
    QStringList sub;
    WhenOpen(ActivePopup, [&](QWidget* widget) {
        auto* menu = qobject_cast<QMenu*>(widget);
        ASSERT_NE(menu, nullptr);
        ASSERT_NE(menu->actions().value(0), nullptr);
        QMenu* boost = menu->actions().value(0)->menu();
        ASSERT_NE(boost, nullptr);
        for (QAction* action : boost->actions()) sub << action->text();
        menu->close();
    });
    Ui().PopupMenu(frm->mnuPop2(), nullptr);
    QStringList levels;
    for (const char* name :
         {"mnuPop2AutoboostAboveNormal", "mnuPop2AutoBoostHigh", "mnuPop2AutoBoostRealtime"}) {
        levels << QString::fromStdString(frm->mnuPop2().Find(name)->caption);
    }
    EXPECT_EQ(sub, levels);
}

TEST_F(QtUiSmokeTest, TheTimerTicksAndTheStatusReachesLabel1) {
    const auto editor = desk.AddProcess({"/usr/bin/editor"});
    desk.SetForeground(desk.AddWindow(editor, "Notes"));
    frm->tmrRefresh().SetInterval(10);
    auto* label1 = Child<QLabel>("Label1");
    EXPECT_TRUE(ProcessUntil([&] { return label1->text().contains("Notes"); }));
    EXPECT_EQ(desk.PriorityOf(editor), HIGH_PRIORITY_CLASS);
    EXPECT_TRUE(label1->text().contains("\n/usr/bin/editor\n"));  // CR LF shown as lines
}

TEST_F(QtUiSmokeTest, ModalBoxesReturnTheUsersAnswer) {
    WhenOpen(ActiveModal, [](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(Ui().MsgBox("Start another copy?", vbYesNo | vbQuestion, "Talvex"), vbYes);

    WhenOpen(ActiveModal, [](QWidget* widget) {
        auto* dialog = qobject_cast<QInputDialog*>(widget);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->textValue(), "calc");
        dialog->setTextValue("editor");
        dialog->accept();
    });
    EXPECT_EQ(Ui().InputBox("Which Program?", "Talvex", "calc"), "editor");

    WhenOpen(ActiveModal, [](QWidget* widget) { qobject_cast<QDialog*>(widget)->reject(); });
    EXPECT_EQ(Ui().InputBox("Which Program?", "Talvex", "calc"), "");
}

TEST_F(QtUiSmokeTest, TerminationSignalsAndQuitBecomeCloseRequests) {
    std::vector<CloseReason> reasons;
    auto form = RecordingMainForm(reasons);
    std::raise(SIGTERM);
    EXPECT_TRUE(ProcessUntil([&] { return reasons.size() == 1; }));
    std::raise(SIGHUP);
    EXPECT_TRUE(ProcessUntil([&] { return reasons.size() == 2; }));
    // What quit() posts while the event loop runs, e.g. when the session manager ends it.
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(qApp, &quit);
    EXPECT_TRUE(ProcessUntil([&] { return reasons.size() == 3; }));
    Ui().SetMainForm(&frm->form());
    ASSERT_EQ(reasons.size(), 3u);
    EXPECT_EQ(reasons[0], CloseReason::TaskManager);
    EXPECT_EQ(reasons[1], CloseReason::SessionEnd);
    EXPECT_EQ(reasons[2], CloseReason::SessionEnd);
    EXPECT_TRUE(form->Loaded());
}

// Creates a QtTermination while no file descriptor can be opened, so that its socket
// pair cannot be made.
std::unique_ptr<qt::QtTermination> TerminationWithoutDescriptors(
    std::function<void(CloseReason)> onRequest) {
    rlimit before{};
    if (::getrlimit(RLIMIT_NOFILE, &before) != 0) return nullptr;
    const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (lowestFree < 0) return nullptr;
    ::close(lowestFree);
    rlimit none = before;
    none.rlim_cur = static_cast<rlim_t>(lowestFree);
    if (::setrlimit(RLIMIT_NOFILE, &none) != 0) return nullptr;
    auto termination = std::make_unique<qt::QtTermination>(std::move(onRequest));
    ::setrlimit(RLIMIT_NOFILE, &before);
    return termination;
}

TEST_F(QtUiSmokeTest, WithoutASocketPairSignalsStillEndCleanlyAndTheFailureIsTraced) {
    std::vector<std::string> traced;
    trace::SetLevel(trace::Level::Warning);
    trace::SetSink([&](std::string_view line) { traced.emplace_back(line); });
    std::vector<CloseReason> fallbackReasons;
    auto fallback = TerminationWithoutDescriptors(
        [&](CloseReason reason) { fallbackReasons.push_back(reason); });
    trace::SetSink(nullptr);
    trace::SetLevel(trace::Level::Off);
    ASSERT_NE(fallback, nullptr);
    EXPECT_FALSE(fallback->Woken());
    ASSERT_FALSE(traced.empty());
    EXPECT_NE(traced[0].find("warning QtTermination: socketpair failed: "), std::string::npos)
        << traced[0];

    std::raise(SIGINT);
    std::raise(SIGHUP);
    EXPECT_TRUE(ProcessUntil([&] { return fallbackReasons.size() == 2; }));
    EXPECT_EQ(fallbackReasons,
              (std::vector<CloseReason>{CloseReason::TaskManager, CloseReason::SessionEnd}));

    // Gone again, it hands the signals back to the handlers that were there before.
    fallback.reset();
    std::vector<CloseReason> reasons;
    auto form = RecordingMainForm(reasons);
    std::raise(SIGTERM);
    EXPECT_TRUE(ProcessUntil([&] { return reasons.size() == 1; }));
    Ui().SetMainForm(&frm->form());
    EXPECT_EQ(fallbackReasons.size(), 2u);
}

TEST_F(QtUiSmokeTest, WaitingForEventsRunsPostedWorkAndComesBackWithoutEvents) {
    bool ran = false;
    Ui().Post([&ran] { ran = true; });
    Ui().WaitEvents(1000);
    EXPECT_TRUE(ran);
    frm->tmrRefresh().SetEnabled(false);
    QElapsedTimer clock;
    clock.start();
    Ui().WaitEvents(50);  // nothing happens: returns after its own time-out
    EXPECT_LT(clock.elapsed(), 5000);
}

// A key as the desktop delivers it to the window that has the focus.
void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : QApplication::activeWindow(), static_cast<Qt::Key>(key),
                    modifiers);
    QCoreApplication::processEvents();
}

QString FocusName() {
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QString("-");
}

TEST_F(QtUiSmokeTest, TheMainWindowWorksByKeyboardAlone) {
    frm->SetLanguage("EN");
    frm->Translate();
    frm->mnuPop1Show_Click();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    // Opens on the selected boost level; the arrows choose another.
    EXPECT_EQ(FocusName(), "Option1(1)");
    Key(Qt::Key_Down);
    EXPECT_EQ(frm->engine().NewPriority(), 2);
    EXPECT_EQ(FocusName(), "Option1(2)");
    // The simple view's round, in the designed order: nothing below its edge.
    QStringList round;
    for (int i = 0; i < 4; ++i) {
        Key(Qt::Key_Tab);
        round << FocusName();
    }
    // (The offscreen desktop has no notification area: the Menu button is in the round.)
    EXPECT_EQ(round, (QStringList{"chkAlwaysOnTop", "chkAdvanced", "chkActive", "cmdMenu"}));
    Key(Qt::Key_Tab);

    // Access keys: the advanced view, then the rule list by its label's key.
    Key(Qt::Key_V, Qt::AltModifier);
    EXPECT_TRUE(ProcessUntil([&] { return frm->AdvancedView(); }));
    Key(Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(FocusName(), "List1");
    Key(Qt::Key_End);
    const std::string last = frm->Ctl("List1").List(frm->Ctl("List1").ListCount() - 1);
    EXPECT_EQ(frm->Ctl("List1").List(frm->Ctl("List1").ListIndex()), last);

    // F2 renames; Enter in the box confirms.
    WhenOpen(ActiveModal, [](QWidget* widget) {
        auto* dialog = qobject_cast<QInputDialog*>(widget);
        ASSERT_NE(dialog, nullptr);
        dialog->setTextValue("renamed-by-keyboard");
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    Key(Qt::Key_F2);
    EXPECT_EQ(frm->Ctl("List1").List(frm->Ctl("List1").ListCount() - 1), "renamed-by-keyboard");

    // The menu key (a context-menu event from the keyboard) and Shift+F10 open the
    // rule's menu; Escape closes it.
    int menus = 0;
    const auto closeMenu = [&menus](QWidget* widget) {
        ++menus;
        QTest::keyClick(widget, Qt::Key_Escape);
    };
    Key(Qt::Key_End);
    WhenOpen(ActivePopup, closeMenu);
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(4, 4),
                              QApplication::focusWidget()->mapToGlobal(QPoint(4, 4)));
    QCoreApplication::sendEvent(QApplication::focusWidget(), &menuKey);
    WhenOpen(ActivePopup, closeMenu);
    Key(Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(menus, 2);

    // The languages: Tab to the French flag, Space chooses it.
    for (int i = 0; i < 20 && FocusName() != "imgFr"; ++i) Key(Qt::Key_Tab);
    ASSERT_EQ(FocusName(), "imgFr");
    Key(Qt::Key_Space);
    EXPECT_EQ(frm->Language(), "FR");

    // Escape hides the window, but only where a tray icon could bring it back: the
    // offscreen desktop has no notification area.
    ASSERT_FALSE(Ui().IsTrayAvailable());
    Key(Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(QtUiSmokeTest, TheRuleListShowsItsFocusAndDeleteRemovesARuleAndFlagsNameTheirLanguage) {
    frm->SetLanguage("EN");
    frm->Translate();
    frm->Ctl("chkAdvanced").SetValue(1);
    frm->mnuPop1Show_Click();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto* list = Child<QListWidget>("List1");
    ASSERT_NE(list, nullptr);
    frm->Ctl("List1").SetListIndex(-1);
    Child<QWidget>("chkActive")->setFocus();
    QCoreApplication::processEvents();
    const QImage unfocused = list->grab().toImage();
    list->setFocus();
    ASSERT_TRUE(ProcessUntil([&] { return list->hasFocus(); }));
    // Focused with no line selected: the focus shows (the list marks its current line).
    EXPECT_NE(list->grab().toImage(), unfocused);
    const int before = list->count();
    ASSERT_GT(before, 0);
    Key(Qt::Key_Home);
    Key(Qt::Key_Delete);
    EXPECT_EQ(list->count(), before - 1);
    EXPECT_EQ(static_cast<int>(frm->engine().Items().Count()), before - 1);
    for (const auto& [name, language] :
         {std::pair{"imgGer", "Deutsch"}, std::pair{"imgEn", "English"},
          std::pair{"imgFr", "Français"}}) {
        QWidget* flag = Child<QWidget>(name);
        ASSERT_NE(flag, nullptr) << name;
        EXPECT_EQ(flag->accessibleName(), QString::fromUtf8(language)) << name;
        EXPECT_EQ(flag->toolTip(), QString::fromUtf8(language)) << name;
    }
}

TEST_F(QtUiSmokeTest, MessageBoxesHaveDefaultAndEscapeButtonsInTheProgramsLanguage) {
    Ui().SetLanguage("DE");
    QString yes;
    WhenOpen(ActiveModal, [&yes](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        yes = box->button(QMessageBox::Yes)->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    // The second-copy question: a stray Enter is a No.
    EXPECT_EQ(Ui().MsgBox("Start another copy?", vbYesNo | vbQuestion | vbDefaultButton2, ""),
              vbNo);
    EXPECT_EQ(yes.remove('&'), "Ja");  // Qt's own buttons speak German too
    WhenOpen(ActiveModal, [](QWidget* widget) { QTest::keyClick(widget, Qt::Key_Escape); });
    EXPECT_EQ(Ui().MsgBox("Open the download page?", vbYesNo | vbInformation, ""), vbNo);
    Ui().SetLanguage("EN");
    WhenOpen(ActiveModal, [&yes](QWidget* widget) {
        yes = qobject_cast<QMessageBox*>(widget)->button(QMessageBox::Yes)->text();
        QTest::keyClick(widget, Qt::Key_Return);
    });
    EXPECT_EQ(Ui().MsgBox("Open the download page?", vbYesNo | vbInformation, ""), vbYes);
    EXPECT_EQ(yes.remove('&'), "Yes");
}

TEST_F(QtUiSmokeTest, EveryPictureIsDrawn) {
    for (const char* name :
         {"shuttle", "stop", "flag-de", "flag-en", "flag-fr", "banner", "warning", "gradient"}) {
        const QImage image = qt::ArtworkPixmap(name, QSize(32, 32), 1.0).toImage();
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_GT(qAlpha(image.pixel(16, 16)), 0) << name;  // something is painted in the middle
    }
    EXPECT_TRUE(qt::ArtworkPixmap("no-such-picture", QSize(16, 16), 1.0).isNull());
    EXPECT_EQ(qt::ArtworkSize("gradient"), QSize(494, 616));
    EXPECT_FALSE(qt::ArtworkIcon("shuttle").isNull());
}

}  // namespace
}  // namespace talvex

namespace talvex {
namespace {

// The list of held changes on Qt: it carries its name for screen readers, Tab reaches
// it from the log, and its menu opens from the keyboard and puts a program back.
TEST_F(QtUiSmokeTest, TheHeldChangesListByKeyboardWithItsName) {
    const auto encoder = desk.AddProcess({"/usr/bin/encoder"});
    Engine& engine = frm->engine();
    // The next rebuild takes it into the process table, which names the list's rows.
    while (engine.TableStages().RebuildCountdown() != 0) engine.tmrRefresh_Timer();
    engine.tmrRefresh_Timer();
    const auto& table = engine.ProcessTable();
    ASSERT_TRUE(std::any_of(table.begin(), table.end(),
                            [&](const ProcessEntry& e) { return e.lPid == encoder; }));
    ASSERT_EQ(engine.Queries().SetProcessPriority(encoder, 0, IDLE_PRIORITY_CLASS),
              IDLE_PRIORITY_CLASS);
    engine.NoteHeld(encoder, HeldWhy::BusyInBackground, 70);
    frm->mnuPop1Advanced_Click();
    frm->RefreshHeld();
    QWidget* advanced = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "frmAdvanced") advanced = w;
    }
    ASSERT_NE(advanced, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(advanced));
    auto* list = advanced->findChild<QTreeWidget*>("lstHeld");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->accessibleName(), "Changes held now");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "encoder");
    EXPECT_EQ(list->topLevelItem(0)->text(1), QString::number(encoder));

    advanced->findChild<QWidget*>("lstLog")->setFocus();
    Key(Qt::Key_Tab);
    EXPECT_EQ(FocusName(), "lstHeld");
    Key(Qt::Key_Down);
    EXPECT_EQ(frm->Advanced()->Ctl("lstHeld").ListIndex(), 0);
    QStringList items;
    WhenOpen(ActivePopup, [&items](QWidget* widget) {
        for (QAction* action : widget->actions()) items << action->text();
        QTest::keyClick(widget, Qt::Key_P);  // the access key of "Put back now"
    });
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(4, 4),
                              list->mapToGlobal(QPoint(4, 4)));
    QCoreApplication::sendEvent(list, &menuKey);
    EXPECT_EQ(items, (QStringList{"&Put back now", "Add a &rule for this program"}));
    EXPECT_TRUE(ProcessUntil([&] { return list->topLevelItemCount() == 0; }));
    EXPECT_EQ(desk.PriorityOf(encoder), NORMAL_PRIORITY_CLASS);
}

}  // namespace
}  // namespace talvex
