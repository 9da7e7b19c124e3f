// Applying the translation table to a window: defaults, copies and the priority names.
#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

#include "i18n/StringTable.h"
#include "i18n/TranslateTable.h"
#include "i18n/modLang.h"

namespace talvex {
namespace {

constexpr const char* kError = "Translation Error!";

// A window made of captions only, starting with the design texts.
class CaptionWindow final : public ITranslateTarget {
  public:
    CaptionWindow() {
        for (const TranslateElement& item : kTranslateElements) {
            captions[Key(item.element)] = std::string(item.sDesignText);
        }
    }
    std::string Caption(const ElementRef& element) override { return captions.at(Key(element)); }
    void SetCaption(const ElementRef& element, const std::string& sText) override {
        captions.at(Key(element)) = sText;
        order.emplace_back(element.sName);
    }
    void SetTextMember(TextMember member, const std::string& sText) override {
        members[member] = sText;
    }
    void SetPriorityName(PriorityNameSlot slot, const std::string& sText) override {
        names[slot] = sText;
        nameOrder.push_back(slot);
    }
    std::string& At(ElementKind kind, std::string_view name, std::int16_t index = -1) {
        return captions.at(Key({kind, name, index}));
    }

    std::map<std::tuple<ElementKind, std::string, int>, std::string> captions;
    std::map<TextMember, std::string> members;
    std::map<PriorityNameSlot, std::string> names;
    std::vector<std::string> order;
    std::vector<PriorityNameSlot> nameOrder;

  private:
    static std::tuple<ElementKind, std::string, int> Key(const ElementRef& e) {
        return {e.kind, std::string(e.sName), e.iIndex};
    }
};

StringTable Table(std::string_view contents) {
    StringTable table;
    modLang::LoadLanguageText(table, contents);
    return table;
}

TEST(TranslateTableTest, WithoutTextsOnlyDefaultsAndKeptCaptionsAvoidTheErrorText) {
    CaptionWindow window;
    ApplyTranslation(Table(""), window);
    for (const TranslateElement& item : kTranslateElements) {
        const std::string& shown = window.captions.at(
            {item.element.kind, std::string(item.element.sName), item.element.iIndex});
        SCOPED_TRACE(std::string(item.element.sName));
        switch (item.defaultKind) {
            case DefaultKind::None:
            case DefaultKind::CopyOf:  // copies chkActive, which has no default either
                EXPECT_EQ(shown, kError);
                break;
            case DefaultKind::CurrentCaption:
                EXPECT_EQ(shown, item.sDesignText);
                break;
            case DefaultKind::Given:
                EXPECT_EQ(shown, item.sDefault);
                break;
        }
    }
    EXPECT_EQ(window.At(ElementKind::Menu, "mnuPop1Advanced"), "Show Advanced Window");
    EXPECT_EQ(window.At(ElementKind::Menu, "mnuPop2NoBkgObservation"), "No Background Observation");
    EXPECT_EQ(window.At(ElementKind::Menu, "mnuPop2HangUp"), "No hang up observation");
    EXPECT_EQ(window.At(ElementKind::Menu, "mnuPop2HangUpMsg"), "No hangup observation message");
    EXPECT_EQ(window.members.size(), 5u);
    for (const auto& [member, text] : window.members) EXPECT_EQ(text, kError);
    EXPECT_EQ(window.names.size(), 7u);
    for (const auto& [slot, text] : window.names) EXPECT_EQ(text, kError);
}

TEST(TranslateTableTest, MenuSwitchAndBoostNamesFollowTheirControls) {
    CaptionWindow window;
    ApplyTranslation(Table("4=Aktiv\n5=Erh\xC3\xB6ht\n6=Hoch\n7=Echtzeit\n20=Niedriger\n"
                           "21=Niedrig\n22=Unbekannt\n23=Normal\n15=Gestartet\n16=Prio\n"),
                     window);
    EXPECT_EQ(window.At(ElementKind::Control, "chkActive"), "Aktiv");
    EXPECT_EQ(window.At(ElementKind::Menu, "mnuPop1Activate"), "Aktiv");
    EXPECT_EQ(window.At(ElementKind::Control, "Option1", 1), "Hoch");
    EXPECT_EQ(window.At(ElementKind::Menu, "mnuPop2AutoBoostHigh"), "Hoch");
    EXPECT_EQ(window.names[PriorityNameSlot::sNameHigh], "Hoch");
    EXPECT_EQ(window.names[PriorityNameSlot::sNameAboveNormal], "Erh\xC3\xB6ht");
    EXPECT_EQ(window.names[PriorityNameSlot::sNameRealtime], "Echtzeit");
    EXPECT_EQ(window.names[PriorityNameSlot::sNameBelowNormal], "Niedriger");
    EXPECT_EQ(window.names[PriorityNameSlot::sNameIdle], "Niedrig");
    EXPECT_EQ(window.names[PriorityNameSlot::sNameOther], "Unbekannt");
    EXPECT_EQ(window.names[PriorityNameSlot::sNameNormal], "Normal");
    EXPECT_EQ(window.members[TextMember::txtTalvexStarted], "Gestartet");
    EXPECT_EQ(window.members[TextMember::txtPriority], "Prio");
    EXPECT_EQ(window.members[TextMember::txtWindow], kError);
    // Names are filled in their fixed order, after every control.
    const std::vector<PriorityNameSlot> expected = {
        PriorityNameSlot::sNameAboveNormal, PriorityNameSlot::sNameBelowNormal,
        PriorityNameSlot::sNameHigh,        PriorityNameSlot::sNameIdle,
        PriorityNameSlot::sNameRealtime,    PriorityNameSlot::sNameOther,
        PriorityNameSlot::sNameNormal};
    EXPECT_EQ(window.nameOrder, expected);
    EXPECT_EQ(window.order.size(), kTranslateElements.size());
}

TEST(TranslateTableTest, OptionCaptionIsReadBackForTheName) {
    // A window that shortens what it is given (as a control might) still gives the
    // name the same text the button shows.
    class Shortening final : public ITranslateTarget {
      public:
        std::string Caption(const ElementRef& e) override {
            return captions[std::string(e.sName) + std::to_string(e.iIndex)];
        }
        void SetCaption(const ElementRef& e, const std::string& s) override {
            captions[std::string(e.sName) + std::to_string(e.iIndex)] = s.substr(0, 4);
        }
        void SetTextMember(TextMember, const std::string&) override {}
        void SetPriorityName(PriorityNameSlot slot, const std::string& s) override {
            names[slot] = s;
        }
        std::map<std::string, std::string> captions;
        std::map<PriorityNameSlot, std::string> names;
    } window;
    ApplyTranslation(Table("6=Highest\n4=Activated\n"), window);
    EXPECT_EQ(window.names[PriorityNameSlot::sNameHigh], "High");
    EXPECT_EQ(window.captions["mnuPop1Activate-1"], "Acti");
}

TEST(TranslateTableTest, KeptCaptionSurvivesALanguageWithoutIt) {
    CaptionWindow window;
    ApplyTranslation(Table("45=Fen\xC3\xAAtre avanc\xC3\xA9"
                           "e\n46=Sans surveillance\n"),
                     window);
    EXPECT_EQ(window.At(ElementKind::Menu, "mnuPop1Advanced"),
              "Fen\xC3\xAAtre avanc\xC3\xA9"
              "e");
    ApplyTranslation(Table("2=Advanced...\n"), window);
    EXPECT_EQ(window.At(ElementKind::Menu, "mnuPop1Advanced"),
              "Fen\xC3\xAAtre avanc\xC3\xA9"
              "e");
    EXPECT_EQ(window.At(ElementKind::Menu, "mnuPop2NoBkgObservation"), "Sans surveillance");
    // Elements with a fixed default do not keep the old language.
    ApplyTranslation(Table("54=Ohne\n"), window);
    ApplyTranslation(Table(""), window);
    EXPECT_EQ(window.At(ElementKind::Menu, "mnuPop2HangUp"), "No hang up observation");
}

TEST(TranslateTableTest, TheAutostartBoxSaysWhatThisSystemCallsIt) {
    // Both texts in one language, as every language file carries them.
    const StringTable strings = Table("12=&Start with my session\n121=&Start with Windows\n");
    CaptionWindow window;
    ApplyTranslation(strings, window);
#ifdef _WIN32
    EXPECT_EQ(window.At(ElementKind::Control, "chkAutostart"), "&Start with Windows");
#else
    EXPECT_EQ(window.At(ElementKind::Control, "chkAutostart"), "&Start with my session");
#endif
}

}  // namespace
}  // namespace talvex
