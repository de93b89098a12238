#include "gui/controls/GsButton.h"

#include "gui/controls/GsImage.h"
#include "gui/controls/GsLabel.h"
#include "gui/framework/Form.h"
#include "gui/graphics/image.h"
#include "platform/Assert.h"


namespace gs {

bool ImageHit(const GsWidget& widget, const graphics::Bitmap* image, int x, int y)
{
    if (image == nullptr)
        return false;
    // The image sits at the widget's corner; a root widget's corner is (0, 0).
    const int ix = x - widget.Left();
    const int iy = y - widget.Top();
    if (ix < 0 || iy < 0 || ix >= image->Width() || iy >= image->Height())
        return false;
    // A picture without alpha is opaque everywhere.
    if (image->PixelFormat() != graphics::pf32bit)
        return true;
    const std::uint8_t alpha = image->ScanLine(iy)[ix * 4 + 3];
    return alpha > widget.HitAlphaLimit();
}

bool WdgStateButton::HitTest(int x, int y)
{
    if (TransparentHit())
        return GsWidget::HitTest(x, y);
    if (!GsWidget::HitTest(x, y))
        return false;
    return ImageHit(*this, HitImage(), x, y);
}

void WdgStateButton::SetEnabled(bool enabled)
{
    WdgCustomControl::SetEnabled(enabled);
    m_Pressed = false;
}

void WdgStateButton::FitTo(const graphics::Bitmap& raised)
{
    if (raised.Width() != Width() || raised.Height() != Height())
        SetBounds(Left(), Top(), raised.Width(), raised.Height());
}

ButtonState WdgStateButton::CurrentState() const
{
    if (!Enabled())
        return ButtonState::Disabled;
    if (!Hovered())
        return ButtonState::Raised;
    if (!m_Pressed || HasOption(NoToggle))
        return ButtonState::Hovered;
    return ButtonState::Sunken;
}

void WdgStateButton::Paint(graphics::Bitmap* target, const graphics::Rect& rect)
{
    m_State = CurrentState();
    graphics::Bitmap copy;
    copy.Assign(*StateImage(m_State));
    // An empty image has no room for a caption either.
    if (copy.Empty())
        return;
    if (!Text().empty())
        DrawText(&copy, m_State);
    ComposeImage(target, {rect.Left, rect.Top}, &copy);
}

void WdgStateButton::DoMouseMove(framework::ShiftState, int, int)
{
    if ((m_Pressed && m_State != ButtonState::Sunken) || (!m_Pressed && m_State != ButtonState::Hovered))
        Invalidate();
}

void WdgStateButton::DoMouseDown(framework::MouseButton button, framework::ShiftState, int, int)
{
    if ((button == framework::mbLeft) == m_Pressed)
        return;
    m_Pressed = button == framework::mbLeft;
    Invalidate();
}

void WdgStateButton::DoMouseUp(framework::MouseButton, framework::ShiftState, int, int)
{
    if (!m_Pressed)
        return;
    m_Pressed = false;
    Invalidate();
}

void WdgStateButton::DoMouseLeave()
{
    if (m_State == ButtonState::Raised)
        return;
    m_State = ButtonState::Raised;
    Invalidate();
}

WdgButton::WdgButton()
    : m_Appearance(std::make_unique<GsButtonAppearance>(GsButtonAppearance::ChangeEvent([this](int index) {
          if (index == static_cast<int>(ButtonState::Raised))
              FitTo(*m_Appearance->Raised());
      }))),
      m_TextEffect(std::make_unique<GsButtonOuterGlowTextEffect>())
{
    SetOptions(ClickOnRelease);
}

WdgButton::~WdgButton() = default;

const graphics::Bitmap* WdgButton::StateImage(ButtonState state)
{
    return m_Appearance->GetImage(cbUnchecked, state);
}

GsOuterGlowTextEffectPainter* WdgButton::GetTextEffect(ButtonState state)
{
    return m_TextEffect->GetEffect(cbUnchecked, state);
}

} // namespace gs

// --- GsCustomButton ---

GsCustomButton::GsCustomButton(framework::Component* owner) : GsCustomControl(owner)
{
    SetAutoSize(true);
}

GsCustomButton::~GsCustomButton() = default;

gs::WdgCustomControl* GsCustomButton::TextWidget()
{
    return dynamic_cast<gs::WdgCustomControl*>(Widget());
}

void GsCustomButton::SetInputBkgnd(graphics::Bitmap* bitmap)
{
    if (bitmap == InputBkgnd())
        return;
    StoreInputBkgnd(bitmap);
    Invalidate();
}

std::uint8_t GsCustomButton::AlphaValue()
{
    gs::GsWidget* widget = Widget();
    return widget ? widget->AlphaValue() : 255;
}

void GsCustomButton::SetAlphaValue(std::uint8_t value)
{
    if (gs::GsWidget* widget = Widget())
        widget->SetAlphaValue(value);
    for (int i = 0; i < ControlCount(); ++i) {
        framework::BaseControl* child = Controls(i);
        if (!child->Visible())
            continue;
        if (auto* button = dynamic_cast<GsCustomButton*>(child))
            button->SetAlphaValue(value);
        else if (auto* control = dynamic_cast<GsCustomControl*>(child)) {
            if (gs::GsWidget* widget = control->Widget())
                widget->SetAlphaValue(value);
        } else if (auto* image = dynamic_cast<GsImage*>(child))
            image->SetAlphaValue(value);
    }
}

bool GsCustomButton::WordWrap()
{
    gs::WdgCustomControl* widget = TextWidget();
    return widget && widget->WordWrap();
}

void GsCustomButton::SetWordWrap(bool value)
{
    if (gs::WdgCustomControl* widget = TextWidget())
        widget->SetWordWrap(value);
}

TAlignment GsCustomButton::Alignment()
{
    gs::WdgCustomControl* widget = TextWidget();
    return widget ? widget->Alignment() : taCenter;
}

void GsCustomButton::SetAlignment(TAlignment value)
{
    if (gs::WdgCustomControl* widget = TextWidget())
        widget->SetAlignment(value);
}

TTextLayout GsCustomButton::Layout()
{
    gs::WdgCustomControl* widget = TextWidget();
    return widget ? widget->Layout() : tlCenter;
}

void GsCustomButton::SetLayout(TTextLayout value)
{
    if (gs::WdgCustomControl* widget = TextWidget())
        widget->SetLayout(value);
}

GsTextMargins& GsCustomButton::TextMargins()
{
    gs::WdgCustomControl* widget = TextWidget();
    TOLV_ASSERT(widget != nullptr);
    return widget->TextMargins();
}

void GsCustomButton::SetTextMargins(const GsTextMargins& margins)
{
    if (gs::WdgCustomControl* widget = TextWidget())
        widget->SetTextMargins(margins);
}

bool GsCustomButton::TransparentHit()
{
    gs::GsWidget* widget = Widget();
    return widget == nullptr || widget->TransparentHit();
}

void GsCustomButton::SetTransparentHit(bool value)
{
    if (gs::GsWidget* widget = Widget())
        widget->SetTransparentHit(value);
}

std::uint8_t GsCustomButton::HitAlphaLimit()
{
    gs::GsWidget* widget = Widget();
    return widget ? widget->HitAlphaLimit() : gs::kDefaultHitAlphaLimit;
}

void GsCustomButton::SetHitAlphaLimit(std::uint8_t value)
{
    if (gs::GsWidget* widget = Widget())
        widget->SetHitAlphaLimit(value);
}

bool GsCustomButton::ProposeSize(int w, int h, int& width, int& height) const
{
    // The proposal replaces whatever size was asked for, also when the control has it
    // already: the control keeps the size of its image.
    width = w;
    height = h;
    return true;
}

bool GsCustomButton::CanAutoSize(int& width, int& height)
{
    gs::GsWidget* widget = Widget();
    if (widget == nullptr)
        return false;
    return ProposeSize(widget->Width(), widget->Height(), width, height);
}

void GsCustomButton::DrawBackground(graphics::Bitmap* bitmap)
{
    const graphics::Rect area{0, 0, Width(), Height()};
    if (m_ParentBackground) {
        // Only a kit parent can draw itself into a bitmap; under anything else the background
        // is left as it is.
        auto* parent = dynamic_cast<GsCustomControl*>(Parent());
        if (parent == nullptr)
            return;
        graphics::Bitmap back(0, 0, graphics::pf24bit);
        parent->RenderTo(&back);
        graphics::PutBitmapArea(&bitmap->Canvas(), area, &back, {Left(), Top()});
    } else if (InputBkgnd() != nullptr) {
        graphics::PutBitmapArea(&bitmap->Canvas(), area, InputBkgnd(), {Left(), Top()});
    }
}

void GsCustomButton::RenderControl(graphics::Bitmap* bitmap, RenderMode mode)
{
    DrawBackground(bitmap);
    gs::GsWidget* widget = Widget();
    if (widget != nullptr) {
        widget->SetText(Caption());
        widget->Render(bitmap, widget->BoundsRect());
    }
    if (mode == RenderMode::ToSurface) {
        graphics::Bitmap& surface = Surface();
        if (surface.Width() != bitmap->Width() || surface.Height() != bitmap->Height())
            surface.SetSize(bitmap->Width(), bitmap->Height());
        graphics::PutBitmapArea(&surface.Canvas(), {0, 0, bitmap->Width(), bitmap->Height()}, bitmap, {0, 0});
    }
}

void GsCustomButton::DrawInto(graphics::Bitmap* bitmap, DrawScope scope, WhenHidden hidden)
{
    if (!Visible() && hidden == WhenHidden::Skip)
        return;
    const graphics::SavedCanvasState saved(bitmap->Canvas(), BoundsRect());
    if (gs::GsWidget* widget = Widget()) {
        widget->SetText(Caption());
        widget->Render(bitmap, widget->BoundsRect());
    }
    if (scope == DrawScope::WithChildren) {
        for (int i = 0; i < ControlCount(); ++i) {
            framework::BaseControl* child = Controls(i);
            if (!child->Visible())
                continue;
            if (auto* control = dynamic_cast<GsCustomControl*>(child))
                control->DrawInto(bitmap, scope, WhenHidden::Skip);
            else if (auto* component = dynamic_cast<gs::GsComponent*>(child))
                component->DrawInto(bitmap);
        }
    }
}

// --- GsButton ---

GsButton::GsButton(framework::Component* owner) : GsCustomButton(owner)
{
    gs::GsWidget* widget = Widget();
    widget->OnResize = gs::WidgetNotifyEvent([this](gs::GsWidget*) { AdjustToWidget(); });
}

GsButton::~GsButton()
{
    ReleaseWidget();
}

std::unique_ptr<gs::GsWidget> GsButton::CreateWidget()
{
    return std::make_unique<gs::WdgButton>();
}

gs::WdgButton& GsButton::ButtonWidget()
{
    auto* widget = static_cast<gs::WdgButton*>(Widget());
    TOLV_ASSERT(widget != nullptr);
    return *widget;
}

void GsButton::Click()
{
    if (framework::Form* form = ParentForm())
        form->SetModalResult(m_ModalResult);
    GsCustomButton::Click();
}

bool GsButton::CanAutoSize(int& width, int& height)
{
    const graphics::Bitmap* raised = Appearance().Raised();
    return ProposeSize(raised->Width(), raised->Height(), width, height);
}

void GsButton::FontChanged()
{
    GsCustomButton::FontChanged();
    TextEffect().Raised().SetFont(Font());
}
