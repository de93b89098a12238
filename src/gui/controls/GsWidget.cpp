#include "gui/controls/GsWidget.h"

#include <QString>
#include <algorithm>
#include <optional>

#include "gui/controls/GsLabel.h"
#include "gui/graphics/image.h"

using framework::MouseButton;
using framework::ShiftState;

namespace gs {

// ---- GsWidget ----

GsWidget::GsWidget() = default;

GsWidget::~GsWidget()
{
    // Children hold a back-pointer to this widget; cut it before they go.
    for (auto& child : m_Children)
        child->m_Parent = nullptr;
    m_Children.clear();
}

bool GsWidget::HitTest(int x, int y)
{
    return x >= m_Left && x < m_Left + m_Width && y >= m_Top && y < m_Top + m_Height;
}

void GsWidget::SetParent(GsWidget* parent)
{
    if (parent == m_Parent)
        return;
    for (const GsWidget* p = parent; p; p = p->m_Parent)
        if (p == this)
            return; // a widget inside itself would own itself
    std::unique_ptr<GsWidget> self;
    if (m_Parent) {
        auto& siblings = m_Parent->m_Children;
        auto it = std::find_if(siblings.begin(), siblings.end(),
                               [this](const std::unique_ptr<GsWidget>& c) { return c.get() == this; });
        if (it != siblings.end()) {
            self = std::move(*it);
            siblings.erase(it);
        }
        if (m_Parent->m_Captured == this)
            m_Parent->m_Captured = nullptr;
    }
    m_Parent = parent;
    if (parent)
        parent->m_Children.push_back(self ? std::move(self) : std::unique_ptr<GsWidget>(this));
    else
        (void)self.release(); // a widget without a parent belongs to whoever took it out
}

void GsWidget::SetLeft(int left)
{
    SetBounds(left, m_Top, m_Width, m_Height);
}

void GsWidget::SetTop(int top)
{
    SetBounds(m_Left, top, m_Width, m_Height);
}

void GsWidget::SetWidth(int width)
{
    SetBounds(m_Left, m_Top, width, m_Height);
}

void GsWidget::SetHeight(int height)
{
    SetBounds(m_Left, m_Top, m_Width, height);
}

void GsWidget::SetEnabled(bool enabled)
{
    if (m_Enabled == enabled)
        return;
    m_Enabled = enabled;
    if (HasOption(ShareEvents))
        for (auto& child : m_Children)
            child->SetEnabled(enabled);
    Invalidate();
}

void GsWidget::SetVisible(bool visible)
{
    if (m_Visible == visible)
        return;
    m_Visible = visible;
    Invalidate();
}

void GsWidget::SetText(const std::string& text)
{
    if (m_Text == text)
        return;
    m_Text = text;
    Invalidate();
}

void GsWidget::SetAutoSize(bool autoSize)
{
    m_AutoSize = autoSize;
}

void GsWidget::Paint(graphics::Bitmap*, const graphics::Rect&) {}

void GsWidget::DoMouseMove(ShiftState, int, int) {}
void GsWidget::DoMouseDown(MouseButton, ShiftState, int, int) {}
void GsWidget::DoMouseUp(MouseButton, ShiftState, int, int) {}
void GsWidget::DoMouseLeave() {}
void GsWidget::DoMouseEnter() {}
void GsWidget::DoClick() {}

bool GsWidget::CanAutoSize(int&, int&)
{
    return true;
}

bool GsWidget::CanResize(int&, int&)
{
    return true;
}

bool GsWidget::NegotiateSize(int& width, int& height)
{
    int w1 = width;
    int h1 = height;
    if (!CanResize(w1, h1))
        return false;
    if (!m_AutoSize) {
        width = w1;
        height = h1;
        return true;
    }
    int w2 = w1;
    int h2 = h1;
    if (CanAutoSize(w2, h2) && w2 == w1 && h2 == h1) {
        width = w2;
        height = h2;
        return true;
    }
    if (CanResize(w2, h2)) {
        width = w2;
        height = h2;
        return true;
    }
    return false;
}

void GsWidget::SetBounds(int left, int top, int width, int height)
{
    if (!NegotiateSize(width, height))
        return;
    const bool sizeChanged = width != m_Width || height != m_Height;
    m_Left = left;
    m_Top = top;
    m_Width = width;
    m_Height = height;
    if (sizeChanged)
        OnResize(this);
}

GsWidget* GsWidget::Root()
{
    GsWidget* w = this;
    while (w->m_Parent)
        w = w->m_Parent;
    return w;
}

void GsWidget::Invalidate()
{
    if (GsCustomControl* owner = Root()->m_Owner)
        owner->Invalidate();
}

void GsWidget::SetAlphaValue(std::uint8_t value)
{
    m_AlphaValue = value;
    Invalidate();
}

void GsWidget::SetContentSize(int width, int height)
{
    m_ContentWidth = std::max(width, 0);
    m_ContentHeight = std::max(height, 0);
}

bool GsWidget::Eligible(const GsWidget* child) const
{
    return !child->m_MouseTransparent && child->m_Visible && child->m_Enabled;
}

GsWidget* GsWidget::ChildAt(int x, int y)
{
    for (auto& child : m_Children)
        if (Eligible(child.get()) && child->HitTest(x, y))
            return child.get();
    return nullptr;
}

void GsWidget::MouseEnterSelf()
{
    if (m_Hovered)
        return;
    m_Hovered = true;
    DoMouseEnter();
    OnMouseEnter(this);
}

void GsWidget::MouseMove(ShiftState shift, int x, int y)
{
    if (!m_Enabled || m_MouseTransparent || !m_Visible)
        return;
    const int lx = x - m_Left + m_ScrollOrigin.x;
    const int ly = y - m_Top + m_ScrollOrigin.y;
    GsWidget* const before = m_Captured;
    if (m_Captured && m_Captured != this && !(shift & framework::ssLeft))
        m_Captured = nullptr;
    GsWidget* target = (m_Captured && m_Captured != this) ? m_Captured : ChildAt(lx, ly);
    for (auto& child : m_Children)
        if (child.get() != target)
            child->MouseLeave();
    MouseEnterSelf();
    if (target) {
        target->MouseMove(shift, lx, ly);
        if (HasOption(ShareEvents))
            OnMouseMove(this, shift, x, y);
    } else {
        DoMouseMove(shift, x, y);
        OnMouseMove(this, shift, x, y);
    }
    if (before != m_Captured)
        Invalidate();
}

void GsWidget::MouseDown(MouseButton button, ShiftState shift, int x, int y)
{
    if (!m_Enabled || m_MouseTransparent || !m_Visible)
        return;
    const int lx = x - m_Left + m_ScrollOrigin.x;
    const int ly = y - m_Top + m_ScrollOrigin.y;
    GsWidget* const before = m_Captured;
    GsWidget* target = nullptr;
    if (m_Captured && m_Captured != this) {
        target = m_Captured;
        m_Captured->MouseDown(button, shift, x, y);
    } else {
        target = ChildAt(lx, ly);
        if (target) {
            m_Captured = target;
            target->MouseDown(button, shift, lx, ly);
        }
    }
    if (!target || HasOption(ShareEvents)) {
        if (!target)
            m_Captured = this;
        DoMouseDown(button, shift, x, y);
        OnMouseDown(this, button, shift, x, y);
    }
    if (m_Observer)
        m_Observer->CaptureHolder(m_Captured != this ? m_Captured : nullptr);
    if (before != m_Captured)
        Invalidate();
}

void GsWidget::MouseUp(MouseButton button, ShiftState shift, int x, int y)
{
    if (!m_Enabled || m_MouseTransparent || !m_Visible)
        return;
    const int lx = x - m_Left + m_ScrollOrigin.x;
    const int ly = y - m_Top + m_ScrollOrigin.y;
    GsWidget* const before = m_Captured;
    GsWidget* child = (m_Captured && m_Captured != this) ? m_Captured : ChildAt(lx, ly);
    if (child) {
        child->MouseUp(button, shift, lx, ly);
        if (!child->m_Captured)
            m_Captured = nullptr;
    } else if (button == framework::mbLeft && m_Captured == this) {
        if (HasOption(ClickOnRelease))
            Click();
        m_Captured = nullptr;
        DoMouseUp(button, shift, x, y);
        OnMouseUp(this, button, shift, x, y);
    }
    if (before != m_Captured)
        Invalidate();
}

void GsWidget::MouseLeave()
{
    if (!m_Enabled || m_MouseTransparent || !m_Visible || !m_Hovered)
        return;
    for (auto& child : m_Children)
        child->MouseLeave();
    GsWidget* const before = m_Captured;
    m_Captured = nullptr;
    m_Hovered = false;
    DoMouseLeave();
    OnMouseLeave(this);
    if (before)
        Invalidate();
}

void GsWidget::Click()
{
    if (!m_Enabled || m_MouseTransparent || !m_Visible)
        return;
    DoClick();
    OnClick(this);
}

void GsWidget::Render(graphics::Bitmap* target, const graphics::Rect& rect)
{
    if (!m_Visible || !target)
        return;
    graphics::Canvas& canvas = target->Canvas();
    const graphics::Point origin = canvas.ViewportOrigin();
    const std::optional<graphics::Region> clip = canvas.ClipRegion();
    canvas.MoveViewportOrigin(rect.Left, rect.Top);
    canvas.IntersectClipRect({0, 0, rect.Width(), rect.Height()});
    if (HasOption(ScrolledContent))
        RenderScrolled(target, rect);
    else
        RenderNormal(target, rect);
    canvas.SetClipRegion(clip);
    canvas.SetViewportOrigin(origin);
    OnPaint(this, target, rect);
}

void GsWidget::RenderNormal(graphics::Bitmap* target, const graphics::Rect&)
{
    Paint(target, {0, 0, m_Width, m_Height});
    for (auto& child : m_Children)
        child->Render(target, child->BoundsRect());
}

void GsWidget::RenderScrolled(graphics::Bitmap* target, const graphics::Rect& rect)
{
    graphics::Bitmap content(m_ContentWidth, m_ContentHeight, graphics::pf32bit);
    content.Canvas().Brush().Color = graphics::clBlack;
    Paint(&content, {0, 0, m_ContentWidth, m_ContentHeight});
    for (auto& child : m_Children)
        child->Render(&content, child->BoundsRect());
    graphics::BlendLayer(target, {0, 0, rect.Width(), rect.Height()}, &content, m_ScrollOrigin, 255);
}

void GsWidget::ComposeImage(graphics::Bitmap* target, graphics::Point position, graphics::Bitmap* image)
{
    if (!target || !image || image->Empty())
        return;
    const graphics::Rect rect{position.x, position.y, position.x + image->Width(),
                              position.y + image->Height()};
    if (target->PixelFormat() == graphics::pf32bit) {
        if (image->PixelFormat() != graphics::pf32bit)
            image->SetPixelFormat(graphics::pf32bit);
        if (m_AlphaFormat != gafPremultiplied)
            graphics::PremultiplyAlpha(image);
        if (m_AlphaFormat == gafIgnored) {
            graphics::PutBitmapArea(&target->Canvas(), rect, image, {0, 0});
            return;
        }
        graphics::BlendLayer(target, rect, image, {0, 0}, m_AlphaValue);
        return;
    }
    if (image->PixelFormat() != graphics::pf32bit)
        image->SetPixelFormat(graphics::pf32bit);
    // The straight blend works on raw rows and knows nothing of the surface's origin and clip
    // region that Render sets up; through the surface the image lands where the widget is.
    if (m_AlphaFormat != gafPremultiplied)
        graphics::DrawLayerOnCanvasSoftware(&target->Canvas(), rect, image, {0, 0}, m_AlphaValue);
    else
        graphics::BlendLayer(target, rect, image, {0, 0}, m_AlphaValue);
}

// ---- WdgCustomControl ----

WdgCustomControl::WdgCustomControl() : m_TextMargins(std::make_unique<GsTextMargins>()) {}

WdgCustomControl::~WdgCustomControl() = default;

void WdgCustomControl::SetTextMargins(const GsTextMargins& margins)
{
    if (&margins == m_TextMargins.get())
        return;
    // The widget's own margins have no listener: new margins show at the next repaint.
    *m_TextMargins = margins;
}

unsigned WdgCustomControl::TextFormat() const
{
    unsigned flags = 0;
    switch (m_Alignment) {
    case taLeftJustify:
        flags = graphics::DT_LEFT;
        break;
    case taRightJustify:
        flags = graphics::DT_RIGHT;
        break;
    case taCenter:
        flags = graphics::DT_CENTER;
        break;
    }
    if (m_Layout == tlCenter)
        flags |= graphics::DT_VCENTER;
    else if (m_Layout == tlBottom)
        flags |= graphics::DT_BOTTOM;
    if (m_WordWrap)
        flags |= graphics::DT_WORDBREAK;
    else
        flags |= graphics::DT_SINGLELINE | graphics::DT_VCENTER;
    return flags;
}

void WdgCustomControl::DrawText(graphics::Bitmap* bitmap, ButtonState state)
{
    if (!bitmap)
        return;
    graphics::Rect r{m_TextMargins->Left(), m_TextMargins->Top(), Width() - m_TextMargins->Right(),
                     Height() - m_TextMargins->Bottom()};
    const unsigned flags = TextFormat();
    GsOuterGlowTextEffectPainter* painter = GetTextEffect(state);
    if (!painter)
        return;
    const std::u16string text = QString::fromStdString(Text()).toStdU16String();
    if (m_WordWrap && m_Layout != tlTop) {
        graphics::Rect measured = r;
        painter->Measure(&bitmap->Canvas(), text, measured, flags);
        if (measured.Height() < r.Height()) {
            const int d = r.Height() - measured.Height();
            r.Top += m_Layout == tlBottom ? d : d / 2;
        }
    }
    painter->Draw(bitmap, text, r, flags, 0, 1);
}

} // namespace gs

// ---- GsCustomControl ----

GsCustomControl::GsCustomControl(framework::Component* owner) : framework::Control(owner) {}

GsCustomControl::~GsCustomControl()
{
    ReleaseWidget();
}

gs::GsWidget* GsCustomControl::Widget()
{
    if (!m_Widget) {
        m_Widget.reset(CreateWidget());
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
    RenderControl(bitmap, false);
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
    std::weak_ptr<int> life = Life();
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
    m_HoverTime = 200;
    std::weak_ptr<int> life = Life();
    if (gs::GsWidget* widget = Widget())
        widget->MouseUp(button, shift, x, y);
    if (life.expired())
        return;
    framework::Control::MouseUp(button, shift, x, y);
}

void GsCustomControl::MouseMove(framework::ShiftState shift, int x, int y)
{
    if (!(shift & framework::ssLeft))
        m_HoverTime = 200;
    std::weak_ptr<int> life = Life();
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
    TrackMouse(m_Repeated, m_HoverTime);
}

void GsCustomControl::TrackedMouseLeave()
{
    m_MouseInside = false;
    std::weak_ptr<int> life = Life();
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
    std::weak_ptr<int> life = Life();
    if (shift & framework::ssLeft)
        MouseDown(framework::mbLeft, shift, x, y);
    else if (shift & framework::ssRight)
        MouseDown(framework::mbRight, shift, x, y);
    else if (shift & framework::ssMiddle)
        MouseDown(framework::mbMiddle, shift, x, y);
    if (life.expired())
        return;
    if (shift & framework::ssLeft)
        m_HoverTime = m_HoverTime > 39 ? m_HoverTime - 20 : 20;
    else
        m_HoverTime = 200;
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
    std::weak_ptr<int> life = Life();
    {
        graphics::Bitmap bitmap(Width(), Height(), graphics::pf32bit);
        RenderControl(&bitmap, true);
    }
    if (life.expired())
        return;
    OnAfterPaint(this);
}

void GsCustomControl::DoEnter()
{
    Invalidate();
    framework::Control::DoEnter();
}

void GsCustomControl::DoExit()
{
    Invalidate();
    framework::Control::DoExit();
}
