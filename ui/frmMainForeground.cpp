// The main window's side of the desktop's foreground announcements: a change runs the
// engine's foreground step at once, whenever the ticks would run too.
#include "base/RunQuietly.h"
#include "i18n/FormatMsg.h"
#include "i18n/TextIds.h"
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

namespace {
// How long a desktop that could not be reached is left alone before the next try.
constexpr std::uint64_t kForegroundRetryMs = 5000;
}  // namespace

void frmMain::StartForegroundSource() {
    if (!m_foreground) return;
    m_foregroundRetryAt = m_clock.GetTickCount64() + kForegroundRetryMs;
    m_foreground->Start(m_ui, [this](const ForegroundChange&) {
        RunQuietly("OnForegroundChange", [this] { OnForegroundChange(); });
    });
}

// Runs on every tick: a connection that was lost is made again, now and then.
void frmMain::KeepForegroundSource() {
    if (!m_foreground || m_foreground->Listening() || m_engine.Shutdown() != ShutdownState::Running)
        return;
    if (m_clock.GetTickCount64() < m_foregroundRetryAt) return;
    StartForegroundSource();
}

// The engine asks the desktop itself what is in front; the announcement is only the
// signal to ask now. Like a tick it runs only once start-up has ended, while boosting
// is on (both: the timer runs) and before an end was asked for.
void frmMain::OnForegroundChange() {
    if (!m_tmrRefresh->Enabled() || m_engine.Shutdown() != ShutdownState::Running) return;
    m_engine.ForegroundEvent();
}

// Once the event loop runs: a Wayland desktop whose foreground Talvex cannot follow is
// explained once.
void frmMain::ForegroundNotice() {
    const std::string desktop = m_foreground ? m_foreground->UnreachableDesktop() : "";
    if (desktop.empty()) return;
    const std::string text = m_strings.Lang(TextId::UnreachableDesktop);
    m_ui.MsgBox(FormatMsg(text, MsgArgs{desktop}), vbOKOnly | vbInformation, "Talvex");
}

}  // namespace talvex
