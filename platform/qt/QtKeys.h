#pragma once
// Qt's keys and modifiers as the program's key handlers receive them.

#include <QKeyEvent>
#include <cstdint>

#include "platform/UiTypes.h"

namespace talvex::platform::qt {

/// The vbKey... code of a key; 0 for keys the program has no use for.
inline std::int32_t VbKeyOf(const QKeyEvent& event) {
    const int key = event.key();
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return key;  // the same codes as upper-case ASCII
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
    switch (key) {
        case Qt::Key_Backspace:
            return vbKeyBack;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return vbKeyTab;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return vbKeyReturn;
        case Qt::Key_Escape:
            return vbKeyEscape;
        case Qt::Key_Space:
            return vbKeySpace;
        case Qt::Key_PageUp:
            return vbKeyPageUp;
        case Qt::Key_PageDown:
            return vbKeyPageDown;
        case Qt::Key_End:
            return vbKeyEnd;
        case Qt::Key_Home:
            return vbKeyHome;
        case Qt::Key_Left:
            return vbKeyLeft;
        case Qt::Key_Up:
            return vbKeyUp;
        case Qt::Key_Right:
            return vbKeyRight;
        case Qt::Key_Down:
            return vbKeyDown;
        case Qt::Key_Delete:
            return vbKeyDelete;
        case Qt::Key_Menu:
            return vbKeyApps;
        default:
            return 0;
    }
}

/// vbShiftMask, vbCtrlMask and vbAltMask of the modifiers held.
inline int ShiftOf(Qt::KeyboardModifiers mods) {
    return (mods & Qt::ShiftModifier ? vbShiftMask : 0) |
           (mods & Qt::ControlModifier ? vbCtrlMask : 0) | (mods & Qt::AltModifier ? vbAltMask : 0);
}

/// The shift state of a key: Backtab is Tab with Shift, whatever Qt reports.
inline int ShiftOf(const QKeyEvent& event) {
    return ShiftOf(event.modifiers()) | (event.key() == Qt::Key_Backtab ? vbShiftMask : 0);
}

}  // namespace talvex::platform::qt
