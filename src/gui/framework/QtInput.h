#pragma once

// Translation of Qt's input state into the framework's; used by the framework's own widgets.

#include <Qt>

#include "gui/framework/Component.h"

namespace framework {

inline ShiftState ShiftFromQt(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    ShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= ssShift;
    if (modifiers & Qt::AltModifier)
        shift |= ssAlt;
    if (modifiers & Qt::ControlModifier)
        shift |= ssCtrl;
    if (buttons & Qt::LeftButton)
        shift |= ssLeft;
    if (buttons & Qt::RightButton)
        shift |= ssRight;
    if (buttons & Qt::MiddleButton)
        shift |= ssMiddle;
    return shift;
}

// False for buttons the framework does not report (back, forward, ...).
inline bool ButtonFromQt(Qt::MouseButton qtButton, MouseButton& button)
{
    switch (qtButton) {
    case Qt::LeftButton:
        button = mbLeft;
        return true;
    case Qt::RightButton:
        button = mbRight;
        return true;
    case Qt::MiddleButton:
        button = mbMiddle;
        return true;
    default:
        return false;
    }
}

} // namespace framework
