#pragma once

#include <cstdint>

#include "gui/framework/Event.h"

namespace framework {

// The common base of everything that can be the sender of an event: forms, timers, controls.
class Component {
public:
    Component() = default;
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;
    virtual ~Component() = default;
};

enum MouseButton { mbLeft, mbRight, mbMiddle };

// Shift state of a mouse or key event: modifier keys and held mouse buttons.
enum ShiftFlag : unsigned {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20,
    ssDouble = 0x40,
};
using ShiftState = unsigned;

using NotifyEvent = Event<Component*>;
using MouseEvent = Event<Component*, MouseButton, ShiftState, int, int>;
using MouseMoveEvent = Event<Component*, ShiftState, int, int>;
// A virtual key and the shift state; a handler that zeroes the key consumes it.
using KeyEvent = Event<Component*, std::uint16_t&, ShiftState>;

} // namespace framework
