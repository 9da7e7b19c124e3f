#include "rules/RuleCommands.h"

#include "i18n/TextIds.h"

namespace talvex {

std::vector<std::string> RuleCommands::fRefreshList(const TalvexItems& items) {
    std::vector<std::string> lines;
    lines.reserve(items.Count());
    for (std::size_t i = 0; i < items.Count(); ++i) lines.push_back(items[i].sItem);
    return lines;
}

bool RuleCommands::IsStorableName(std::string_view sName) {
    return sName.find('|') == std::string_view::npos;
}

std::size_t RuleCommands::CharCount(std::string_view sText) {
    std::size_t count = 0;
    for (const char c : sText) {
        // Continuation bytes of a UTF-8 sequence do not start a character.
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

std::optional<std::size_t> RuleCommands::SelectedRule(const SelectedLine& selected) const {
    if (!selected) return std::nullopt;
    const std::int16_t index = m_items.fFindInTalvexItems(*selected);
    if (index < 0) return std::nullopt;
    return static_cast<std::size_t>(index);
}

bool RuleCommands::AddRule(const std::string& sItem) {
    // A name the store cannot keep would vanish at the next start; better refuse it now.
    if (IsStorableName(sItem)) m_items.fAddToTalvexItems(sItem, -1, false, false, false, false);
    return true;
}

bool RuleCommands::Command1_Click(const SelectedLine& selected) {
    if (!selected) return false;
    m_items.fDeleteFromTalvexItems(*selected);
    return true;
}

bool RuleCommands::Command2_Click() {
    const std::string answer = m_inputBox(m_strings.Lang(TextId::AddPrompt), m_sAddExample);
    if (answer == m_sAddExample || CharCount(answer) <= 3) return false;
    if (!IsStorableName(answer)) return false;
    // Some rule's name already occurs in the answer: the program is covered.
    if (m_items.fFindInTalvexItems(answer) >= 0) return false;
    return AddRule(answer);
}

bool RuleCommands::AddFor(const std::string& sPath) {
    const std::string answer = m_inputBox(m_strings.Lang(TextId::AddPrompt), sPath);
    if (CharCount(answer) <= 3 || !IsStorableName(answer)) return false;
    if (m_items.fFindInTalvexItems(answer) >= 0) return false;
    return AddRule(answer);
}

bool RuleCommands::Command3_Click(const std::string& m_sForegroundExe,
                                  const std::string& m_sPreviousExe,
                                  const std::string& ownExePath) {
    if (CharCount(m_sForegroundExe) <= 3) return false;
    // An own path that could not be read says nothing about who is in front.
    const bool ownInFront =
        !ownExePath.empty() && m_sForegroundExe.find(ownExePath) != std::string::npos;
    if (ownInFront) {
        // The click came from this window: the program before it is the one meant.
        if (m_items.fFindInTalvexItems(m_sPreviousExe) >= 0) return false;
        return AddRule(m_sPreviousExe);
    }
    if (m_items.fFindInBlockedItems(m_sForegroundExe) >= 0) return false;
    return AddRule(m_sForegroundExe);
}

bool RuleCommands::List1_DblClick(const SelectedLine& selected) {
    if (!selected) return false;
    const std::string answer = m_inputBox(m_strings.Lang(TextId::EditPrompt), *selected);
    if (CharCount(answer) <= 4 || !IsStorableName(answer)) return false;
    // The rule is looked up after the question: the list may have changed meanwhile.
    const auto index = SelectedRule(selected);
    if (!index) return false;
    m_items.Edit(*index).sItem = answer;
    return true;
}

std::optional<Pop2Marks> RuleCommands::Pop2MarksFor(const SelectedLine& selected) const {
    const auto index = SelectedRule(selected);
    if (!index) return std::nullopt;
    const TalvexItem& rule = m_items[*index];
    Pop2Marks marks;
    if (rule.bNeverBoost) {
        marks.bNeverBoost = true;
    } else {
        marks.bAboveNormal = rule.iBoostLevel == 0;
        marks.bHigh = rule.iBoostLevel == 1;
        marks.bRealtime = rule.iBoostLevel == 2;
    }
    marks.bNoBkgObservation = rule.bNoBkgObservation;
    marks.bHangUp = rule.bNoHangUpObservation;
    marks.bHangUpMsg = rule.bNoHangUpObservationMsg;
    return marks;
}

bool RuleCommands::Pop2Click(Pop2Item item, const SelectedLine& selected) {
    if (item == Pop2Item::Delete) {
        if (selected) m_items.fDeleteFromTalvexItems(*selected);
        return true;  // refilled even when nothing was selected
    }
    const auto index = SelectedRule(selected);
    if (!index) return false;
    TalvexItem& rule = m_items.Edit(*index);
    switch (item) {
        case Pop2Item::AboveNormal:
            rule.iBoostLevel = 0;
            break;
        case Pop2Item::High:
            rule.iBoostLevel = 1;
            break;
        case Pop2Item::Realtime:
            rule.bNeverBoost = false;
            rule.iBoostLevel = 2;
            break;
        case Pop2Item::NeverBoost:
            rule.bNeverBoost = !rule.bNeverBoost;
            rule.iBoostLevel = -1;
            break;
        case Pop2Item::NoBkgObservation:
            rule.bNoBkgObservation = !rule.bNoBkgObservation;
            break;
        case Pop2Item::HangUp:
            rule.bNoHangUpObservation = !rule.bNoHangUpObservation;
            break;
        case Pop2Item::HangUpMsg:
            rule.bNoHangUpObservationMsg = !rule.bNoHangUpObservationMsg;
            break;
        case Pop2Item::Delete:
            break;
    }
    return false;
}

}  // namespace talvex
