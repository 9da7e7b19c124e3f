#include "i18n/TranslateTable.h"

namespace talvex {

namespace {

constexpr ElementRef Ctl(std::string_view name, std::int16_t index = -1) {
    return {ElementKind::Control, name, index};
}
constexpr ElementRef Mnu(std::string_view name) {
    return {ElementKind::Menu, name, -1};
}

constexpr TranslateElement ById(ElementRef element, std::int16_t id, std::string_view design) {
    return {element, id, DefaultKind::None, {}, kNoElement, design};
}
constexpr TranslateElement KeepCaption(ElementRef element, std::int16_t id,
                                       std::string_view design) {
    return {element, id, DefaultKind::CurrentCaption, {}, kNoElement, design};
}
constexpr TranslateElement WithDefault(ElementRef element, std::int16_t id,
                                       std::string_view sDefault, std::string_view design) {
    return {element, id, DefaultKind::Given, sDefault, kNoElement, design};
}
constexpr TranslateElement CopyOf(ElementRef element, ElementRef source, std::string_view design) {
    return {element, 0, DefaultKind::CopyOf, {}, source, design};
}

#ifdef _WIN32
constexpr std::int16_t kIdStartWithSystem = kIdStartWithWindows;
#else
constexpr std::int16_t kIdStartWithSystem = kIdStartWithSession;
#endif

}  // namespace

const std::array<TranslateElement, 27> kTranslateElements = {
    ById(Ctl("chkAdvanced"), 2, "Advanced..."),
    ById(Ctl("chkAlwaysOnTop"), 3, "Always On Top"),
    ById(Ctl("chkActive"), 4, "Active"),
    ById(Ctl("Option1", 0), 5, "Above Normal"),
    ById(Ctl("Option1", 1), 6, "High"),
    ById(Ctl("Option1", 2), 7, "Realtime"),
    ById(Ctl("Label2"), 8, "Non boosted programs:"),
    ById(Ctl("Command1"), 9, "Remove"),
    ById(Ctl("Command2"), 10, "Add"),
    ById(Ctl("Command3"), 11, "Current"),
    ById(Ctl("chkAutostart"), kIdStartWithSystem, "Autostart"),
    ById(Ctl("chkAutoUpdate"), 34, "AutoUpdate"),
    // The tray menu's switch always reads the same as the check box it toggles.
    CopyOf(Mnu("mnuPop1Activate"), Ctl("chkActive"), "Toggle Activate Talvex"),
    ById(Mnu("mnuPop1Exit"), 13, "Exit Talvex"),
    ById(Mnu("mnuPop1Show"), 14, "Show Talvex"),
    ById(Mnu("mnuPop2AutoBoost"), 24, "Always Boost"),
    ById(Mnu("mnuPop2NoBoost"), 25, "Never Boost"),
    ById(Mnu("mnuPop2AutoboostAboveNormal"), 5, "Above Normal"),
    ById(Mnu("mnuPop2AutoBoostHigh"), 6, "High"),
    ById(Mnu("mnuPop2AutoBoostRealtime"), 7, "Realtime"),
    ById(Mnu("mnuPop2Delete"), 9, "Delete"),
    ById(Mnu("mnuPop2AutoBoostOff"), 26, "Off"),
    ById(Mnu("mnuPop1Update"), 36, "Check for Update"),
    KeepCaption(Mnu("mnuPop1Advanced"), 45, "Show Advanced Window"),
    KeepCaption(Mnu("mnuPop2NoBkgObservation"), 46, "No Background Observation"),
    WithDefault(Mnu("mnuPop2HangUp"), 54, "No hang up observation", "Disable hang up observation"),
    WithDefault(Mnu("mnuPop2HangUpMsg"), 59, "No hangup observation message",
                "No hang up observation message"),
};

const std::array<TextMemberEntry, 5> kTextMembers = {{
    {TextMember::txtTalvexStarted, "txtTalvexStarted", 15},
    {TextMember::txtPriority, "txtPriority", 16},
    {TextMember::txtProcessId, "txtProcessId", 17},
    {TextMember::txtWindow, "txtWindow", 18},
    {TextMember::txtAppAlreadyRunning, "txtAppAlreadyRunning", 19},
}};

const std::array<PriorityNameEntry, 7> kPriorityNameOrder = {{
    {PriorityNameSlot::sNameAboveNormal, "sNameAboveNormal", 5, 0},
    {PriorityNameSlot::sNameBelowNormal, "sNameBelowNormal", 20, -1},
    {PriorityNameSlot::sNameHigh, "sNameHigh", 6, 1},
    {PriorityNameSlot::sNameIdle, "sNameIdle", 21, -1},
    {PriorityNameSlot::sNameRealtime, "sNameRealtime", 7, 2},
    {PriorityNameSlot::sNameOther, "sNameOther", 22, -1},
    {PriorityNameSlot::sNameNormal, "sNameNormal", 23, -1},
}};

std::set<std::int16_t> TranslateTextIds() {
    std::set<std::int16_t> ids;
    for (const TranslateElement& element : kTranslateElements) {
        if (element.defaultKind != DefaultKind::CopyOf) ids.insert(element.iId);
    }
    for (const TextMemberEntry& entry : kTextMembers) ids.insert(entry.iId);
    for (const PriorityNameEntry& entry : kPriorityNameOrder) ids.insert(entry.iId);
    // (the other system's text too: every language file serves both)
    ids.insert({kIdStartWithSession, kIdStartWithWindows});
    return ids;
}

void ApplyTranslation(const StringTable& strings, ITranslateTarget& target) {
    for (const TranslateElement& item : kTranslateElements) {
        std::string text;
        switch (item.defaultKind) {
            case DefaultKind::CopyOf:
                text = target.Caption(item.copyOf);
                break;
            case DefaultKind::CurrentCaption:
                text = strings.Lang(item.iId, false, false, false, target.Caption(item.element));
                break;
            case DefaultKind::Given:
                text = strings.Lang(item.iId, false, false, false, item.sDefault);
                break;
            case DefaultKind::None:
                text = strings.Lang(item.iId, false, false, false, {});
                break;
        }
        target.SetCaption(item.element, text);
    }
    for (const TextMemberEntry& entry : kTextMembers) {
        target.SetTextMember(entry.member, strings.Lang(entry.iId, false, false, false, {}));
    }
    for (const PriorityNameEntry& entry : kPriorityNameOrder) {
        const std::string name =
            entry.iOptionIndex >= 0
                ? target.Caption({ElementKind::Control, "Option1", entry.iOptionIndex})
                : strings.Lang(entry.iId, false, false, false, {});
        target.SetPriorityName(entry.slot, name);
    }
}

}  // namespace talvex
