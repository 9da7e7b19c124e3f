// The Advanced window's table of what Talvex holds changed now, beside the log, and the
// popup menu of a row: put the program back at once, or add a rule for it.
#include <algorithm>

#include "base/RunQuietly.h"
#include "i18n/TextIds.h"
#include "ui/HeldList.h"
#include "ui/frmAdvanced.h"

namespace talvex {

using namespace platform;

void frmAdvanced::CreateHeldList() {
    // Tab index 2 as the log's list, created after it: Tab goes from the log to here.
    m_c.frHeld =
        &Add(ControlKind::Frame, "frHeld", "", {5640, 60, 4755, 2955}, "Changes held now", 2);
    m_c.lstHeld = &Add(ControlKind::ReportList, "lstHeld", "frHeld", {120, 300, 4515, 2520},
                       "Changes held now", 2);
    m_c.mnuHeldPutBack = &m_mnuHeld.Add("mnuHeldPutBack", "&Put back now");
    m_c.mnuHeldAddRule = &m_mnuHeld.Add("mnuHeldAddRule", "Add a &rule for this program");
}

void frmAdvanced::BindHeldList() {
    Control& list = *m_c.lstHeld;
    list.OnMouseDown = [this](int button, int shift, std::int32_t x, std::int32_t y) {
        RunQuietly("lstHeld_MouseDown", [&] { lstHeld_MouseDown(button, shift, x, y); });
    };
    list.OnKeyDown = [this](std::int32_t& keyCode, int shift) {
        RunQuietly("lstHeld_KeyDown", [&] { lstHeld_KeyDown(keyCode, shift); });
    };
    m_c.mnuHeldPutBack->OnClick = [this] {
        RunQuietly("mnuHeldPutBack_Click", [this] { mnuHeldPutBack_Click(); });
    };
    m_c.mnuHeldAddRule->OnClick = [this] {
        RunQuietly("mnuHeldAddRule_Click", [this] { mnuHeldAddRule_Click(); });
    };
}

void frmAdvanced::SetHeldTexts() {
    const StringTable& s = m_strings;
    const std::string title = s.Lang(TextId::HeldCaption);
    m_c.frHeld->SetCaption(title);
    // A list shows no caption; it is the list's name for screen readers.
    m_c.lstHeld->SetCaption(title);
    m_c.lstHeld->SetColumns(held::HeldColumns(s));
    m_c.mnuHeldPutBack->caption = s.Lang(TextId::HeldPutBack);
    m_c.mnuHeldAddRule->caption = s.Lang(TextId::HeldAddRule);
}

void frmAdvanced::ShowHeld(const std::vector<HeldRow>& rows) {
    // A hidden window is not drawn: the rows wait until it shows.
    if (!m_form->Visible()) {
        m_heldWaiting = rows;
        return;
    }
    Control& table = *m_c.lstHeld;
    const HeldRow* selected = SelectedHeld();
    const bool hadSelection = selected != nullptr;
    const std::int32_t selectedPid = selected ? selected->lPid : 0;
    const HeldLever selectedLever = selected ? selected->lever : HeldLever::Priority;
    const std::string now = m_engine.Clock().LocalDateTimeText();
    std::vector<ReportRow> cells;
    cells.reserve(rows.size());
    for (const HeldRow& row : rows) cells.push_back(held::RowCells(m_strings, row, now));
    m_heldRows = rows;
    // Most ticks change nothing: the table is redrawn only when a cell changed, and the
    // selection follows its program and lever to wherever that row is now.
    table.SetRows(std::move(cells));
    const auto again = std::find_if(rows.begin(), rows.end(), [&](const HeldRow& row) {
        return hadSelection && row.lPid == selectedPid && row.lever == selectedLever;
    });
    table.SetListIndex(again != rows.end() ? static_cast<std::int32_t>(again - rows.begin()) : -1);
    m_heldWaiting.reset();
}

const HeldRow* frmAdvanced::SelectedHeld() const {
    const Control* list = m_c.lstHeld;
    const std::int32_t index = list ? list->ListIndex() : -1;
    if (index < 0 || static_cast<std::size_t>(index) >= m_heldRows.size()) return nullptr;
    return &m_heldRows[static_cast<std::size_t>(index)];
}

void frmAdvanced::lstHeld_MouseDown(int Button, int, std::int32_t, std::int32_t) {
    if (Button == kRightButton) ShowHeldMenu();
}

void frmAdvanced::lstHeld_KeyDown(std::int32_t& KeyCode, int Shift) {
    if ((KeyCode == vbKeyApps && Shift == 0) || (KeyCode == vbKeyF10 && Shift == vbShiftMask)) {
        KeyCode = 0;
        ShowHeldMenu();
    }
}

void frmAdvanced::ShowHeldMenu() {
    const HeldRow* row = SelectedHeld();
    if (!row) return;
    m_c.mnuHeldAddRule->enabled = !row->sExePath.empty();
    m_ui.PopupMenu(m_mnuHeld, nullptr);
}

// The line is looked up again: the list may have changed while the menu was open.
void frmAdvanced::mnuHeldPutBack_Click() {
    const HeldRow* row = SelectedHeld();
    if (!row) return;
    m_engine.PutBack(row->lPid);
    ShowHeld(m_engine.HeldRows());
    m_host.HeldChanged();
}

void frmAdvanced::mnuHeldAddRule_Click() {
    const HeldRow* row = SelectedHeld();
    if (!row || row->sExePath.empty()) return;
    const std::string path = row->sExePath;
    m_host.AddRuleFor(path);
}

}  // namespace talvex
