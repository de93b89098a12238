#include "gui/framework/FormHost.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QWindow>
#include <utility>

#include "gui/framework/Application.h"
#include "gui/framework/Control.h"
#include "gui/framework/Form.h"
#include "gui/framework/QtInput.h"

namespace framework {

namespace {

bool CanPlaceWindows()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

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
    const qreal scale = devicePixelRatioF();
    if (scale != 1.0 && !image.isNull()) {
        const QSize device(DevicePixels(image.width(), scale), DevicePixels(image.height(), scale));
        image = image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        image.setDevicePixelRatio(scale);
        if (!m_Detail.isNull() && m_Detail.size() == device) {
            QPainter painter(&image);
            painter.drawImage(QPointF(0, 0), m_Detail);
        }
    }
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
    // A move handed to the window manager at the press could start after a quick release
    // (touchpads send press and release together) and carry the window with no button held;
    // so the move waits for the pointer to leave the press point.
    m_Drag = Drag::Armed;
    m_DragOffset = m_PressGlobal - pos();
}

bool FormHost::FollowDrag(const MouseInput& in)
{
    if (m_Drag == Drag::None)
        return false;
    if (!(in.shift & ssLeft)) {
        m_Drag = Drag::None;
        return false;
    }
    if (m_Drag == Drag::Armed) {
        if ((in.global - m_PressGlobal).manhattanLength() < QApplication::startDragDistance())
            return false;
        // Where the program places its own windows (X11, with or without a window manager)
        // the window follows the pointer by hand, the pressed pixel under it from the first
        // motion on: a move handed to an X window manager now would start from the pointer's
        // place past the drag distance, not from the press. On Wayland only the compositor
        // moves windows.
        if (!CanPlaceWindows() && windowHandle() && windowHandle()->startSystemMove()) {
            m_Drag = Drag::None;
            return true;
        }
        m_Drag = Drag::Manual;
    }
    move(in.global - m_DragOffset);
    return true;
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
    m_Drag = Drag::None; // the form's handler arms a new one
    Guarded([&] { m_Form.MouseDown(in.button, in.shift, in.position.x(), in.position.y()); });
}

void FormHost::MouseReleased(const MouseInput& in)
{
    if (in.button == mbLeft)
        m_Drag = Drag::None;
    Guarded([&] { m_Form.MouseUp(in.button, in.shift, in.position.x(), in.position.y()); });
}

void FormHost::MouseMoved(const MouseInput& in)
{
    if (FollowDrag(in))
        return;
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
