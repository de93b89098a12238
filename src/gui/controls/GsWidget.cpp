#include "gui/controls/GsWidget.h"

#include <QString>
#include <algorithm>
#include <utility>

#include "gui/controls/GsLabel.h"
#include "gui/graphics/image.h"
#include "platform/Assert.h"

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
    // Destroyed from outside while the parent owns it: the parent lets go without freeing.
    if (m_Parent)
        (void)m_Parent->TakeChild(this).release();
}

bool GsWidget::HitTest(int x, int y)
{
    return x >= m_Bounds.Left && x < m_Bounds.Right && y >= m_Bounds.Top && y < m_Bounds.Bottom;
}

void GsWidget::SetParent(GsWidget* parent)
{
    if (parent == m_Parent)
        return;
    for (const GsWidget* p = parent; p; p = p->m_Parent)
        if (p == this)
            return; // a widget inside itself would own itself
    std::unique_ptr<GsWidget> self = m_Parent ? m_Parent->TakeChild(this) : nullptr;
    if (!self)
        self.reset(this); // a root widget handed over by whoever held it
    if (parent)
        parent->Adopt(std::move(self));
    else
        (void)self.release(); // a widget without a parent belongs to whoever took it out
}

void GsWidget::Adopt(std::unique_ptr<GsWidget> child)
{
    TOLV_ASSERT(child && child->m_Parent == nullptr);
    child->m_Parent = this;
    m_Children.push_back(std::move(child));
}

std::unique_ptr<GsWidget> GsWidget::TakeChild(GsWidget* child)
{
    if (m_Captured == child)
        m_Captured = nullptr;
    child->m_Parent = nullptr;
    auto it = std::find_if(m_Children.begin(), m_Children.end(),
                           [child](const std::unique_ptr<GsWidget>& c) { return c.get() == child; });
    if (it == m_Children.end())
        return nullptr;
    std::unique_ptr<GsWidget> taken = std::move(*it);
    m_Children.erase(it);
    return taken;
}

void GsWidget::SetLeft(int left)
{
    SetBounds(left, Top(), Width(), Height());
}

void GsWidget::SetTop(int top)
{
    SetBounds(Left(), top, Width(), Height());
}

void GsWidget::SetWidth(int width)
{
    SetBounds(Left(), Top(), width, Height());
}

void GsWidget::SetHeight(int height)
{
    SetBounds(Left(), Top(), Width(), height);
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
    const bool sizeChanged = width != Width() || height != Height();
    m_Bounds = {left, top, left + width, top + height};
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

graphics::Point GsWidget::ToLocal(int x, int y) const
{
    return {x - Left() + m_ScrollOrigin.x, y - Top() + m_ScrollOrigin.y};
}

GsWidget* GsWidget::ChildAt(graphics::Point local)
{
    for (auto& child : m_Children)
        if (Eligible(child.get()) && child->HitTest(local.x, local.y))
            return child.get();
    return nullptr;
}

bool GsWidget::MouseEnterSelf()
{
    if (m_Hovered)
        return true;
    m_Hovered = true;
    const framework::LifeWatch life = Life();
    DoMouseEnter();
    if (life.expired())
        return false;
    OnMouseEnter(this);
    return !life.expired();
}

bool GsWidget::LeaveChildrenExcept(const GsWidget* keep)
{
    // A leave handler may destroy any child or this widget: walk a copy, skipping the dead.
    std::vector<std::pair<GsWidget*, framework::LifeWatch>> children;
    for (auto& child : m_Children)
        if (child.get() != keep)
            children.emplace_back(child.get(), child->Life());
    const framework::LifeWatch life = Life();
    for (auto& [child, childLife] : children) {
        if (!childLife.expired())
            child->MouseLeave();
        if (life.expired())
            return false;
    }
    return true;
}

void GsWidget::MouseMove(ShiftState shift, int x, int y)
{
    if (!AcceptsInput())
        return;
    const graphics::Point local = ToLocal(x, y);
    const framework::LifeWatch life = Life();
    GsWidget* const before = m_Captured;
    if (m_Captured && m_Captured != this && !(shift & framework::ssLeft))
        m_Captured = nullptr;
    GsWidget* target = (m_Captured && m_Captured != this) ? m_Captured : ChildAt(local);
    const framework::LifeWatch targetLife = target ? target->Life() : framework::LifeWatch();
    if (!LeaveChildrenExcept(target) || !MouseEnterSelf())
        return;
    if (target && !targetLife.expired()) {
        target->MouseMove(shift, local.x, local.y);
        if (!life.expired() && HasOption(ShareEvents))
            OnMouseMove(this, shift, x, y);
    } else if (!target) {
        DoMouseMove(shift, x, y);
        if (!life.expired())
            OnMouseMove(this, shift, x, y);
    }
    if (!life.expired() && before != m_Captured)
        Invalidate();
}

bool GsWidget::RouteMouseDown(MouseButton button, ShiftState shift, int x, int y)
{
    const framework::LifeWatch life = Life();
    GsWidget* target = nullptr;
    if (m_Captured && m_Captured != this) {
        target = m_Captured;
        m_Captured->MouseDown(button, shift, x, y);
    } else {
        const graphics::Point local = ToLocal(x, y);
        target = ChildAt(local);
        if (target) {
            m_Captured = target;
            target->MouseDown(button, shift, local.x, local.y);
        }
    }
    if (life.expired())
        return false;
    if (target && !HasOption(ShareEvents))
        return true;
    if (!target)
        m_Captured = this;
    DoMouseDown(button, shift, x, y);
    if (life.expired())
        return false;
    OnMouseDown(this, button, shift, x, y);
    return !life.expired();
}

void GsWidget::MouseDown(MouseButton button, ShiftState shift, int x, int y)
{
    if (!AcceptsInput())
        return;
    GsWidget* const before = m_Captured;
    const framework::LifeWatch life = Life();
    if (!RouteMouseDown(button, shift, x, y))
        return;
    if (m_Observer)
        m_Observer->CaptureHolder(m_Captured != this ? m_Captured : nullptr);
    if (!life.expired() && before != m_Captured)
        Invalidate();
}

bool GsWidget::ReleaseOnSelf(MouseButton button, ShiftState shift, int x, int y)
{
    const framework::LifeWatch life = Life();
    if (HasOption(ClickOnRelease)) {
        Click();
        if (life.expired())
            return false;
    }
    m_Captured = nullptr;
    DoMouseUp(button, shift, x, y);
    if (life.expired())
        return false;
    OnMouseUp(this, button, shift, x, y);
    return !life.expired();
}

void GsWidget::MouseUp(MouseButton button, ShiftState shift, int x, int y)
{
    if (!AcceptsInput())
        return;
    const graphics::Point local = ToLocal(x, y);
    const framework::LifeWatch life = Life();
    GsWidget* const before = m_Captured;
    GsWidget* child = (m_Captured && m_Captured != this) ? m_Captured : ChildAt(local);
    if (child) {
        const framework::LifeWatch childLife = child->Life();
        child->MouseUp(button, shift, local.x, local.y);
        if (life.expired())
            return;
        // A child that died let go of the capture on its way out.
        if (!childLife.expired() && !child->m_Captured)
            m_Captured = nullptr;
    } else if (button == framework::mbLeft && m_Captured == this) {
        if (!ReleaseOnSelf(button, shift, x, y))
            return;
    }
    if (before != m_Captured)
        Invalidate();
}

void GsWidget::MouseLeave()
{
    if (!AcceptsInput() || !m_Hovered)
        return;
    if (!LeaveChildrenExcept(nullptr))
        return;
    GsWidget* const before = m_Captured;
    m_Captured = nullptr;
    m_Hovered = false;
    const framework::LifeWatch life = Life();
    DoMouseLeave();
    if (life.expired())
        return;
    OnMouseLeave(this);
    if (!life.expired() && before)
        Invalidate();
}

void GsWidget::Click()
{
    if (!AcceptsInput())
        return;
    const framework::LifeWatch life = Life();
    DoClick();
    if (!life.expired())
        OnClick(this);
}

void GsWidget::Render(graphics::Bitmap* target, const graphics::Rect& rect)
{
    if (!m_Visible || !target)
        return;
    {
        const graphics::SavedCanvasState saved(target->Canvas(), rect);
        if (HasOption(ScrolledContent))
            RenderScrolled(target, rect);
        else
            RenderNormal(target, rect);
    }
    OnPaint(this, target, rect);
}

void GsWidget::RenderNormal(graphics::Bitmap* target, const graphics::Rect&)
{
    Paint(target, {0, 0, Width(), Height()});
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

unsigned CaptionFormat(TAlignment alignment, TTextLayout layout, bool wordWrap)
{
    unsigned flags = graphics::DT_LEFT;
    if (alignment == taRightJustify)
        flags = graphics::DT_RIGHT;
    else if (alignment == taCenter)
        flags = graphics::DT_CENTER;
    if (layout == tlCenter)
        flags |= graphics::DT_VCENTER;
    else if (layout == tlBottom)
        flags |= graphics::DT_BOTTOM;
    if (wordWrap)
        flags |= graphics::DT_WORDBREAK;
    return flags;
}

unsigned WdgCustomControl::TextFormat() const
{
    const unsigned flags = CaptionFormat(m_Alignment, m_Layout, m_WordWrap);
    return m_WordWrap ? flags : flags | graphics::DT_SINGLELINE | graphics::DT_VCENTER;
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
    painter->Draw(bitmap, text, r, flags, TDrawMode::Blend, TLayerAlpha::Premultiplied);
}

} // namespace gs
