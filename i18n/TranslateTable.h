#pragma once
// What the main window's Translate writes where: its controls and menu entries in
// order, the five translated text members and the priority display names. The table
// is plain data; ApplyTranslation walks it against any window that implements
// ITranslateTarget, so the order and the defaults are the same for every backend.

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "i18n/StringTable.h"

namespace talvex {

enum class ElementKind { Control, Menu };

/// One control (optionally an element of a control array) or one menu entry.
struct ElementRef {
    ElementKind kind;
    std::string_view sName;
    std::int16_t iIndex = -1;  // index in a control array; -1 for a single control
};

/// Where an element's default comes from when the language has no text for its id.
enum class DefaultKind {
    None,            // empty default: a missing text shows "Translation Error!"
    Given,           // sDefault
    CurrentCaption,  // the element's present caption, so it keeps its text
    CopyOf,          // no lookup at all: the caption of sCopyOf, as it is just now
};

struct TranslateElement {
    ElementRef element;
    std::int16_t iId;  // 0 for a copied caption
    DefaultKind defaultKind;
    std::string_view sDefault;     // for DefaultKind::Given
    ElementRef copyOf;             // for DefaultKind::CopyOf
    std::string_view sDesignText;  // what the element shows before any translation
};

inline constexpr ElementRef kNoElement{ElementKind::Control, {}, -1};

/// Every control and menu entry Translate sets, in the order it sets them.
extern const std::array<TranslateElement, 27> kTranslateElements;

/// The main window's text members that other code uses for its messages.
enum class TextMember {
    txtTalvexStarted,
    txtPriority,
    txtProcessId,
    txtWindow,
    txtAppAlreadyRunning
};

struct TextMemberEntry {
    TextMember member;
    std::string_view sName;
    std::int16_t iId;
};

extern const std::array<TextMemberEntry, 5> kTextMembers;

/// The seven priority display names, named as the members that hold them.
enum class PriorityNameSlot {
    sNameAboveNormal,
    sNameBelowNormal,
    sNameHigh,
    sNameIdle,
    sNameRealtime,
    sNameOther,
    sNameNormal,
};

struct PriorityNameEntry {
    PriorityNameSlot slot;
    std::string_view sName;
    std::int16_t iId;           // text id looked up, or the id behind the option button
    std::int16_t iOptionIndex;  // -1, or the boost-level option whose caption is the name
};

/// The priority names in the order Translate fills them. The three boost levels take
/// the captions of the option buttons Option1(0..2), so both always read the same.
extern const std::array<PriorityNameEntry, 7> kPriorityNameOrder;

/// The start-with-the-system box says what each system calls it: the table holds the
/// id of the system it is built for.
inline constexpr TextId kIdStartWithSession = TextId::Autostart;  // "Start with my session"
inline constexpr TextId kIdStartWithWindows = TextId::StartWithWindows;

/// Every text id that Translate looks up, on any system.
std::set<std::int16_t> TranslateTextIds();

/// The window side of Translate: reads and writes captions, text members and names.
class ITranslateTarget {
  public:
    virtual ~ITranslateTarget() = default;
    /// The element's caption as it is now.
    virtual std::string Caption(const ElementRef& element) = 0;
    virtual void SetCaption(const ElementRef& element, const std::string& sText) = 0;
    virtual void SetTextMember(TextMember member, const std::string& sText) = 0;
    virtual void SetPriorityName(PriorityNameSlot slot, const std::string& sText) = 0;
};

/// Puts the texts of the loaded table into the target: the elements in table order,
/// then the text members, then the priority names. Every lookup is Lang(id) with no
/// spacing and no capital.
void ApplyTranslation(const StringTable& strings, ITranslateTarget& target);

}  // namespace talvex
