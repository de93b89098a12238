// The windowed control of the kit: the input a control feeds its widget, hover tracking with
// auto-repeat, painting.

#include "gui/controls/GsWidget.h"

#include <algorithm>

#include "gui/framework/Form.h"

GsCustomControl::GsCustomControl(framework::Component* owner) : framework::Control(owner) {}

GsCustomControl::~GsCustomControl()
{
    ReleaseWidget();
}

gs::GsWidget* GsCustomControl::Widget()
{
    if (!m_Widget) {
        m_Widget = CreateWidget();
        if (m_Widget)
            m_Widget->SetOwner(this);
    }
    return m_Widget.get();
}

void GsCustomControl::ReleaseWidget()
{
    m_Widget.reset();
}

void GsCustomControl::RenderTo(graphics::Bitmap* bitmap)
{
    if (!bitmap)
        return;
    bitmap->SetSize(Width(), Height());
    RenderControl(bitmap, RenderMode::BitmapOnly);
}

bool GsCustomControl::HitTest(int x, int y)
{
    return x >= 0 && x < Width() && y >= 0 && y < Height();
}

void GsCustomControl::AdjustToWidget()
{
    if (gs::GsWidget* widget = Widget())
        SetBounds(Left(), Top(), widget->Width(), widget->Height());
}

void GsCustomControl::MouseDown(framework::MouseButton button, framework::ShiftState shift, int x, int y)
{
    if (button == framework::mbLeft)
        m_LeftPressed = true;
    const framework::LifeWatch life = Life();
    if (gs::GsWidget* widget = Widget())
        widget->MouseDown(button, shift, x, y);
    if (life.expired())
        return;
    framework::Control::MouseDown(button, shift, x, y);
}

void GsCustomControl::MouseUp(framework::MouseButton button, framework::ShiftState shift, int x, int y)
{
    if (button == framework::mbLeft)
        m_LeftPressed = false;
    m_HoverTime = kHoverTime;
    const framework::LifeWatch life = Life();
    if (gs::GsWidget* widget = Widget())
        widget->MouseUp(button, shift, x, y);
    if (life.expired())
        return;
    framework::Control::MouseUp(button, shift, x, y);
}

void GsCustomControl::MouseMove(framework::ShiftState shift, int x, int y)
{
    if (!(shift & framework::ssLeft))
        m_HoverTime = kHoverTime;
    const framework::LifeWatch life = Life();
    if (HitTest(x, y)) {
        if (!m_MouseInside || m_LeftPressed) {
            const bool firstEntry = !m_MouseInside && !m_LeftPressed;
            ArmTracking();
            m_MouseInside = true;
            if (firstEntry)
                OnMouseEnter(this);
            if (life.expired())
                return;
        }
    } else {
        m_MouseInside = false;
    }
    if (gs::GsWidget* widget = Widget())
        widget->MouseMove(shift, x, y);
    if (life.expired())
        return;
    framework::Control::MouseMove(shift, x, y);
}

void GsCustomControl::ArmTracking()
{
    TrackMouse(m_Repeated ? framework::Tracking::LeaveAndHover : framework::Tracking::LeaveOnly,
               m_HoverTime);
}

void GsCustomControl::TrackedMouseLeave()
{
    m_MouseInside = false;
    const framework::LifeWatch life = Life();
    if (gs::GsWidget* widget = Widget())
        widget->MouseLeave();
    if (life.expired())
        return;
    OnMouseLeave(this);
}

void GsCustomControl::MouseHover(framework::ShiftState shift, int x, int y)
{
    // Only what the platform's hover message carries: buttons, Shift and Ctrl; the position
    // as two unsigned 16-bit halves.
    shift &= framework::ssLeft | framework::ssRight | framework::ssMiddle | framework::ssShift |
             framework::ssCtrl;
    x &= 0xFFFF;
    y &= 0xFFFF;
    const framework::LifeWatch life = Life();
    if (shift & framework::ssLeft)
        MouseDown(framework::mbLeft, shift, x, y);
    else if (shift & framework::ssRight)
        MouseDown(framework::mbRight, shift, x, y);
    else if (shift & framework::ssMiddle)
        MouseDown(framework::mbMiddle, shift, x, y);
    if (life.expired())
        return;
    if (shift & framework::ssLeft)
        m_HoverTime = std::max(m_HoverTime - kHoverRepeatStep, kShortestHoverTime);
    else
        m_HoverTime = kHoverTime;
    ArmTracking();
}

void GsCustomControl::CaptureChanged()
{
    m_LeftPressed = false;
    framework::Control::CaptureChanged();
}

void GsCustomControl::SetEnabled(bool enabled)
{
    framework::Control::SetEnabled(enabled);
    if (gs::GsWidget* widget = Widget())
        widget->SetEnabled(enabled);
    Invalidate();
}

bool GsCustomControl::EraseBkgnd()
{
    EraseBackground();
    return true;
}

void GsCustomControl::Paint()
{
    const framework::LifeWatch life = Life();
    {
        graphics::Bitmap bitmap(Width(), Height(), graphics::pf32bit);
        RenderControl(&bitmap, RenderMode::ToSurface);
    }
    if (life.expired())
        return;
    OnAfterPaint(this);
}

void GsCustomControl::RepaintForFocus()
{
    // The kit draws no focus look of its own; on a form, what focus changes on screen is the
    // form's focus mark, shown only once the keyboard is in use. Before that a repaint would
    // recompose the window for the same picture (at every activation of the window).
    const framework::Form* form = ParentForm();
    if (!form || form->FocusCues())
        Invalidate();
}

void GsCustomControl::DoEnter()
{
    RepaintForFocus();
    framework::Control::DoEnter();
}

void GsCustomControl::DoExit()
{
    RepaintForFocus();
    framework::Control::DoExit();
}
