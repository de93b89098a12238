#include "gui/framework/InputWidget.h"

#include <QMouseEvent>

#include "gui/framework/QtInput.h"

namespace framework {

namespace {

MouseInput InputOf(const QMouseEvent& event)
{
    MouseInput input;
    input.shift = ShiftFromQt(event.buttons(), event.modifiers());
    input.position = event.position().toPoint();
    input.global = event.globalPosition().toPoint();
    return input;
}

} // namespace

void InputWidget::Press(QMouseEvent* event, PressKind kind)
{
    MouseInput input = InputOf(*event);
    if (!ButtonFromQt(event->button(), input.button))
        return;
    if (kind == PressKind::Double)
        input.shift |= ssDouble;
    MousePressed(input);
}

void InputWidget::mousePressEvent(QMouseEvent* event)
{
    Press(event, PressKind::Single);
}

void InputWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    Press(event, PressKind::Double);
}

void InputWidget::mouseReleaseEvent(QMouseEvent* event)
{
    MouseInput input = InputOf(*event);
    if (ButtonFromQt(event->button(), input.button))
        MouseReleased(input);
}

void InputWidget::mouseMoveEvent(QMouseEvent* event)
{
    MouseMoved(InputOf(*event));
}

} // namespace framework
