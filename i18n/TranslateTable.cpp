#include "i18n/TranslateTable.h"

namespace talvex {

namespace {

constexpr ElementRef Ctl(std::string_view name, std::int16_t index = -1) {
    return {ElementKind::Control, name, index};
}
constexpr ElementRef Mnu(std::string_view name) {
    return {ElementKind::Menu, name, -1};
}

constexpr TranslateElement ById(ElementRef element, TextId id, std::string_view design) {
    return {element, TextNumber(id), DefaultKind::None, {}, kNoElement, design};
}
constexpr TranslateElement KeepCaption(ElementRef element, TextId id, std::string_view design) {
    return {element, TextNumber(id), DefaultKind::CurrentCaption, {}, kNoElement, design};
}
// The default is the one the table of text ids gives.
constexpr TranslateElement WithDefault(ElementRef element, TextId id, std::string_view design) {
    return {element, TextNumber(id), DefaultKind::Given, DefaultText(id), kNoElement, design};
}
constexpr TranslateElement CopyOf(ElementRef element, ElementRef source, std::string_view design) {
    return {element, 0, DefaultKind::CopyOf, {}, source, design};
}

#ifdef _WIN32
constexpr TextId kIdStartWithSystem = kIdStartWithWindows;
#else
constexpr TextId kIdStartWithSystem = kIdStartWithSession;
#endif

}  // namespace

const std::array<TranslateElement, 27> kTranslateElements = {
    ById(Ctl("chkAdvanced"), TextId::Advanced, "Advanced..."),
    ById(Ctl("chkAlwaysOnTop"), TextId::AlwaysOnTop, "Always On Top"),
    ById(Ctl("chkActive"), TextId::Active, "Active"),
    ById(Ctl("Option1", 0), TextId::AboveNormal, "Above Normal"),
    ById(Ctl("Option1", 1), TextId::High, "High"),
    ById(Ctl("Option1", 2), TextId::Realtime, "Realtime"),
    ById(Ctl("Label2"), TextId::RuleListCaption, "Non boosted programs:"),
    ById(Ctl("Command1"), TextId::Remove, "Remove"),
    ById(Ctl("Command2"), TextId::Add, "Add"),
    ById(Ctl("Command3"), TextId::Current, "Current"),
    ById(Ctl("chkAutostart"), kIdStartWithSystem, "Autostart"),
    ById(Ctl("chkAutoUpdate"), TextId::AutoUpdate, "AutoUpdate"),
    // The tray menu's switch always reads the same as the check box it toggles.
    CopyOf(Mnu("mnuPop1Activate"), Ctl("chkActive"), "Toggle Activate Talvex"),
    ById(Mnu("mnuPop1Exit"), TextId::ExitTalvex, "Exit Talvex"),
    ById(Mnu("mnuPop1Show"), TextId::ShowTalvex, "Show Talvex"),
    ById(Mnu("mnuPop2AutoBoost"), TextId::AlwaysBoost, "Always Boost"),
    ById(Mnu("mnuPop2NoBoost"), TextId::NeverBoost, "Never Boost"),
    ById(Mnu("mnuPop2AutoboostAboveNormal"), TextId::AboveNormal, "Above Normal"),
    ById(Mnu("mnuPop2AutoBoostHigh"), TextId::High, "High"),
    ById(Mnu("mnuPop2AutoBoostRealtime"), TextId::Realtime, "Realtime"),
    ById(Mnu("mnuPop2Delete"), TextId::Remove, "Delete"),
    ById(Mnu("mnuPop2AutoBoostOff"), TextId::Off, "Off"),
    ById(Mnu("mnuPop1Update"), TextId::CheckForUpdate, "Check for Update"),
    KeepCaption(Mnu("mnuPop1Advanced"), TextId::ShowAdvancedWindow, "Show Advanced Window"),
    KeepCaption(Mnu("mnuPop2NoBkgObservation"), TextId::NoBkgObservation,
                "No Background Observation"),
    WithDefault(Mnu("mnuPop2HangUp"), TextId::NoHangUpObservation, "Disable hang up observation"),
    WithDefault(Mnu("mnuPop2HangUpMsg"), TextId::NoHangUpObservationMsg,
                "No hang up observation message"),
};

const std::array<TextMemberEntry, 5> kTextMembers = {{
    {TextMember::txtTalvexStarted, "txtTalvexStarted", TextNumber(TextId::TalvexStarted)},
    {TextMember::txtPriority, "txtPriority", TextNumber(TextId::Priority)},
    {TextMember::txtProcessId, "txtProcessId", TextNumber(TextId::ProcessId)},
    {TextMember::txtWindow, "txtWindow", TextNumber(TextId::Window)},
    {TextMember::txtAppAlreadyRunning, "txtAppAlreadyRunning",
     TextNumber(TextId::AppAlreadyRunning)},
}};

const std::array<PriorityNameEntry, 7> kPriorityNameOrder = {{
    {PriorityNameSlot::sNameAboveNormal, "sNameAboveNormal", TextNumber(TextId::AboveNormal), 0},
    {PriorityNameSlot::sNameBelowNormal, "sNameBelowNormal", TextNumber(TextId::BelowNormal), -1},
    {PriorityNameSlot::sNameHigh, "sNameHigh", TextNumber(TextId::High), 1},
    {PriorityNameSlot::sNameIdle, "sNameIdle", TextNumber(TextId::Idle), -1},
    {PriorityNameSlot::sNameRealtime, "sNameRealtime", TextNumber(TextId::Realtime), 2},
    {PriorityNameSlot::sNameOther, "sNameOther", TextNumber(TextId::Unknown), -1},
    {PriorityNameSlot::sNameNormal, "sNameNormal", TextNumber(TextId::Normal), -1},
}};

std::set<std::int16_t> TranslateTextIds() {
    std::set<std::int16_t> ids;
    for (const TranslateElement& element : kTranslateElements) {
        if (element.defaultKind != DefaultKind::CopyOf) ids.insert(element.iId);
    }
    for (const TextMemberEntry& entry : kTextMembers) ids.insert(entry.iId);
    for (const PriorityNameEntry& entry : kPriorityNameOrder) ids.insert(entry.iId);
    // (the other system's text too: every language file serves both)
    ids.insert({TextNumber(kIdStartWithSession), TextNumber(kIdStartWithWindows)});
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
