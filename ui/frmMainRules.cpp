// The rule list panel of the main window: Remove, Add, Current, rename by double click
// and the popup menu of a rule. The commands themselves live in RuleCommands; this
// file connects them to the controls and refills the list when a command asks for it.
#include <algorithm>
#include <utility>

#include "base/RunQuietly.h"
#include "ui/frmMain.h"

namespace talvex {

using namespace platform;

void frmMain::BindRulePanel() {
    m_c.Command1->OnClick = [this] { RunQuietly("Command1_Click", [this] { Command1_Click(); }); };
    m_c.Command2->OnClick = [this] { RunQuietly("Command2_Click", [this] { Command2_Click(); }); };
    m_c.Command3->OnClick = [this] { RunQuietly("Command3_Click", [this] { Command3_Click(); }); };
    m_c.List1->OnDblClick = [this] { RunQuietly("List1_DblClick", [this] { List1_DblClick(); }); };
    m_c.List1->OnMouseDown = [this](int button, int shift, std::int32_t x, std::int32_t y) {
        RunQuietly("List1_MouseDown", [&] { List1_MouseDown(button, shift, x, y); });
    };
    m_c.List1->OnKeyDown = [this](std::int32_t& keyCode, int shift) {
        RunQuietly("List1_KeyDown", [&] { List1_KeyDown(keyCode, shift); });
    };
    // The menu entries that run a command, with the command each runs.
    const std::pair<MenuItem*, Pop2Item> commands[] = {
        {m_c.mnuPop2AutoboostAboveNormal, Pop2Item::AboveNormal},
        {m_c.mnuPop2AutoBoostHigh, Pop2Item::High},
        {m_c.mnuPop2AutoBoostRealtime, Pop2Item::Realtime},
        {m_c.mnuPop2NoBoost, Pop2Item::NeverBoost},
        {m_c.mnuPop2NoBkgObservation, Pop2Item::NoBkgObservation},
        {m_c.mnuPop2HangUp, Pop2Item::HangUp},
        {m_c.mnuPop2HangUpMsg, Pop2Item::HangUpMsg},
        {m_c.mnuPop2Delete, Pop2Item::Delete},
    };
    for (const auto& [menuItem, item] : commands) {
        const Pop2Item command = item;
        menuItem->OnClick = [this, command] {
            RunQuietly("mnuPop2Click", [this, command] { mnuPop2Click(command); });
        };
    }
}

void frmMain::fRefreshList() {
    m_c.List1->SetItems(RuleCommands::fRefreshList(m_engine.Items()));
}

SelectedLine frmMain::SelectedRuleLine() {
    const Control& list = *m_c.List1;
    if (list.ListIndex() < 0) return std::nullopt;
    return list.List(list.ListIndex());
}

void frmMain::Command1_Click() {
    if (m_ruleCommands.Command1_Click(SelectedRuleLine())) fRefreshList();
}

void frmMain::Command2_Click() {
    if (m_ruleCommands.Command2_Click()) fRefreshList();
}

void frmMain::Command3_Click() {
    // The main window belongs to this program; window 0 asks for this program's path
    // directly, which does not depend on the desktop knowing the window's owner.
    const std::string own = m_engine.Queries().GetWindowExePath(0, modMain::kPathMax);
    if (m_ruleCommands.Command3_Click(m_engine.ForegroundExe(), m_engine.PreviousExe(), own)) {
        fRefreshList();
    }
}

void frmMain::List1_DblClick() {
    if (m_ruleCommands.List1_DblClick(SelectedRuleLine())) fRefreshList();
}

void frmMain::List1_MouseDown(int Button, int, std::int32_t, std::int32_t) {
    if (Button == kRightButton) ShowRuleMenu();
}

void frmMain::List1_KeyDown(std::int32_t& KeyCode, int Shift) {
    if (KeyCode == vbKeyF2 && Shift == 0) {
        KeyCode = 0;
        List1_DblClick();
    } else if (KeyCode == vbKeyDelete && Shift == 0) {
        // As Remove does; the line now at the same place is selected, so that Delete
        // can go on down the list.
        KeyCode = 0;
        const std::int32_t index = m_c.List1->ListIndex();
        Command1_Click();
        const std::int32_t count = m_c.List1->ListCount();
        if (index >= 0 && count > 0 && m_c.List1->ListIndex() < 0) {
            m_c.List1->SetListIndex(std::min(index, count - 1));
        }
    } else if ((KeyCode == vbKeyApps && Shift == 0) ||
               (KeyCode == vbKeyF10 && Shift == vbShiftMask)) {
        KeyCode = 0;
        ShowRuleMenu();
    }
}

void frmMain::ShowRuleMenu() {
    const SelectedLine line = SelectedRuleLine();
    if (!line) return;
    const auto marks = m_ruleCommands.Pop2MarksFor(line);
    if (!marks) return;
    m_c.mnuPop2AutoboostAboveNormal->checked = marks->bAboveNormal;
    m_c.mnuPop2AutoBoostHigh->checked = marks->bHigh;
    m_c.mnuPop2AutoBoostRealtime->checked = marks->bRealtime;
    m_c.mnuPop2NoBoost->checked = marks->bNeverBoost;
    m_c.mnuPop2NoBkgObservation->checked = marks->bNoBkgObservation;
    m_c.mnuPop2HangUp->checked = marks->bHangUp;
    m_c.mnuPop2HangUpMsg->checked = marks->bHangUpMsg;
    m_ui.PopupMenu(m_mnuPop2, nullptr);
}

void frmMain::mnuPop2Click(Pop2Item item) {
    if (m_ruleCommands.Pop2Click(item, SelectedRuleLine())) fRefreshList();
}

}  // namespace talvex
