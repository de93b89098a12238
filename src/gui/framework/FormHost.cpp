#include "gui/framework/FormHost.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QWindow>
#include <utility>

#include "gui/framework/Application.h"
#include "gui/framework/Control.h"
#include "gui/framework/Form.h"
#include "gui/framework/QtInput.h"

namespace framework {

FormHost::FormHost(Form& form) : InputWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_Form(form)
{
    // Chosen once, before the native window exists: an X11 window gets its alpha visual at
    // creation. Opaque forms simply paint every pixel with alpha 255.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
}

void FormHost::SetLayered(bool layered)
{
    if (m_Layered == layered)
        return;
    m_Layered = layered;
    if (!layered)
        m_Image = QImage();
    update();
}

void FormHost::SetOpaqueColor(QColor color)
{
    if (m_Color == color)
        return;
    m_Color = color;
    if (!m_Layered)
        update();
}

void FormHost::SetImage(QImage image)
{
    m_Image = std::move(image);
    update();
}

void FormHost::SetBounds(const QRect& bounds)
{
    setFixedSize(bounds.size());
    move(bounds.topLeft());
}

void FormHost::ApplyExStyle(std::uint32_t style)
{
    Qt::WindowFlags flags = Qt::FramelessWindowHint;
    const bool tool = (style & WS_EX_TOOLWINDOW) && !(style & WS_EX_APPWINDOW);
    flags |= tool ? Qt::Tool : Qt::Window;
    if (style & WS_EX_TOPMOST)
        flags |= Qt::WindowStaysOnTopHint;
    if (style & WS_EX_TRANSPARENT)
        flags |= Qt::WindowTransparentForInput;
    if (flags == windowFlags())
        return;
    // New flags rebuild the native window, which hides it; keep place and visibility.
    const QRect geometry = this->geometry();
    const bool visible = isVisible();
    setWindowFlags(flags);
    SetBounds(geometry);
    if (visible)
        show();
}

void FormHost::StartDrag()
{
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_ManualDrag = true;
    m_DragOffset = m_PressGlobal - pos();
}

void FormHost::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (!m_Layered) {
        QColor opaque = m_Color;
        opaque.setAlpha(255);
        painter.fillRect(rect(), opaque);
        return;
    }
    painter.fillRect(rect(), Qt::transparent);
    if (!m_Image.isNull())
        painter.drawImage(0, 0, m_Image);
}

void FormHost::MousePressed(const MouseInput& in)
{
    m_PressGlobal = in.global;
    Guarded([&] { m_Form.MouseDown(in.button, in.shift, in.position.x(), in.position.y()); });
}

void FormHost::MouseReleased(const MouseInput& in)
{
    if (in.button == mbLeft)
        m_ManualDrag = false;
    Guarded([&] { m_Form.MouseUp(in.button, in.shift, in.position.x(), in.position.y()); });
}

void FormHost::MouseMoved(const MouseInput& in)
{
    if (m_ManualDrag) {
        if (in.shift & ssLeft) {
            move(in.global - m_DragOffset);
            return;
        }
        m_ManualDrag = false;
    }
    Guarded([&] { m_Form.MouseMove(in.shift, in.position.x(), in.position.y()); });
}

void FormHost::closeEvent(QCloseEvent* event)
{
    // The window manager's close goes through the form's own close rules.
    event->ignore();
    Guarded([&] { m_Form.Close(); });
}

void FormHost::keyPressEvent(QKeyEvent* event)
{
    std::uint16_t key = VirtualKeyFromQt(event->key());
    if (key == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    const ShiftState shift = ShiftFromQt(Qt::NoButton, event->modifiers());
    Guarded([&] { m_Form.KeyDown(key, shift); });
}

} // namespace framework
