#pragma once
// Small value types shared by the user-interface services: positions in twips,
// colours, control kinds, message-box flags and the tray icon's mouse messages.

#include <cstdint>
#include <string>

namespace talvex::platform {

/// A position and size in twips (1/1440 inch; 15 twips are one pixel at 96 dpi).
/// For a line, (left, top) is its start and (left + width, top + height) its end.
struct TwipsRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const TwipsRect&) const = default;
};

/// An RGB colour.
struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

/// A picture of the program's own artwork, by name: "shuttle" (window and tray icon
/// while boosting is on), "stop" (tray icon while boosting is off), "flag-de",
/// "flag-en", "flag-fr", "banner" (vertical name banner), "warning" and "gradient"
/// (the main window's background). Empty means no picture.
using Picture = std::string;

enum class ControlKind {
    Label,         // caption; several lines when the text holds line breaks
    CheckBox,      // Value 0 unchecked, 1 checked, 2 greyed
    OptionButton,  // Value 1 selected, 0 not; one selected per group
    ListBox,       // Items, ListIndex (-1 none)
    TextBox,       // Text
    PushButton,    // Caption
    Frame,         // a captioned group frame drawn beneath later controls
    Picture,       // shows a Picture; may be hidden and serve only as a holder
    Shape,         // rounded rectangle: fill colour and border colour
    Line,          // straight line in the border colour
    Slider,        // Value between Min and Max
    ReportList,    // a table: Columns with header texts, Rows of cells, ListIndex (-1 none)
};

/// What changed on a control or form, so that a backend redraws only that.
enum class UiProperty {
    Caption,
    Value,
    Items,
    Rect,
    Visible,
    Enabled,
    Picture,
    Style,
    Range,
    Keyboard,  // tab stop or default button
    Focus,     // the program moves the keyboard focus to the control
    Columns,   // the header of a report list
};

/// Mouse buttons as event handlers receive them.
inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;
inline constexpr int kMiddleButton = 4;

/// Mouse messages of the tray icon (the platform's message numbers).
inline constexpr std::int32_t WM_MOUSEMOVE = 512;
inline constexpr std::int32_t WM_LBUTTONDOWN = 513;
inline constexpr std::int32_t WM_LBUTTONUP = 514;
inline constexpr std::int32_t WM_LBUTTONDBLCLK = 515;
inline constexpr std::int32_t WM_RBUTTONDOWN = 516;
inline constexpr std::int32_t WM_RBUTTONUP = 517;
inline constexpr std::int32_t WM_MBUTTONUP = 520;

/// Keys as key handlers receive them: the platform's virtual-key numbers. Letters and
/// digits are their upper-case ASCII codes ('A' is 65).
inline constexpr std::int32_t vbKeyBack = 8;
inline constexpr std::int32_t vbKeyTab = 9;
inline constexpr std::int32_t vbKeyReturn = 13;
inline constexpr std::int32_t vbKeyEscape = 27;
inline constexpr std::int32_t vbKeySpace = 32;
inline constexpr std::int32_t vbKeyPageUp = 33;
inline constexpr std::int32_t vbKeyPageDown = 34;
inline constexpr std::int32_t vbKeyEnd = 35;
inline constexpr std::int32_t vbKeyHome = 36;
inline constexpr std::int32_t vbKeyLeft = 37;
inline constexpr std::int32_t vbKeyUp = 38;
inline constexpr std::int32_t vbKeyRight = 39;
inline constexpr std::int32_t vbKeyDown = 40;
inline constexpr std::int32_t vbKeyDelete = 46;
inline constexpr std::int32_t vbKeyApps = 93;  // the context-menu key
inline constexpr std::int32_t vbKeyF2 = 113;
inline constexpr std::int32_t vbKeyF10 = 121;

/// Shift states of key and mouse handlers; combine with |.
inline constexpr int vbShiftMask = 1;
inline constexpr int vbCtrlMask = 2;
inline constexpr int vbAltMask = 4;

/// Message-box buttons and icons; combine one of each with |. vbDefaultButton2 makes
/// the second button (No of Yes/No) the one Enter chooses.
enum MsgBoxStyle : std::int32_t {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton2 = 256,
};
/// The button that closed a message box.
enum MsgBoxResult : std::int32_t { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

/// Why a form is asked to close.
enum class CloseReason {
    UserClose,     // the title-bar button, system menu or keyboard
    ProgramClose,  // the program closes the form itself
    SessionEnd,    // the desktop session ends
    TaskManager,   // the program is told to end from outside (a termination signal)
};

/// Border styles of a form.
enum class FormBorder { FixedToolWindow, FixedDialog, Sizable };

}  // namespace talvex::platform
