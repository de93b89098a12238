#include "gui/framework/ControlWidget.h"

#include <QKeyEvent>

#include "gui/framework/Application.h"
#include "gui/framework/Control.h"
#include "gui/framework/Form.h"
#include "gui/framework/QtInput.h"

namespace framework {

ControlWidget::ControlWidget(Control* control) : InputWidget(nullptr), m_Control(control)
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

// Qt tells assistive technology of every enabled change, and the first such notification
// starts the accessibility bridge, which connects to the session bus (tens of milliseconds,
// longer when the bus must first be launched). A widget not on screen has no state to report:
// its window's show starts the bridge after the first frame, and assistive technology reads
// the widget's state then. Nothing else is lost: this widget draws nothing of its own.
void ControlWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isVisible())
        return;
    QWidget::changeEvent(event);
}

void ControlWidget::paintEvent(QPaintEvent*) {}

void ControlWidget::Deliver(const MouseInput& input, const std::function<void()>& call)
{
    if (!m_Control)
        return;
    m_Control->Track(input.shift, input.position.x(), input.position.y());
    Guarded(call);
}

void ControlWidget::MousePressed(const MouseInput& in)
{
    Deliver(in, [&] { m_Control->MouseDown(in.button, in.shift, in.position.x(), in.position.y()); });
}

void ControlWidget::MouseReleased(const MouseInput& in)
{
    Deliver(in, [&] { m_Control->MouseUp(in.button, in.shift, in.position.x(), in.position.y()); });
}

void ControlWidget::MouseMoved(const MouseInput& in)
{
    Deliver(in, [&] { m_Control->MouseMove(in.shift, in.position.x(), in.position.y()); });
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
    if (!m_Control)
        return;
    const bool byKeyboard = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    Form* form = m_Control->ParentForm();
    Guarded([&] {
        if (byKeyboard && form)
            form->ShowFocusCues();
        m_Control->DoEnter();
    });
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
        // The form previews every key (window-wide keys such as Return and Escape).
        if (Form* form = m_Control->ParentForm(); form && key != 0)
            form->KeyDown(key, shift);
        if (!m_Control)
            return;
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
