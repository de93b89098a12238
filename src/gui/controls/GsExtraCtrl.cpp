#include "gui/controls/GsExtraCtrl.h"

#include "gui/graphics/image.h"
#include "platform/Assert.h"
#include "system/common.h"

#include <algorithm>

namespace {

constexpr graphics::TColor kDisabledLabelColor = 0x808080;

} // namespace

namespace gs {

// --- WdgCheckBox ---

WdgCheckBox::WdgCheckBox()
    : m_Appearance(std::make_unique<GsCheckBoxAppearance>(GsCheckBoxAppearance::ChangeEvent([this](int index) {
          // Index 0: the Raised image of the unchecked set, which gives the widget its size.
          if (index == 0)
              FitTo(*m_Appearance->Unchecked().Raised());
      }))),
      m_TextEffect(std::make_unique<GsCheckBoxOuterGlowTextEffect>())
{
    // Toggling happens in the control's Click; a release must not toggle a second time.
    SetOptions(kNoOptions);
}

WdgCheckBox::~WdgCheckBox() = default;

const graphics::Bitmap* WdgCheckBox::StateImage(ButtonState state)
{
    return m_Appearance->GetImage(m_CheckState, state);
}

const graphics::Bitmap* WdgCheckBox::HitImage()
{
    return m_Appearance->GetImage(cbUnchecked, ButtonState::Hovered);
}

void WdgCheckBox::DoClick()
{
    if (HasOption(NoToggle))
        return;
    CheckState next = cbChecked;
    switch (m_CheckState) {
    case cbUnchecked:
        next = m_AllowGrayed ? cbGrayed : cbChecked;
        break;
    case cbChecked:
        next = cbUnchecked;
        break;
    default:
        next = cbChecked;
        break;
    }
    if (next != m_CheckState)
        SetState(next);
}

GsOuterGlowTextEffectPainter* WdgCheckBox::GetTextEffect(ButtonState state)
{
    return m_TextEffect->GetEffect(m_CheckState, state);
}

bool WdgCheckBox::GetChecked()
{
    return m_CheckState == cbChecked;
}

void WdgCheckBox::SetChecked(bool checked)
{
    if (checked == GetChecked())
        return;
    SetState(checked ? cbChecked : cbUnchecked);
}

void WdgCheckBox::SetState(CheckState state)
{
    const bool changed = state != m_CheckState;
    m_CheckState = state;
    Invalidate();
    if (changed)
        OnStateChange(this);
}

// --- WdgLabel ---

WdgLabel::WdgLabel() : m_TextEffect(std::make_unique<GsTextRadiationEffect>()) {}

WdgLabel::~WdgLabel() = default;

GsTextRadiationEffect& WdgLabel::DisabledEffect()
{
    if (!m_DisabledEffect) {
        m_DisabledEffect = std::make_unique<GsTextRadiationEffect>(*m_TextEffect);
        m_DisabledEffect->OnChange.Clear();
        graphics::TFont font = m_DisabledEffect->Font();
        font.Color = kDisabledLabelColor;
        m_DisabledEffect->SetFont(font);
    }
    return *m_DisabledEffect;
}

unsigned WdgLabel::TextFormat() const
{
    return CaptionFormat(m_Alignment, m_Layout, m_WordWrap);
}

void WdgLabel::SetText(const std::string& text)
{
    GsWidget::SetText(text);
    if (AutoSize())
        Fit();
}

void WdgLabel::SetAutoSize(bool autoSize)
{
    if (autoSize == AutoSize())
        return;
    GsWidget::SetAutoSize(autoSize);
    if (autoSize)
        Fit();
}

graphics::Rect WdgLabel::Measure(GsTextRadiationEffect& style)
{
    graphics::Bitmap scratch(1, 1);
    graphics::Rect measured{0, 0, 0, 0};
    if (!Text().empty())
        style.Adapter().Measure(&scratch.Canvas(), Text(), measured, TextFormat());
    return measured;
}

void WdgLabel::Fit()
{
    const graphics::Rect measured = Measure(*m_TextEffect);
    SetBounds(Left(), Top(), measured.Width(), measured.Height());
}

void WdgLabel::Paint(graphics::Bitmap* target, const graphics::Rect& rect)
{
    if (Text().empty())
        return;
    GsTextRadiationEffect& style = Enabled() ? *m_TextEffect : DisabledEffect();
    const unsigned flags = TextFormat();
    graphics::Rect area = rect;
    if (m_WordWrap && m_Layout != tlTop) {
        graphics::Rect measured = area;
        style.Adapter().Measure(&target->Canvas(), Text(), measured, flags);
        const int spare = area.Height() - measured.Height();
        if (spare > 0)
            area.Top += m_Layout == tlBottom ? spare : spare / 2;
    }
    style.Adapter().Draw(&target->Canvas(), Text(), area, flags, TDrawMode::Blend,
                         TLayerAlpha::Premultiplied);
}

// --- WdgBulledCheckBox ---

WdgBulledCheckBox::WdgBulledCheckBox() : m_Label(AddChild(std::make_unique<WdgLabel>()))
{
    m_Label->SetMouseTransparent(true);
    m_Label->SetAutoSize(true);
}

WdgBulledCheckBox::~WdgBulledCheckBox() = default;

int WdgBulledCheckBox::BulletWidth()
{
    return Appearance().Unchecked().Raised()->Width();
}

int WdgBulledCheckBox::BulletHeight()
{
    return Appearance().Unchecked().Raised()->Height();
}

void WdgBulledCheckBox::SetTextSpace(int value)
{
    m_TextSpace = value;
    m_Label->SetLeft(BulletWidth() + value);
}

void WdgBulledCheckBox::SetTextTop(int value)
{
    m_TextTop = value;
    m_Label->SetTop(value);
}

void WdgBulledCheckBox::SetText(const std::string& text)
{
    if (text == m_Label->Text())
        return;
    m_Label->SetText(text);
    // A caption of another length changes the size the widget asks for.
    if (AutoSize())
        SetBounds(Left(), Top(), Width(), Height());
}

void WdgBulledCheckBox::SetAutoSize(bool autoSize)
{
    WdgCheckBox::SetAutoSize(autoSize);
    m_Label->SetAutoSize(autoSize);
}

void WdgBulledCheckBox::SetWidth(int width)
{
    WdgCheckBox::SetWidth(width);
    if (!m_Label->AutoSize())
        m_Label->SetWidth(std::max(0, Width() - BulletWidth() - m_TextSpace));
}

int WdgBulledCheckBox::WidestCaption()
{
    int widest = m_Label->Width();
    GsCheckBoxOuterGlowTextEffect& styles = TextEffect();
    for (GsButtonOuterGlowTextEffect* set :
         {&styles.Unchecked(), styles.HasChecked() ? &styles.Checked() : nullptr})
        for (int i = 0; set && i < kButtonStateCount; ++i)
            if (const auto state = static_cast<ButtonState>(i); set->HasEffect(state))
                widest = std::max(widest, m_Label->Measure(set->Effect(state)).Width());
    return widest;
}

bool WdgBulledCheckBox::CanAutoSize(int& width, int&)
{
    // Room for the widest style, so that a glowing hover does not run past the right edge.
    width = BulletWidth() + m_TextSpace + WidestCaption();
    return true;
}

bool WdgBulledCheckBox::CanResize(int& width, int& height)
{
    if (std::max(m_Label->Height(), BulletHeight()) != height)
        height = BulletHeight();
    const int labelLeft = BulletWidth() + m_TextSpace;
    m_Label->SetTop(m_TextTop);
    m_Label->SetLeft(labelLeft);
    // A label that does not size itself takes the room right of the bullet at the given height.
    if (!m_Label->AutoSize())
        m_Label->SetBounds(labelLeft, m_TextTop, std::max(0, width - labelLeft), height);
    return true;
}

void WdgBulledCheckBox::Paint(graphics::Bitmap* target, const graphics::Rect& rect)
{
    WdgCheckBox::Paint(target, rect);
    GsButtonOuterGlowTextEffect& set =
        GetCheckState() != cbUnchecked ? TextEffect().Checked() : TextEffect().Unchecked();
    // The label's style has no listener, so copying it in does not ask for another paint.
    m_Label->TextEffect() = set.Effect(State());
    // The state's style may glow further than the one the label was fitted to: the caption's
    // area grows (and shrinks back) with it, or the glow below the caption is cut off.
    if (m_Label->AutoSize())
        m_Label->Fit();
}

} // namespace gs

// --- GsCheckBox ---

GsCheckBox::GsCheckBox(framework::Component* owner) : GsCheckBox(owner, WidgetSetUp::Now) {}

GsCheckBox::GsCheckBox(framework::Component* owner, WidgetSetUp setUp) : GsCustomButton(owner)
{
    if (setUp == WidgetSetUp::Now)
        SetUpWidget();
}

GsCheckBox::~GsCheckBox()
{
    ReleaseWidget();
}

void GsCheckBox::SetUpWidget()
{
    gs::WdgCheckBox& widget = CheckBoxWidget();
    widget.OnResize = gs::WidgetNotifyEvent([this](gs::GsWidget*) { AdjustToWidget(); });
    widget.OnStateChange = gs::WidgetNotifyEvent([this](gs::GsWidget*) { OnChange(this); });
}

std::unique_ptr<gs::GsWidget> GsCheckBox::CreateWidget()
{
    return std::make_unique<gs::WdgCheckBox>();
}

gs::WdgCheckBox& GsCheckBox::CheckBoxWidget()
{
    auto* widget = dynamic_cast<gs::WdgCheckBox*>(Widget());
    TOLV_ASSERT(widget != nullptr);
    return *widget;
}

void GsCheckBox::GetBulletSize(int& width, int& height)
{
    const graphics::Bitmap* raised = Appearance().Unchecked().Raised();
    width = raised->Width();
    height = raised->Height();
}

bool GsCheckBox::GetChecked()
{
    return CheckBoxWidget().GetChecked();
}

void GsCheckBox::SetChecked(bool checked)
{
    CheckBoxWidget().SetChecked(checked);
}

CheckState GsCheckBox::State()
{
    return CheckBoxWidget().GetCheckState();
}

void GsCheckBox::SetState(CheckState state)
{
    CheckBoxWidget().SetState(state);
}

bool GsCheckBox::AllowGrayed()
{
    return CheckBoxWidget().AllowGrayed();
}

void GsCheckBox::SetAllowGrayed(bool value)
{
    CheckBoxWidget().SetAllowGrayed(value);
}

framework::AccessibleFacts GsCheckBox::Facts()
{
    framework::AccessibleFacts facts{framework::AccessibleFacts::Kind::CheckBox};
    if (dynamic_cast<gs::WdgCheckBox*>(Widget()))
        facts.checked = State() == cbChecked;
    return facts;
}

void GsCheckBox::Click()
{
    gs::WdgCheckBox& widget = CheckBoxWidget();
    const framework::LifeWatch life = Life();
    if (!widget.HasOption(gs::NoToggle))
        widget.Click();
    if (!life.expired())
        GsCustomButton::Click();
}

void GsCheckBox::KeyPress(char16_t& key)
{
    const framework::LifeWatch life = Life();
    GsCustomButton::KeyPress(key);
    if (!life.expired() && key == u' ')
        Click();
}

bool GsCheckBox::CanAutoSize(int& width, int& height)
{
    int w = 0;
    int h = 0;
    GetBulletSize(w, h);
    return ProposeSize(w, h, width, height);
}

void GsCheckBox::FontChanged()
{
    GsCustomButton::FontChanged();
    TextEffect().Unchecked().Raised().SetFont(Font());
}

// --- GsPanel ---

GsPanel::GsPanel(framework::Component* owner) : GsCustomButton(owner)
{
    gs::WdgCheckBox& widget = CheckBoxWidget();
    widget.SetOptions(gs::ClickOnRelease | gs::NoToggle);
    widget.OnResize = gs::WidgetNotifyEvent([this](gs::GsWidget*) { AdjustToWidget(); });
}

GsPanel::~GsPanel()
{
    ReleaseWidget();
}

std::unique_ptr<gs::GsWidget> GsPanel::CreateWidget()
{
    return std::make_unique<gs::WdgCheckBox>();
}

gs::WdgCheckBox& GsPanel::CheckBoxWidget()
{
    auto* widget = dynamic_cast<gs::WdgCheckBox*>(Widget());
    TOLV_ASSERT(widget != nullptr);
    return *widget;
}

void GsPanel::SetChecked(bool checked)
{
    if (checked)
        TraceLog("GsPanel::SetChecked true");
    CheckBoxWidget().SetChecked(checked);
}

void GsPanel::Invalidate()
{
    m_Dirty = true;
    // A windowless child repaints by invalidating its parent, which would come back here.
    if (m_Invalidating)
        return;
    m_Invalidating = true;
    GsCustomButton::Invalidate();
    for (int i = 0; i < ControlCount(); ++i)
        Controls(i)->Invalidate();
    m_Invalidating = false;
}

void GsPanel::RenderTo(graphics::Bitmap* bitmap)
{
    // A cache that was never filled, or filled at another size, is no answer.
    const bool cacheFits = m_Cache.Width() == Width() && m_Cache.Height() == Height() && !m_Cache.Empty();
    if (m_Dirty || !cacheFits) {
        GsCustomButton::RenderTo(bitmap);
        return;
    }
    bitmap->Assign(m_Cache);
}

void GsPanel::RenderControl(graphics::Bitmap* bitmap, RenderMode mode)
{
    GsCustomButton::RenderControl(bitmap, mode);
    m_Cache.Assign(*bitmap);
    m_Cache.SetPixelFormat(graphics::pf24bit);
    m_Dirty = false;
}

void GsPanel::EraseBackground()
{
    if (m_Scrollable)
        Paint();
}

bool GsPanel::CanAutoSize(int& width, int& height)
{
    const graphics::Bitmap* raised = Appearance().Unchecked().Raised();
    return ProposeSize(raised->Width(), raised->Height(), width, height);
}

void GsPanel::Paint()
{
    graphics::Bitmap bitmap(Width(), Height());
    RenderControl(&bitmap, RenderMode::ToSurface);
}

// --- GsBulledCheckBox ---

GsBulledCheckBox::GsBulledCheckBox(framework::Component* owner) : GsCheckBox(owner, WidgetSetUp::ByDescendant)
{
    SetUpWidget();
}

GsBulledCheckBox::~GsBulledCheckBox()
{
    ReleaseWidget();
}

std::unique_ptr<gs::GsWidget> GsBulledCheckBox::CreateWidget()
{
    return std::make_unique<gs::WdgBulledCheckBox>();
}

gs::WdgBulledCheckBox& GsBulledCheckBox::BulledWidget()
{
    auto* widget = dynamic_cast<gs::WdgBulledCheckBox*>(Widget());
    TOLV_ASSERT(widget != nullptr);
    return *widget;
}

bool GsBulledCheckBox::AutoSize()
{
    return BulledWidget().AutoSize();
}

void GsBulledCheckBox::SetAutoSize(bool value)
{
    GsCheckBox::SetAutoSize(true);
    BulledWidget().SetAutoSize(value);
}

bool GsBulledCheckBox::CanAutoSize(int& width, int& height)
{
    gs::WdgBulledCheckBox& widget = BulledWidget();
    // With its own auto size the widget drives the control's size through OnResize.
    if (widget.AutoSize())
        return true;
    widget.SetWidth(width);
    widget.SetHeight(height);
    // The widget may have refused part of it (its height follows the bullet): take what it has.
    width = widget.Width();
    height = widget.Height();
    return true;
}

void GsBulledCheckBox::CaptionChanged()
{
    GsCheckBox::CaptionChanged();
    BulledWidget().SetText(Caption());
}
