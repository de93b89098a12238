#include "gui/framework/Control.h"

#include <QString>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "gui/framework/Application.h"
#include "gui/framework/ControlWidget.h"
#include "gui/framework/Form.h"
#include "gui/framework/GraphicControl.h"
#include "platform/Assert.h"

namespace framework {

std::uint16_t VirtualKeyFromQt(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return static_cast<std::uint16_t>(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<std::uint16_t>(VK_F1 + (qtKey - Qt::Key_F1));
    switch (qtKey) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
        return VK_MENU;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    default:
        return 0;
    }
}

// ---- BaseControl ----

BaseControl::BaseControl(Component* owner) : m_Owner(owner) {}

BaseControl::~BaseControl()
{
    DetachFromParent();
}

void BaseControl::DetachFromParent()
{
    if (m_Parent)
        m_Parent->RemoveChild(this);
    m_Parent = nullptr;
    m_ParentForm = nullptr;
}

void BaseControl::SetBounds(int left, int top, int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (!CanResize(width, height))
        return;
    if (m_AutoSize) {
        int w = width;
        int h = height;
        if (CanAutoSize(w, h)) {
            width = std::max(w, 0);
            height = std::max(h, 0);
        }
    }
    if (left == m_Left && top == m_Top && width == m_Width && height == m_Height)
        return;
    const bool sizeChanged = width != m_Width || height != m_Height;
    m_Left = left;
    m_Top = top;
    m_Width = width;
    m_Height = height;
    BoundsChanged(sizeChanged);
}

graphics::Rect BaseControl::BoundsRect() const
{
    return {m_Left, m_Top, m_Left + m_Width, m_Top + m_Height};
}

graphics::Rect BaseControl::ClientRect() const
{
    return {0, 0, m_Width, m_Height};
}

Form* BaseControl::ParentForm() const
{
    if (m_ParentForm)
        return m_ParentForm;
    return m_Parent ? m_Parent->ParentForm() : nullptr;
}

void BaseControl::SetParent(Control* parent)
{
    if (parent == m_Parent && !m_ParentForm)
        return;
    // A control inside itself would make the parent chain endless.
    for (const BaseControl* p = parent; p; p = p->m_Parent)
        TOLV_ASSERT(p != this);
    DetachFromParent();
    m_Parent = parent;
    if (parent)
        parent->InsertChild(this);
    ParentChanged();
}

void BaseControl::SetParent(Form* form)
{
    if (form == m_ParentForm && !m_Parent)
        return;
    DetachFromParent();
    m_ParentForm = form;
    ParentChanged();
}

void BaseControl::SetVisible(bool visible)
{
    if (m_Visible == visible)
        return;
    m_Visible = visible;
    VisibleChanged();
}

bool BaseControl::Showing() const
{
    return m_Visible && (!m_Parent || m_Parent->Showing());
}

void BaseControl::SetEnabled(bool enabled)
{
    if (m_Enabled == enabled)
        return;
    m_Enabled = enabled;
    EnabledChanged();
}

void BaseControl::SetCaption(const std::string& caption)
{
    if (m_Caption == caption)
        return;
    m_Caption = caption;
    CaptionChanged();
    Invalidate();
}

void BaseControl::SetFont(const graphics::TFont& font)
{
    if (m_Font == font)
        return;
    m_Font = font;
    FontChanged();
    Invalidate();
}

void BaseControl::SetHint(const std::string& hint)
{
    if (m_Hint == hint)
        return;
    m_Hint = hint;
    HintChanged();
}

void BaseControl::SetShowHint(bool show)
{
    if (m_ShowHint == show)
        return;
    m_ShowHint = show;
    HintChanged();
}

void BaseControl::SetAutoSize(bool autoSize)
{
    if (m_AutoSize == autoSize)
        return;
    m_AutoSize = autoSize;
    if (autoSize)
        AdjustSize();
}

void BaseControl::AdjustSize()
{
    if (m_AutoSize)
        SetBounds(m_Left, m_Top, m_Width, m_Height);
}

void BaseControl::SendToBack()
{
    if (m_Parent)
        m_Parent->MoveChild(this, ZOrder::Back);
    else if (auto* control = dynamic_cast<Control*>(this); control && control->Handle())
        control->Handle()->lower();
}

void BaseControl::BringToFront()
{
    if (m_Parent)
        m_Parent->MoveChild(this, ZOrder::Front);
    else if (auto* control = dynamic_cast<Control*>(this); control && control->Handle())
        control->Handle()->raise();
}

void BaseControl::Click()
{
    OnClick(this);
}

bool BaseControl::CanResize(int&, int&)
{
    return true;
}

bool BaseControl::CanAutoSize(int&, int&)
{
    return false;
}

void BaseControl::BoundsChanged(bool sizeChanged)
{
    if (sizeChanged)
        OnResize(this);
}

void BaseControl::MouseDown(MouseButton button, ShiftState shift, int x, int y)
{
    OnMouseDown(this, button, shift, x, y);
}

void BaseControl::MouseUp(MouseButton button, ShiftState shift, int x, int y)
{
    OnMouseUp(this, button, shift, x, y);
}

void BaseControl::MouseMove(ShiftState shift, int x, int y)
{
    OnMouseMove(this, shift, x, y);
}

void BaseControl::MouseEnter()
{
    OnMouseEnter(this);
}

void BaseControl::MouseLeave()
{
    OnMouseLeave(this);
}

// ---- Control ----

Control::Control(Component* owner) : BaseControl(owner)
{
    m_Widget = new ControlWidget(this);
    m_HoverTimer = new QTimer(m_Widget);
    m_HoverTimer->setSingleShot(true);
    m_HoverTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_HoverTimer, &QTimer::timeout, m_Widget, [w = m_Widget] {
        if (w && w->Owner())
            Guarded([&] { w->Owner()->HoverTimeout(); });
    });
}

Control::~Control()
{
    for (BaseControl* child : m_Children) {
        child->m_Parent = nullptr;
        if (auto* control = dynamic_cast<Control*>(child); control && control->m_Widget) {
            control->m_Widget->hide();
            control->m_Widget->setParent(nullptr);
        }
    }
    m_Children.clear();
    if (m_Widget) {
        // The widget may be inside one of its own event handlers (a handler that destroys
        // its control): it is cut loose now and deleted from the event loop.
        if (m_HoverTimer)
            m_HoverTimer->stop();
        m_Widget->Detach();
        m_Widget->hide();
        m_Widget->deleteLater();
    }
}

QWidget* Control::Handle() const
{
    return m_Widget.data();
}

void Control::InsertChild(BaseControl* child)
{
    m_Children.push_back(child);
}

void Control::RemoveChild(BaseControl* child)
{
    m_Children.erase(std::remove(m_Children.begin(), m_Children.end(), child), m_Children.end());
}

void Control::MoveChild(BaseControl* child, ZOrder order)
{
    const bool toFront = order == ZOrder::Front;
    auto it = std::find(m_Children.begin(), m_Children.end(), child);
    if (it == m_Children.end())
        return;
    m_Children.erase(it);
    if (toFront)
        m_Children.push_back(child);
    else
        m_Children.insert(m_Children.begin(), child);
    if (auto* control = dynamic_cast<Control*>(child); control && control->m_Widget) {
        if (toFront)
            control->m_Widget->raise();
        else
            control->m_Widget->lower();
    }
    Invalidate();
}

void Control::Invalidate()
{
    if (m_PaintPending)
        return;
    if (!m_Widget)
        return;
    m_PaintPending = true;
    QMetaObject::invokeMethod(
        m_Widget,
        [w = m_Widget] {
            if (w && w->Owner() && w->Owner()->m_PaintPending)
                Guarded([&] { w->Owner()->PaintHandler(); });
        },
        Qt::QueuedConnection);
}

void Control::Update()
{
    if (m_PaintPending)
        PaintHandler();
}

void Control::PaintHandler()
{
    m_PaintPending = false;
    if (m_Surface.Width() != Width() || m_Surface.Height() != Height())
        m_Surface.SetSize(Width(), Height());
    const LifeWatch life = Life();
    (void)EraseBkgnd(); // the platform never erases: the answer only says it is done
    if (life.expired())
        return;
    Paint();
    if (life.expired())
        return;
    PaintControls();
}

void Control::PaintControls()
{
    graphics::Canvas& canvas = m_Surface.Canvas();
    for (BaseControl* child : m_Children) {
        auto* graphic = dynamic_cast<GraphicControl*>(child);
        if (!graphic || !graphic->Visible())
            continue;
        const graphics::SavedCanvasState saved(canvas, child->BoundsRect());
        graphic->Paint(canvas);
    }
}

void Control::SetTabStop(bool tabStop)
{
    if (m_TabStop == tabStop)
        return;
    m_TabStop = tabStop;
    if (m_Widget)
        m_Widget->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::NoFocus);
}

bool Control::Focused() const
{
    return m_Widget && m_Widget->hasFocus();
}

bool Control::CanFocus() const
{
    if (!m_Widget || !Enabled())
        return false;
    for (const BaseControl* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled())
            return false;
    return true;
}

void Control::SetFocus()
{
    if (m_Widget && CanFocus())
        m_Widget->setFocus(Qt::OtherFocusReason);
}

void Control::TrackMouse(Tracking tracking, int hoverTime)
{
    m_TrackLeave = true;
    if (tracking == Tracking::LeaveAndHover && m_HoverTimer)
        m_HoverTimer->start(std::max(hoverTime, 0));
}

bool Control::HoverPending() const
{
    return m_HoverTimer && m_HoverTimer->isActive();
}

int Control::HoverPendingTime() const
{
    return HoverPending() ? m_HoverTimer->interval() : -1;
}

void Control::FireHover()
{
    if (!HoverPending())
        return;
    m_HoverTimer->stop();
    HoverTimeout();
}

void Control::HoverTimeout()
{
    MouseHover(m_LastShift, m_LastX, m_LastY);
}

void Control::Track(ShiftState shift, int x, int y)
{
    m_LastShift = shift;
    m_LastX = x;
    m_LastY = y;
}

void Control::LeaveFromQt()
{
    const LifeWatch life = Life();
    MouseLeave();
    if (life.expired() || !m_TrackLeave)
        return;
    m_TrackLeave = false;
    if (m_HoverTimer)
        m_HoverTimer->stop();
    TrackedMouseLeave();
}

void Control::LostCapture()
{
    m_Clicked = false;
    m_LastShift &= ~(ssLeft | ssRight | ssMiddle);
    CaptureChanged();
}

void Control::MouseHover(ShiftState, int, int) {}

void Control::DoEnter()
{
    OnEnter(this);
}

void Control::DoExit()
{
    OnExit(this);
}

void Control::KeyDown(std::uint16_t& key, ShiftState shift)
{
    OnKeyDown(this, key, shift);
}

void Control::KeyUp(std::uint16_t& key, ShiftState shift)
{
    OnKeyUp(this, key, shift);
}

void Control::KeyPress(char16_t& key)
{
    OnKeyPress(this, key);
}

void Control::MouseDown(MouseButton button, ShiftState shift, int x, int y)
{
    if (button == mbLeft)
        m_Clicked = true;
    BaseControl::MouseDown(button, shift, x, y);
}

void Control::MouseUp(MouseButton button, ShiftState shift, int x, int y)
{
    if (button == mbLeft && m_Clicked) {
        m_Clicked = false;
        if (x >= 0 && y >= 0 && x < Width() && y < Height()) {
            const LifeWatch life = Life();
            Click();
            if (life.expired())
                return;
        }
    }
    BaseControl::MouseUp(button, shift, x, y);
}

void Control::BoundsChanged(bool sizeChanged)
{
    if (m_Widget)
        m_Widget->setGeometry(Left(), Top(), Width(), Height());
    if (sizeChanged)
        Invalidate();
    BaseControl::BoundsChanged(sizeChanged);
}

void Control::VisibleChanged()
{
    const bool pressed = ButtonsHeld();
    SyncWidgetVisibility();
    if (!Visible() && pressed)
        LostCapture();
    if (Parent())
        Parent()->Invalidate();
}

void Control::EnabledChanged()
{
    const bool pressed = ButtonsHeld();
    if (m_Widget)
        m_Widget->setEnabled(Enabled());
    if (!Enabled() && pressed)
        LostCapture();
    Invalidate();
}

void Control::ParentChanged()
{
    if (!m_Widget)
        return;
    QWidget* host = nullptr;
    if (Parent())
        host = Parent()->Handle();
    else if (ParentFormDirect())
        host = ParentFormDirect()->Host();
    m_Widget->setParent(host);
    m_Widget->setGeometry(Left(), Top(), Width(), Height());
    SyncWidgetVisibility();
}

void Control::SyncWidgetVisibility()
{
    if (!m_Widget)
        return;
    m_Widget->setVisible(Visible() && m_Widget->parentWidget() != nullptr);
}

void Control::HintChanged()
{
    if (m_Widget)
        m_Widget->setToolTip(ShowHint() ? QString::fromStdString(Hint()) : QString());
}

} // namespace framework
