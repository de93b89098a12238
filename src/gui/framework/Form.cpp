#include "gui/framework/Form.h"

#include <QString>
#include <cmath>

#include "gui/framework/Application.h"
#include "gui/framework/Control.h"
#include "gui/framework/FocusChain.h"
#include "gui/framework/FormHost.h"

namespace framework {

namespace {
QColor FromColorRef(std::uint32_t color)
{
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}
} // namespace

Form::Form() : m_Host(std::make_unique<FormHost>(*this))
{
    m_Host->SetOpaqueColor(FromColorRef(m_Color));
}

Form::~Form() = default;

void Form::Create()
{
    if (m_Created)
        return;
    m_Created = true;
    Guarded([this] { DoCreate(); });
}

void Form::SetCaption(const std::string& caption)
{
    if (m_Caption == caption)
        return;
    m_Caption = caption;
    m_Host->setWindowTitle(QString::fromStdString(caption));
}

int Form::Left() const
{
    return m_Host->x();
}

int Form::Top() const
{
    return m_Host->y();
}

int Form::Width() const
{
    return m_Host->width();
}

int Form::Height() const
{
    return m_Host->height();
}

void Form::SetBounds(int left, int top, int width, int height)
{
    m_Host->SetBounds(QRect(left, top, width < 0 ? 0 : width, height < 0 ? 0 : height));
}

void Form::SetColor(std::uint32_t color)
{
    m_Color = color & 0x00FFFFFF;
    m_Host->SetOpaqueColor(FromColorRef(m_Color));
}

void Form::SetVisible(bool visible)
{
    if (m_Visible == visible)
        return;
    if (visible) {
        Create();
        m_Visible = true;
        // The show event comes before the window appears, so a handler can push the
        // window's first picture without a flash of an empty window.
        Guarded([this] { DoShow(); });
        if (m_Visible)
            m_Host->show();
    } else {
        m_Visible = false;
        Guarded([this] { DoHide(); });
        if (!m_Visible)
            m_Host->hide();
    }
}

WindowState Form::GetWindowState() const
{
    const Qt::WindowStates state = m_Host->windowState();
    if (state & Qt::WindowMinimized)
        return wsMinimized;
    if (state & Qt::WindowMaximized)
        return wsMaximized;
    return wsNormal;
}

void Form::SetWindowState(WindowState state)
{
    Qt::WindowStates qtState = m_Host->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == wsMinimized)
        qtState |= Qt::WindowMinimized;
    else if (state == wsMaximized)
        qtState |= Qt::WindowMaximized;
    m_Host->setWindowState(qtState);
}

void Form::Restore()
{
    SetWindowState(wsNormal);
    SetVisible(true);
}

void Form::BringToFront()
{
    m_Host->raise();
    m_Host->activateWindow();
}

bool Form::CloseQuery()
{
    bool canClose = true;
    OnCloseQuery(this, canClose);
    return canClose;
}

void Form::Close()
{
    if (!CloseQuery())
        return;
    CloseAction action = caHide;
    DoClose(action);
    if (action == caNone)
        return;
    Application* app = Application::Instance();
    if (app && app->MainForm() == this) {
        app->Terminate();
        return;
    }
    switch (action) {
    case caHide:
        Hide();
        break;
    case caMinimize:
        Minimize();
        break;
    case caFree:
        Hide();
        if (app)
            app->ReleaseForm(this);
        break;
    case caNone:
        break;
    }
}

void Form::SetExStyle(std::uint32_t style)
{
    ++m_ExStyleWrites;
    m_ExStyle = style;
    m_Host->ApplyExStyle(style);
    m_Host->SetLayered((style & WS_EX_LAYERED) != 0);
}

void Form::Redraw()
{
    if (m_Host->isVisible())
        m_Host->repaint();
    else
        m_Host->update();
}

int DevicePixels(int length, double scale)
{
    return static_cast<int>(std::ceil(length * scale));
}

double Form::DeviceScale() const
{
    return m_Host->devicePixelRatioF();
}

void Form::SetDetailLayer(const QImage& layer)
{
    m_Host->SetDetailLayer(layer);
}

void Form::KeyDown(std::uint16_t& key, ShiftState shift)
{
    ShowFocusCues();
    OnKeyDown(this, key, shift);
}

void Form::ShowFocusCues()
{
    if (m_FocusCues)
        return;
    m_FocusCues = true;
    if (Control* focused = FocusedControl(*this))
        focused->Invalidate();
}

void Form::StartWindowDrag()
{
    m_Host->StartDrag();
}

QWidget* Form::Host() const
{
    return m_Host.get();
}

void Form::MouseDown(MouseButton button, ShiftState shift, int x, int y)
{
    OnMouseDown(this, button, shift, x, y);
}

void Form::MouseUp(MouseButton button, ShiftState shift, int x, int y)
{
    OnMouseUp(this, button, shift, x, y);
}

void Form::MouseMove(ShiftState shift, int x, int y)
{
    OnMouseMove(this, shift, x, y);
}

void Form::DoCreate()
{
    OnCreate(this);
}

void Form::DoShow()
{
    OnShow(this);
}

void Form::DoHide()
{
    OnHide(this);
}

void Form::DoClose(CloseAction& action)
{
    OnClose(this, action);
}

} // namespace framework
