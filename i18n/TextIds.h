#pragma once
// Every text id the program looks up, by name, with the text shown when the language
// file has none. The language files carry exactly these ids. An empty default means the
// lookup has no text of its own: Lang then shows "Translation Error!" (or, for a
// caption, the caller keeps what the control shows now).

#include <array>
#include <cstdint>
#include <string_view>

namespace talvex {

enum class TextId : std::int16_t {
    // The main window's controls and menus, set by Translate
    Advanced = 2,
    AlwaysOnTop = 3,
    Active = 4,
    AboveNormal = 5,
    High = 6,
    Realtime = 7,
    RuleListCaption = 8,
    Remove = 9,
    Add = 10,
    Current = 11,
    Autostart = 12,
    ExitTalvex = 13,
    ShowTalvex = 14,
    // The main window's text members
    TalvexStarted = 15,
    Priority = 16,
    ProcessId = 17,
    Window = 18,
    AppAlreadyRunning = 19,
    // Priority names
    BelowNormal = 20,
    Idle = 21,
    Unknown = 22,
    Normal = 23,
    // The rule menu
    AlwaysBoost = 24,
    NeverBoost = 25,
    Off = 26,
    // The update check
    PublishedVersion = 28,
    OwnVersion = 29,
    UpdateQuestion = 30,
    UpdateQuestionEnd = 31,
    NoUpdate = 32,
    NoUpdateEnd = 33,
    AutoUpdate = 34,
    NoVersionData = 35,
    CheckForUpdate = 36,
    // The Advanced window
    AdvancedCaption = 37,
    LastActions = 38,
    AdvancedOptions = 39,
    BackgroundObservation = 40,
    BelowNormalThreshold = 41,
    IdleThreshold = 42,
    SettingsSaved = 43,
    AddPrompt = 44,
    ShowAdvancedWindow = 45,
    NoBkgObservation = 46,
    Apply = 47,
    // The action log
    ForegroundChanged = 48,
    CriticalTurnOff = 49,
    LoweringBusy = 50,
    RestoringPriority = 51,
    // The hang-up warning and its rule menu entries
    NoCheckAgain = 52,
    Warning = 53,
    NoHangUpObservation = 54,
    EditPrompt = 55,
    HangUpObservation = 56,
    HangUpSliderText = 57,
    NoMessageAgain = 58,
    NoHangUpObservationMsg = 59,
    // Notices of the start and of the desktop
    NoRaiseRightNotice = 60,
    NoTrayNotice = 61,
    Starting = 62,
    Build = 63,
    RefreshRate = 64,
    Footer = 65,
    Ok = 66,
    TransferError = 67,
    NoUpdateCheck = 68,
    UnreachableDesktop = 69,
    // The Advanced window's list of changes held now
    HeldCaption = 80,
    HeldRow = 81,
    LeverPriority = 82,
    LeverSessionGroup = 83,
    WhyByRule = 84,
    WhyByGlobalLevel = 85,
    WhyBusyInBackground = 86,
    WhyTurnedOff = 87,
    HeldPutBack = 88,
    HeldAddRule = 89,
    HeldCount = 90,
    LeverCpuGroup = 91,
    WhyChangedByOther = 92,
    LeftAloneAfterChange = 93,
    // Windows only: the input box's second button, and the autostart box's words there
    Cancel = 120,
    StartWithWindows = 121,
    // What the desktop withholds: a settings file that cannot be saved, no right to raise
    // priorities, no notification area
    SettingsNotSaved = 126,
    NoRightBalloon = 127,
    NoRightTooltip = 128,
    NoRightLine = 129,
    NoRightWhy = 130,
    MenuButton = 131,
    NoTopmostHere = 132,
    // The Advanced window's table of changes held now: the column headers
    HeldColumnProgram = 140,
    HeldColumnPid = 141,
    HeldColumnLever = 142,
    HeldColumnBefore = 143,
    HeldColumnNow = 144,
    HeldColumnWhy = 145,
    HeldColumnSince = 146,
};

struct TextIdEntry {
    TextId id;
    std::string_view sName;
    std::string_view sDefault;  // empty: "Translation Error!" when the file has no text
};

// clang-format off
inline constexpr std::array<TextIdEntry, 97> kTextIds = {{
    {TextId::Advanced, "Advanced", ""},
    {TextId::AlwaysOnTop, "AlwaysOnTop", ""},
    {TextId::Active, "Active", ""},
    {TextId::AboveNormal, "AboveNormal", "Above Normal"},
    {TextId::High, "High", "High"},
    {TextId::Realtime, "Realtime", "Realtime"},
    {TextId::RuleListCaption, "RuleListCaption", ""},
    {TextId::Remove, "Remove", ""},
    {TextId::Add, "Add", ""},
    {TextId::Current, "Current", ""},
    {TextId::Autostart, "Autostart", ""},
    {TextId::ExitTalvex, "ExitTalvex", ""},
    {TextId::ShowTalvex, "ShowTalvex", ""},
    {TextId::TalvexStarted, "TalvexStarted", ""},
    {TextId::Priority, "Priority", ""},
    {TextId::ProcessId, "ProcessId", ""},
    {TextId::Window, "Window", ""},
    {TextId::AppAlreadyRunning, "AppAlreadyRunning", ""},
    {TextId::BelowNormal, "BelowNormal", "Below Normal"},
    {TextId::Idle, "Idle", "Idle"},
    {TextId::Unknown, "Unknown", "Unknown"},
    {TextId::Normal, "Normal", "Normal"},
    {TextId::AlwaysBoost, "AlwaysBoost", ""},
    {TextId::NeverBoost, "NeverBoost", ""},
    {TextId::Off, "Off", ""},
    {TextId::PublishedVersion, "PublishedVersion", ""},
    {TextId::OwnVersion, "OwnVersion", ""},
    {TextId::UpdateQuestion, "UpdateQuestion", ""},
    {TextId::UpdateQuestionEnd, "UpdateQuestionEnd", ""},
    {TextId::NoUpdate, "NoUpdate", ""},
    {TextId::NoUpdateEnd, "NoUpdateEnd", ""},
    {TextId::AutoUpdate, "AutoUpdate", ""},
    {TextId::NoVersionData, "NoVersionData", ""},
    {TextId::CheckForUpdate, "CheckForUpdate", ""},
    {TextId::AdvancedCaption, "AdvancedCaption", "Talvex: Advanced"},
    {TextId::LastActions, "LastActions", "Last Actions"},
    {TextId::AdvancedOptions, "AdvancedOptions", "Advanced Options"},
    {TextId::BackgroundObservation, "BackgroundObservation", "Enable background process observation"},
    {TextId::BelowNormalThreshold, "BelowNormalThreshold", ""},
    {TextId::IdleThreshold, "IdleThreshold", ""},
    {TextId::SettingsSaved, "SettingsSaved", "Settings were saved."},
    {TextId::AddPrompt, "AddPrompt", "Which Program?"},
    {TextId::ShowAdvancedWindow, "ShowAdvancedWindow", ""},
    {TextId::NoBkgObservation, "NoBkgObservation", ""},
    {TextId::Apply, "Apply", "Apply"},
    {TextId::ForegroundChanged, "ForegroundChanged", "Foreground application changed: %1"},
    {TextId::CriticalTurnOff, "CriticalTurnOff",
     "Found current app at critical CPU usage: %1. Acceleration is turned off."},
    {TextId::LoweringBusy, "LoweringBusy",
     "Found %1 running at >%2% cpu usage. Switching to priority %3."},
    {TextId::RestoringPriority, "RestoringPriority", "Restoring priority of %1 to %2."},
    {TextId::NoCheckAgain, "NoCheckAgain", "Do noch check this app again"},
    {TextId::Warning, "Warning", "Warning"},
    {TextId::NoHangUpObservation, "NoHangUpObservation", "No hang up observation"},
    {TextId::EditPrompt, "EditPrompt", "Edit Program"},
    {TextId::HangUpObservation, "HangUpObservation", "Hangup observation"},
    {TextId::HangUpSliderText, "HangUpSliderText",
     "If an application has a cpu usage over 95% for over %1s boosting is turned off."},
    {TextId::NoMessageAgain, "NoMessageAgain", "Do not display this message again for this app"},
    {TextId::NoHangUpObservationMsg, "NoHangUpObservationMsg", "No hangup observation message"},
    {TextId::NoRaiseRightNotice, "NoRaiseRightNotice",
     "Talvex may not raise the priority of programs here: neither its helper, which alone may "
     "hold that right, nor a nice limit of your user allows it.\n\n"
     "What works: it follows the program in front, shows its status, notices a program that "
     "hangs and keeps the action log.\n\n"
     "What does not: it does not boost the program in front, and it lowers no busy background "
     "program either, since it could not give it its priority back.\n\n"
     "To grant the right to the helper, run once:\n\nsudo setcap cap_sys_nice+ep \"%1\"\n\n"
     "and start Talvex again (or give your user a nice limit: see \"man talvex\"). This "
     "notice is shown once."},
    {TextId::NoTrayNotice, "NoTrayNotice",
     "The desktop has no notification area, so Talvex shows this window instead of an icon. "
     "Closing it ends Talvex."},
    {TextId::Starting, "Starting", "Talvex %1.%2.%3 is starting..."},
    {TextId::Build, "Build", "Build: %1 - %2"},
    {TextId::RefreshRate, "RefreshRate", "Refresh rate: %1 ms"},
    {TextId::Footer, "Footer", "Talvex keeps the program in front quick."},
    {TextId::Ok, "Ok", "Ok"},
    {TextId::TransferError, "TransferError",
     "An error has occured in the file transfer or write.  Please try again later."},
    {TextId::NoUpdateCheck, "NoUpdateCheck", "No update check in this build"},
    {TextId::UnreachableDesktop, "UnreachableDesktop",
     "Talvex cannot see which program is in front on this desktop (%1), so it boosts only "
     "programs that run under X11 (Xwayland).\n\nThe README lists the desktops Talvex "
     "follows and what each needs."},
    {TextId::HeldCaption, "HeldCaption", "Changes held now"},
    {TextId::HeldRow, "HeldRow", "%1 (%2): %3 %4 -> %5, %7, since %6"},
    {TextId::LeverPriority, "LeverPriority", "priority"},
    {TextId::LeverSessionGroup, "LeverSessionGroup", "session group"},
    {TextId::WhyByRule, "WhyByRule", "in front, by its rule"},
    {TextId::WhyByGlobalLevel, "WhyByGlobalLevel", "in front, by the global level"},
    {TextId::WhyBusyInBackground, "WhyBusyInBackground", "busy in the background at %1 %"},
    {TextId::WhyTurnedOff, "WhyTurnedOff", "boosting turned off after a hang-up"},
    {TextId::HeldPutBack, "HeldPutBack", "&Put back now"},
    {TextId::HeldAddRule, "HeldAddRule", "Add a &rule for this program"},
    {TextId::HeldCount, "HeldCount", "%1 boosted, %2 lowered"},
    {TextId::LeverCpuGroup, "LeverCpuGroup", "CPU group weight"},
    {TextId::WhyChangedByOther, "WhyChangedByOther", "left alone: changed by another program"},
    {TextId::LeftAloneAfterChange, "LeftAloneAfterChange",
     "%1 left alone: changed by another program (now %2)."},
    {TextId::Cancel, "Cancel", "Cancel"},
    {TextId::StartWithWindows, "StartWithWindows", "Start with Windows"},
    {TextId::SettingsNotSaved, "SettingsNotSaved", "Settings cannot be saved: %1"},
    {TextId::NoRightBalloon, "NoRightBalloon",
     "Talvex may not raise the priority of programs here, so it boosts nothing. Open its "
     "window to see how to grant the right."},
    {TextId::NoRightTooltip, "NoRightTooltip", "cannot raise priorities"},
    {TextId::NoRightLine, "NoRightLine", "Talvex may not raise priorities here."},
    {TextId::NoRightWhy, "NoRightWhy", "&Why?"},
    {TextId::MenuButton, "MenuButton", "M&enu"},
    {TextId::NoTopmostHere, "NoTopmostHere",
     "This desktop (%1) does not let a program keep its window above the others."},
    {TextId::HeldColumnProgram, "HeldColumnProgram", "Program"},
    {TextId::HeldColumnPid, "HeldColumnPid", "PID"},
    {TextId::HeldColumnLever, "HeldColumnLever", "Lever"},
    {TextId::HeldColumnBefore, "HeldColumnBefore", "Before"},
    {TextId::HeldColumnNow, "HeldColumnNow", "Now"},
    {TextId::HeldColumnWhy, "HeldColumnWhy", "Why"},
    {TextId::HeldColumnSince, "HeldColumnSince", "Since"},
}};
// clang-format on

/// The id as the string table and the language files number it.
constexpr std::int16_t TextNumber(TextId id) {
    return static_cast<std::int16_t>(id);
}

/// The text shown when the language file has none for the id; empty when there is none.
constexpr std::string_view DefaultText(TextId id) {
    for (const TextIdEntry& entry : kTextIds) {
        if (entry.id == id) return entry.sDefault;
    }
    return {};
}

}  // namespace talvex
