#include "gui/controls/GsAppearance.h"

#include "gui/graphics/image.h"
#include "platform/Assert.h"

namespace {

std::size_t Slot(ButtonState state)
{
    return static_cast<std::size_t>(state);
}

bool ValidState(ButtonState state)
{
    const auto value = static_cast<std::int32_t>(state);
    return value >= 0 && value < kButtonStateCount;
}

bool IsEmptyImage(const graphics::Bitmap* bitmap)
{
    return bitmap == nullptr || bitmap->Width() == 0 || bitmap->Height() == 0;
}

// COLOR_GRAYTEXT as a system colour value.
constexpr graphics::TColor kGrayTextColor = 0xFF000011;
constexpr graphics::TColor kGrayedCaptionColor = 0x808080;

} // namespace

// --- GsButtonAppearance ---

GsButtonAppearance::GsButtonAppearance(ChangeEvent onChange) : GsCtrlAppearance(std::move(onChange))
{
    for (auto& image : m_Images)
        image = std::make_unique<graphics::Bitmap>();
}

GsButtonAppearance::~GsButtonAppearance() = default;

graphics::Bitmap* GsButtonAppearance::Image(ButtonState index) const
{
    TOLV_ASSERT(ValidState(index));
    graphics::Bitmap* image = m_Images[Slot(index)].get();
    if (std::optional<std::filesystem::path>& pending = m_Pending[Slot(index)]) {
        const std::filesystem::path path = std::move(*pending);
        pending.reset();
        graphics::LoadPngImagePlain(path, image);
    }
    return image;
}

void GsButtonAppearance::SetImage(ButtonState index, const graphics::Bitmap& bitmap)
{
    TOLV_ASSERT(ValidState(index));
    m_Pending[Slot(index)].reset(); // replaced before it was ever read
    graphics::Bitmap* slot = m_Images[Slot(index)].get();
    if (slot != &bitmap)
        slot->Assign(bitmap);
    Changed(index);
}

void GsButtonAppearance::LoadImage(ButtonState index, const std::filesystem::path& path)
{
    TOLV_ASSERT(ValidState(index));
    m_Pending[Slot(index)] = path;
    Changed(index);
}

void GsButtonAppearance::Changed(ButtonState index)
{
    OnChange(static_cast<int>(index));
}

graphics::Bitmap* GsButtonAppearance::GetImage(CheckState check, ButtonState state)
{
    if (!ValidState(state))
        state = ButtonState::Raised;
    graphics::Bitmap* image = Image(state);
    if (!IsEmptyImage(image))
        return image;
    switch (state) {
    case ButtonState::Sunken:
    case ButtonState::Focused:
    case ButtonState::Active:
        return GetImage(check, ButtonState::Hovered);
    case ButtonState::Hovered:
    case ButtonState::Disabled:
        return GetImage(check, ButtonState::Raised);
    case ButtonState::Raised:
        break;
    }
    return image;
}

void GsButtonAppearance::Assign(const GsButtonAppearance& source)
{
    if (&source == this)
        return;
    for (int i = 0; i < kButtonStateCount; ++i)
        SetImage(static_cast<ButtonState>(i), *source.Image(static_cast<ButtonState>(i)));
}

// --- GsButtonOuterGlowTextEffect ---

GsButtonOuterGlowTextEffect::GsButtonOuterGlowTextEffect()
{
    m_Effects[Slot(ButtonState::Raised)] = std::make_unique<GsTextRadiationEffect>(Forwarder());
}

GsButtonOuterGlowTextEffect::~GsButtonOuterGlowTextEffect() = default;

framework::NotifyEvent GsButtonOuterGlowTextEffect::Forwarder()
{
    return framework::NotifyEvent([this](framework::Component*) { Changed(); });
}

std::unique_ptr<GsTextRadiationEffect> GsButtonOuterGlowTextEffect::MakeDefault(ButtonState index)
{
    GsTextRadiationEffect& raised = *m_Effects[Slot(ButtonState::Raised)];
    std::unique_ptr<GsTextRadiationEffect> effect;
    switch (index) {
    case ButtonState::Sunken:
        // A pressed caption sinks: Raised's font with default glow, moved two pixels.
        effect = std::make_unique<GsTextRadiationEffect>();
        effect->SetFont(raised.Font());
        effect->SetOffsetX(2);
        effect->SetOffsetY(2);
        break;
    case ButtonState::Disabled: {
        effect = std::make_unique<GsTextRadiationEffect>(raised);
        graphics::TFont font = effect->Font();
        font.Color = kGrayTextColor;
        effect->SetFont(font);
        break;
    }
    default:
        effect = std::make_unique<GsTextRadiationEffect>(raised);
        break;
    }
    // Installed last so that building the defaults tells nobody.
    effect->OnChange = Forwarder();
    return effect;
}

GsTextRadiationEffect& GsButtonOuterGlowTextEffect::Effect(ButtonState index)
{
    TOLV_ASSERT(ValidState(index));
    auto& slot = m_Effects[Slot(index)];
    if (!slot)
        slot = MakeDefault(index);
    return *slot;
}

bool GsButtonOuterGlowTextEffect::HasEffect(ButtonState index) const
{
    return ValidState(index) && m_Effects[Slot(index)] != nullptr;
}

void GsButtonOuterGlowTextEffect::SetEffect(ButtonState index, const GsTextRadiationEffect& effect)
{
    GsTextRadiationEffect& member = Effect(index);
    if (&member != &effect)
        member = effect;
}

gs::GsOuterGlowTextEffectPainter* GsButtonOuterGlowTextEffect::GetEffect(CheckState, ButtonState state)
{
    switch (state) {
    case ButtonState::Sunken:
    case ButtonState::Hovered:
    case ButtonState::Disabled:
    case ButtonState::Focused:
    case ButtonState::Active:
        return &Effect(state).Adapter();
    default:
        return &Effect(ButtonState::Raised).Adapter();
    }
}

void GsButtonOuterGlowTextEffect::Assign(GsButtonOuterGlowTextEffect& source)
{
    if (&source == this)
        return;
    for (int i = 0; i < kButtonStateCount; ++i) {
        const auto state = static_cast<ButtonState>(i);
        SetEffect(state, source.Effect(state));
    }
}

// --- GsCheckBoxAppearance ---

GsCheckBoxAppearance::GsCheckBoxAppearance(ChangeEvent onChange) : GsCtrlAppearance(std::move(onChange))
{
    for (std::size_t set = 0; set < m_Sets.size(); ++set) {
        const int base = static_cast<int>(set) * kButtonStateCount;
        m_Sets[set] = std::make_unique<GsButtonAppearance>(
            GsButtonAppearance::ChangeEvent([this, base](int index) { OnChange(base + index); }));
    }
}

GsCheckBoxAppearance::~GsCheckBoxAppearance() = default;

graphics::Bitmap* GsCheckBoxAppearance::GetImage(CheckState check, ButtonState state)
{
    if (check == cbChecked || check == cbGrayed) {
        graphics::Bitmap* image = (check == cbChecked ? Checked() : Gray()).GetImage(check, state);
        if (!IsEmptyImage(image))
            return image;
    }
    return Unchecked().GetImage(check, state);
}

void GsCheckBoxAppearance::Assign(const GsCheckBoxAppearance& source)
{
    if (&source == this)
        return;
    for (std::size_t set = 0; set < m_Sets.size(); ++set)
        m_Sets[set]->Assign(*source.m_Sets[set]);
}

// --- GsCheckBoxOuterGlowTextEffect ---

GsCheckBoxOuterGlowTextEffect::GsCheckBoxOuterGlowTextEffect() : m_Unchecked(MakeMember()) {}

GsCheckBoxOuterGlowTextEffect::~GsCheckBoxOuterGlowTextEffect() = default;

std::unique_ptr<GsButtonOuterGlowTextEffect> GsCheckBoxOuterGlowTextEffect::MakeMember()
{
    auto member = std::make_unique<GsButtonOuterGlowTextEffect>();
    member->OnChange = framework::NotifyEvent([this](framework::Component*) { Changed(); });
    return member;
}

void GsCheckBoxOuterGlowTextEffect::Copy(GsButtonOuterGlowTextEffect& from, GsButtonOuterGlowTextEffect& to)
{
    to.Assign(from);
}

GsButtonOuterGlowTextEffect& GsCheckBoxOuterGlowTextEffect::Checked()
{
    if (!m_Checked) {
        auto member = std::make_unique<GsButtonOuterGlowTextEffect>();
        member->Assign(Unchecked());
        member->OnChange = framework::NotifyEvent([this](framework::Component*) { Changed(); });
        m_Checked = std::move(member);
    }
    return *m_Checked;
}

GsButtonOuterGlowTextEffect& GsCheckBoxOuterGlowTextEffect::Grayed()
{
    if (!m_Grayed) {
        auto member = std::make_unique<GsButtonOuterGlowTextEffect>();
        member->Assign(Unchecked());
        graphics::TFont font = member->Raised().Font();
        font.Color = kGrayedCaptionColor;
        member->Raised().SetFont(font);
        member->OnChange = framework::NotifyEvent([this](framework::Component*) { Changed(); });
        m_Grayed = std::move(member);
    }
    return *m_Grayed;
}

gs::GsOuterGlowTextEffectPainter* GsCheckBoxOuterGlowTextEffect::GetEffect(CheckState check, ButtonState state)
{
    if (check == cbChecked)
        return Checked().GetEffect(check, state);
    if (check == cbGrayed)
        return Grayed().GetEffect(check, state);
    return Unchecked().GetEffect(check, state);
}

void GsCheckBoxOuterGlowTextEffect::Assign(GsCheckBoxOuterGlowTextEffect& source)
{
    if (&source == this)
        return;
    Unchecked().Assign(source.Unchecked());
    Checked().Assign(source.Checked());
    Grayed().Assign(source.Grayed());
}
