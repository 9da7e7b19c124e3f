// The Qt services object: application, forms, timers, tray icons, popup menus, modal
// boxes and the event loop.
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTranslator>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/qt/QtArtwork.h"
#include "platform/qt/QtDescriptorWatch.h"
#include "platform/qt/QtFormView.h"
#include "platform/qt/QtScale.h"
#include "platform/qt/QtTermination.h"
#include "platform/qt/QtTrayIcon.h"
#include "platform/qt/QtUi.h"

namespace talvex::platform {

namespace qt {
namespace {

class QtTimerView final : public ITimerView {
  public:
    explicit QtTimerView(Timer& timer) {
        m_timer.setTimerType(Qt::PreciseTimer);
        // Queued: the timeout returns at once and the tick runs from the event loop. Qt
        // never delivers a timer's timeout while its own handler still runs, so a tick
        // that waits in the warning dialog would otherwise stop all further ticks.
        QObject::connect(
            &m_timer, &QTimer::timeout, &m_timer, [&timer] { timer.Fire(); }, Qt::QueuedConnection);
        m_model = &timer;
    }
    void Update() override {
        m_timer.setInterval(m_model->Interval());
        if (m_model->Enabled() && !m_timer.isActive()) m_timer.start();
        if (!m_model->Enabled()) m_timer.stop();
    }

  private:
    QTimer m_timer;
    Timer* m_model = nullptr;
};

// Catches the application's quit request, which the session manager sends when the
// session ends, and hands it to the main form instead of closing windows one by one.
class QuitWatcher final : public QObject {
  public:
    explicit QuitWatcher(std::function<void()> onQuit) : m_onQuit(std::move(onQuit)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == qApp && event->type() == QEvent::Quit) {
            m_onQuit();
            return true;
        }
        return false;
    }

  private:
    std::function<void()> m_onQuit;
};

// Remembers whether the user's last action came from the keyboard or the mouse, so a
// popup menu opens where the user is looking: at the mouse, or at the focused control.
class InputWatcher final : public QObject {
  public:
    bool LastWasKeyboard() const { return m_keyboard; }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
                m_keyboard = true;
                break;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
                m_keyboard = false;
                break;
            default:
                break;
        }
        return false;
    }

  private:
    bool m_keyboard = false;
};

void AddItems(QMenu& qmenu, MenuItem& menu, const MenuItem* defaultItem,
              std::map<QAction*, MenuItem*>& actions) {
    for (const auto& item : menu.Items()) {
        if (!item->visible) continue;
        if (item->IsSeparator()) {
            qmenu.addSeparator();
            continue;
        }
        const QString caption = QString::fromStdString(item->caption);
        if (item->IsSubmenu()) {
            QMenu* sub = qmenu.addMenu(caption);
            sub->setEnabled(item->enabled);
            AddItems(*sub, *item, defaultItem, actions);
            continue;
        }
        QAction* action = qmenu.addAction(caption);
        action->setEnabled(item->enabled);
        action->setCheckable(item->checked);
        action->setChecked(item->checked);
        if (item.get() == defaultItem) {
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
            qmenu.setDefaultAction(action);
        }
        actions[action] = item.get();
    }
}

class QtUiServices final : public IUiServices {
  public:
    QtUiServices(int& argc, char** argv) : m_app(argc, argv) {
        QApplication::setApplicationName(QStringLiteral("Talvex"));
        QGuiApplication::setDesktopFileName(QStringLiteral("talvex"));
        QApplication::setQuitOnLastWindowClosed(false);
        QApplication::setWindowIcon(ArtworkIcon("shuttle"));
        m_quitWatcher =
            std::make_unique<QuitWatcher>([this] { RequestEnd(CloseReason::SessionEnd); });
        m_app.installEventFilter(m_quitWatcher.get());
        m_app.installEventFilter(&m_inputWatcher);
        m_termination =
            std::make_unique<QtTermination>([this](CloseReason reason) { RequestEnd(reason); });
    }
    ~QtUiServices() override {
        m_app.removeEventFilter(&m_inputWatcher);
        m_app.removeEventFilter(m_quitWatcher.get());
    }

    std::unique_ptr<Form> CreateForm(const std::string& name) override {
        auto form = std::make_unique<Form>(name);
        form->AttachView(std::make_unique<QtFormView>(*form));
        return form;
    }
    std::unique_ptr<Timer> CreateTimer() override {
        auto timer = std::make_unique<Timer>();
        timer->AttachView(std::make_unique<QtTimerView>(*timer));
        return timer;
    }
    std::unique_ptr<ITrayIcon> CreateTrayIcon() override { return std::make_unique<QtTrayIcon>(); }
    bool IsTrayAvailable() override { return QSystemTrayIcon::isSystemTrayAvailable(); }

    void PopupMenu(MenuItem& menu, const MenuItem* defaultItem) override {
        QMenu qmenu;
        std::map<QAction*, MenuItem*> actions;
        AddItems(qmenu, menu, defaultItem, actions);
        // Submenus report their choice through the top menu's signal.
        QAction* chosen = nullptr;
        QObject::connect(&qmenu, &QMenu::triggered,
                         [&chosen](QAction* action) { chosen = action; });
        if (QAction* result = qmenu.exec(PopupPosition())) chosen = result;
        const auto found = actions.find(chosen);
        if (found != actions.end()) found->second->Choose();
    }

    MsgBoxResult MsgBox(const std::string& text, std::int32_t style,
                        const std::string& title) override {
        QMessageBox box;
        box.setWindowTitle(QString::fromStdString(title.empty() ? "Talvex" : title));
        // Messages carry CR LF line breaks, as the language files write them.
        box.setText(
            QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        box.setTextFormat(Qt::PlainText);
        box.setTextInteractionFlags(Qt::TextSelectableByMouse);
        const std::int32_t icon = style & 0x70;
        box.setIcon(icon == vbCritical      ? QMessageBox::Critical
                    : icon == vbQuestion    ? QMessageBox::Question
                    : icon == vbExclamation ? QMessageBox::Warning
                    : icon == vbInformation ? QMessageBox::Information
                                            : QMessageBox::NoIcon);
        const bool yesNo = (style & 7) == vbYesNo;
        box.setStandardButtons(yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
        // Enter takes the default button, Escape No (or OK).
        if (yesNo) {
            box.setDefaultButton((style & vbDefaultButton2) != 0 ? QMessageBox::No
                                                                 : QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
        } else {
            box.setDefaultButton(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Ok);
        }
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        const int answer = ExecKeepingFocus(box);
        if (answer == QMessageBox::Yes) return vbYes;
        if (answer == QMessageBox::No) return vbNo;
        return yesNo ? vbNo : vbOK;
    }

    std::string InputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText) override {
        QInputDialog dialog;
        dialog.setWindowTitle(QString::fromStdString(title.empty() ? "Talvex" : title));
        dialog.setLabelText(
            QString::fromStdString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        dialog.setTextValue(QString::fromStdString(defaultText));
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
        if (ExecKeepingFocus(dialog) != QDialog::Accepted) return {};
        return dialog.textValue().toStdString();
    }

    void DoEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    void WaitEvents(std::int32_t maxMilliseconds) override {
        // A timer of our own ends the wait at the latest after maxMilliseconds.
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(std::max(0, maxMilliseconds));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    void Post(std::function<void()> work) override {
        QMetaObject::invokeMethod(&m_app, std::move(work), Qt::QueuedConnection);
    }
    std::unique_ptr<DescriptorWatch> WatchDescriptor(int fd,
                                                     std::function<void()> onReadable) override {
        return CreateQtDescriptorWatch(fd, std::move(onReadable));
    }

    std::string SystemLanguage() override {
        // The first of the languages the user reads (LANGUAGE, then the locale).
        const QStringList languages = QLocale::system().uiLanguages();
        const QString first = languages.isEmpty() ? QLocale::system().name() : languages.first();
        if (first == QLatin1String("C") || first == QLatin1String("POSIX")) return {};
        return first.left(2).toLower().toStdString();
    }

    void SetLanguage(const std::string& sLanguage) override {
        // Qt's own texts (Yes, No, Cancel, OK) in the program's language; English
        // needs no translation.
        const QString code = QString::fromStdString(sLanguage).toLower();
        if (code == m_qtLanguage) return;
        m_qtLanguage = code;
        QCoreApplication::removeTranslator(&m_qtTranslator);
        if (code == QLatin1String("en")) return;
        if (m_qtTranslator.load(QLatin1String("qtbase_") + code,
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(&m_qtTranslator);
        }
    }

    std::int32_t ScreenWidth() override { return ScreenPx().width() * TwipsPerPixelX(); }
    std::int32_t ScreenHeight() override { return ScreenPx().height() * TwipsPerPixelY(); }
    std::int32_t TwipsPerPixelX() override { return qMax(1, qRound(1440.0 / LogicalDpi())); }
    std::int32_t TwipsPerPixelY() override { return qMax(1, qRound(1440.0 / LogicalDpi())); }
    std::vector<TwipsRect> ScreenRects() override {
        const std::int32_t tx = TwipsPerPixelX(), ty = TwipsPerPixelY();
        std::vector<TwipsRect> rects;
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QRect g = screen->geometry();
            rects.push_back({g.x() * tx, g.y() * ty, g.width() * tx, g.height() * ty});
        }
        if (rects.empty()) rects.push_back({0, 0, ScreenWidth(), ScreenHeight()});
        return rects;
    }

    void SetMainForm(Form* form) override { m_mainForm = form; }
    int Run() override { return QApplication::exec(); }

    void EndProgram(int exitCode) override {
        // Hide what is still shown and let the display see it, then end at once:
        // nothing of the program may run after its end.
        for (QWidget* widget : QApplication::topLevelWidgets()) widget->hide();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }

  private:
    // Runs a modal box; the window that was in front gets the keyboard back afterwards,
    // so that work by keyboard goes on where it was.
    static int ExecKeepingFocus(QDialog& dialog) {
        QPointer<QWidget> before = QApplication::activeWindow();
        const int result = dialog.exec();
        if (before && before->isVisible()) {
            before->raise();
            before->activateWindow();
        }
        return result;
    }
    // At the mouse; opened from the keyboard, at the focused control (a list's current
    // line), unless the mouse rests on the window in front.
    QPoint PopupPosition() const {
        const QPoint mouse = QCursor::pos();
        QWidget* window = QApplication::activeWindow();
        QWidget* focus = QApplication::focusWidget();
        if (!m_inputWatcher.LastWasKeyboard() || !window || !focus ||
            window->frameGeometry().contains(mouse)) {
            return mouse;
        }
        if (auto* list = qobject_cast<QListWidget*>(focus)) {
            if (QListWidgetItem* item = list->currentItem()) {
                const QRect line = list->visualItemRect(item);
                return list->viewport()->mapToGlobal(line.bottomLeft());
            }
        }
        return focus->mapToGlobal(focus->rect().center());
    }
    QSize ScreenPx() const {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->geometry().size() : QSize(1024, 768);
    }
    void RequestEnd(CloseReason reason) {
        if (m_mainForm) m_mainForm->RequestClose(reason);
    }

    QApplication m_app;
    QTranslator m_qtTranslator;
    QString m_qtLanguage = QStringLiteral("en");
    std::unique_ptr<QuitWatcher> m_quitWatcher;
    InputWatcher m_inputWatcher;
    std::unique_ptr<QtTermination> m_termination;
    Form* m_mainForm = nullptr;
};

}  // namespace
}  // namespace qt

std::unique_ptr<IUiServices> CreateQtUiServices(int& argc, char** argv) {
    // Window handles must be X11 windows for the desktop services; a Wayland session
    // runs Talvex through XWayland.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    return std::make_unique<qt::QtUiServices>(argc, argv);
}

}  // namespace talvex::platform
