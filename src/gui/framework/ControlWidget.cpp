#include "gui/framework/ControlWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "gui/framework/Application.h"
#include "gui/framework/Control.h"
#include "gui/framework/QtInput.h"

namespace framework {

ControlWidget::ControlWidget(Control* control) : QWidget(nullptr), m_Control(control)
{
    // Input only: the window's own composition shows the control, so Qt must neither fill a
    // background here nor expect this widget to draw.
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

bool ControlWidget::event(QEvent* event)
{
    // An ended grab, or the window losing activation (a dialog opened from a handler takes
    // the release), means the release of a held button will not come here.
    const bool lost = event->type() == QEvent::UngrabMouse ||
                      (event->type() == QEvent::WindowDeactivate && m_Control && m_Control->ButtonsHeld());
    if (lost && m_Control)
        Guarded([this] { m_Control->LostCapture(); });
    return QWidget::event(event);
}

void ControlWidget::paintEvent(QPaintEvent*) {}

void ControlWidget::Press(QMouseEvent* event, bool isDouble)
{
    MouseButton button;
    if (!m_Control || !ButtonFromQt(event->button(), button))
        return;
    ShiftState shift = ShiftFromQt(event->buttons(), event->modifiers());
    if (isDouble)
        shift |= ssDouble;
    const QPoint p = event->position().toPoint();
    m_Control->Track(shift, p.x(), p.y());
    Guarded([&] { m_Control->MouseDown(button, shift, p.x(), p.y()); });
}

void ControlWidget::mousePressEvent(QMouseEvent* event)
{
    Press(event, false);
}

void ControlWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    Press(event, true);
}

void ControlWidget::mouseReleaseEvent(QMouseEvent* event)
{
    MouseButton button;
    if (!m_Control || !ButtonFromQt(event->button(), button))
        return;
    const ShiftState shift = ShiftFromQt(event->buttons(), event->modifiers());
    const QPoint p = event->position().toPoint();
    m_Control->Track(shift, p.x(), p.y());
    Guarded([&] { m_Control->MouseUp(button, shift, p.x(), p.y()); });
}

void ControlWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_Control)
        return;
    const ShiftState shift = ShiftFromQt(event->buttons(), event->modifiers());
    const QPoint p = event->position().toPoint();
    m_Control->Track(shift, p.x(), p.y());
    Guarded([&] { m_Control->MouseMove(shift, p.x(), p.y()); });
}

void ControlWidget::enterEvent(QEnterEvent*)
{
    if (m_Control)
        Guarded([this] { m_Control->MouseEnter(); });
}

void ControlWidget::leaveEvent(QEvent*)
{
    if (m_Control)
        Guarded([this] { m_Control->LeaveFromQt(); });
}

void ControlWidget::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    if (m_Control)
        Guarded([this] { m_Control->DoEnter(); });
}

void ControlWidget::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    if (m_Control)
        Guarded([this] { m_Control->DoExit(); });
}

void ControlWidget::keyPressEvent(QKeyEvent* event)
{
    if (!m_Control) {
        QWidget::keyPressEvent(event);
        return;
    }
    std::uint16_t key = VirtualKeyFromQt(event->key());
    const ShiftState shift = ShiftFromQt(Qt::NoButton, event->modifiers());
    const QString text = event->text();
    Guarded([&] {
        if (key != 0)
            m_Control->KeyDown(key, shift);
        // A handler that zeroes the key consumes it: no character follows.
        if (key == 0 && VirtualKeyFromQt(event->key()) != 0)
            return;
        for (QChar ch : text) {
            if (!m_Control)
                return;
            char16_t c = ch.unicode();
            m_Control->KeyPress(c);
        }
    });
}

void ControlWidget::keyReleaseEvent(QKeyEvent* event)
{
    if (!m_Control) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    std::uint16_t key = VirtualKeyFromQt(event->key());
    const ShiftState shift = ShiftFromQt(Qt::NoButton, event->modifiers());
    if (key != 0)
        Guarded([&] { m_Control->KeyUp(key, shift); });
}

} // namespace framework
