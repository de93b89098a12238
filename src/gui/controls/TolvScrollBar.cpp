#include "gui/controls/TolvScrollBar.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/GsImage.h"
#include "gui/graphics/image.h"
#include "platform/Assert.h"

namespace {

// Every slider shares the skin, so the travel of the thumb is measured once. 0 = not yet.
int g_TrackLength = 0;

graphics::Bitmap* LoadSkinImage(const char* name, graphics::Bitmap* bitmap)
{
    graphics::LoadPngImagePlain(graphics::SkinFolder() / name, bitmap);
    return bitmap;
}

// A strip of the track: head, the line stretched over `stretch` pixels, base. Heights are the
// head's; the line is stretched with the surface's stretching copy.
void BuildStrip(graphics::Bitmap& strip, graphics::Bitmap* head, graphics::Bitmap* line,
                graphics::Bitmap* base, int stretch)
{
    graphics::PutBitmapArea(&strip.Canvas(), {0, 0, head->Width(), head->Height()}, head, {0, 0});
    if (stretch > 0 && !line->Empty())
        strip.Canvas().CopyRect({head->Width(), 0, head->Width() + stretch, head->Height()},
                                line->Canvas(), {0, 0, line->Width(), line->Height()});
    const int baseLeft = head->Width() + std::max(0, stretch);
    graphics::PutBitmapArea(&strip.Canvas(), {baseLeft, 0, baseLeft + base->Width(), base->Height()},
                            base, {0, 0});
}

} // namespace

WdgMinorSlider::WdgMinorSlider()
{
    SetOptions(Options() | gs::ShareEvents);
    LoadImages();
    CreateBar();
    CreateOverlay();
    CreateThumb();
}

WdgMinorSlider::~WdgMinorSlider() = default;

graphics::Bitmap* WdgMinorSlider::Image(int set, ImageIndex index) const
{
    return m_Images.at(static_cast<std::size_t>(set)).at(index).get();
}

void WdgMinorSlider::LoadImages()
{
    static const char* const kNames[2][4] = {
        {"bar_un.png", "barline_head_un.png", "barline_base_n.png", "barline_un.png"},
        {"bar_n.png", "barline_head_n.png", "barline_n.png", "barline_n.png"},
    };
    for (int set = 0; set < 2; ++set)
        for (int i = 0; i < 4; ++i) {
            auto bitmap = std::make_unique<graphics::Bitmap>();
            LoadSkinImage(kNames[set][i], bitmap.get());
            m_Images[static_cast<std::size_t>(set)][static_cast<std::size_t>(i)] = std::move(bitmap);
        }
}

void WdgMinorSlider::CreateBar()
{
    m_Bar = AddChild(std::make_unique<gs::WdgButton>());
    m_Bar->Appearance().LoadImage(ButtonState::Raised, graphics::SkinFolder() / "bar_n.png");
    m_Bar->Appearance().LoadImage(ButtonState::Disabled, graphics::SkinFolder() / "bar_un.png");
    // The bar lies under the thumb and is first in the child list: taking the mouse it would
    // hide the thumb from every press, so a press on the track reaches the slider itself.
    m_Bar->SetMouseTransparent(true);
    SetBounds(Left(), Top(), m_Bar->Width(), m_Bar->Height());
}

void WdgMinorSlider::CreateOverlay()
{
    m_Overlay = AddChild(std::make_unique<gs::WdgImage>());
    graphics::Bitmap blank(m_Bar->Width(), m_Bar->Height());
    blank.Canvas().Brush().Color = graphics::clBlack;
    m_Overlay->SetBitmap(blank);
    m_Overlay->SetMouseTransparent(true);
    m_Overlay->SetWidth(m_Bar->Width() - 10);
    m_Overlay->SetLeft(5);
    m_Overlay->SetTop(-10);
}

void WdgMinorSlider::CreateThumb()
{
    m_Thumb = AddChild(std::make_unique<gs::WdgCheckBox>());
    GsCheckBoxAppearance& looks = m_Thumb->Appearance();
    const auto folder = graphics::SkinFolder();
    looks.Unchecked().LoadImage(ButtonState::Raised, folder / "ball_n.png");
    looks.Unchecked().LoadImage(ButtonState::Sunken, folder / "ball_un.png");
    looks.Unchecked().LoadImage(ButtonState::Disabled, folder / "ball_un.png");
    looks.Checked().LoadImage(ButtonState::Raised, folder / "ball_d.png");
    m_Thumb->SetWidth(looks.Checked().Raised()->Width());
    m_Thumb->SetLeft(5);
    m_Thumb->SetTop(1);
    m_Thumb->SetOptions(m_Thumb->Options() | gs::NoToggle);

    // The thumb's events come in the slider's coordinates; the drag works in the thumb's own.
    m_Thumb->OnMouseDown = [this](gs::GsWidget*, framework::MouseButton button,
                                  framework::ShiftState, int x, int y) {
        ThumbMouseDown(button, x - m_Thumb->Left(), y - m_Thumb->Top());
    };
    m_Thumb->OnMouseMove = [this](gs::GsWidget*, framework::ShiftState shift, int x, int y) {
        ThumbMouseMove(shift, x - m_Thumb->Left(), y - m_Thumb->Top());
    };
    m_Thumb->OnMouseUp = [this](gs::GsWidget*, framework::MouseButton, framework::ShiftState, int,
                                int) { ThumbMouseUp(); };
}

int WdgMinorSlider::TrackLength()
{
    if (g_TrackLength <= 0)
        g_TrackLength = std::max(0, m_Bar->Width() - m_Thumb->Width());
    return g_TrackLength;
}

int WdgMinorSlider::GetThumbPos()
{
    return m_Thumb->Left();
}

void WdgMinorSlider::SetThumbPos(int pixel)
{
    m_Thumb->SetLeft(pixel);
    RebuildBar();
}

void WdgMinorSlider::SetEnabled(bool enabled)
{
    WdgCustomScrollBar::SetEnabled(enabled);
    RebuildBar();
}

void WdgMinorSlider::Paint(graphics::Bitmap*, const graphics::Rect&) {}

void WdgMinorSlider::DoMouseDown(framework::MouseButton, framework::ShiftState, int x, int)
{
    if (Captured() == m_Thumb)
        return;
    // 64-bit sums: a step beyond the 32-bit range clamps instead of wrapping.
    const std::int64_t step = x < m_Thumb->Left() ? -std::int64_t(LineSize()) : LineSize();
    const std::int64_t target =
        std::clamp<std::int64_t>(std::int64_t(Position()) + step, INT32_MIN, INT32_MAX);
    SetPosition(static_cast<std::int32_t>(target));
}

void WdgMinorSlider::DoMouseMove(framework::ShiftState shift, int x, int y)
{
    if (!(shift & framework::ssLeft))
        ThumbMouseMove(shift, x - m_Thumb->Left(), y - m_Thumb->Top());
}

void WdgMinorSlider::DoMouseEnter()
{
    m_Thumb->SetChecked(true);
}

void WdgMinorSlider::DoMouseLeave()
{
    m_Thumb->SetChecked(false);
}

void WdgMinorSlider::RebuildBar()
{
    const int s = Enabled() ? 1 : 0;
    graphics::Bitmap* head = Image(s, imHead);
    graphics::Bitmap* base = Image(s, imBase);
    graphics::Bitmap* line = Image(s, imLine);
    graphics::Bitmap* bar = Image(s, imBar);
    const int thumb = GetThumbPos();

    graphics::Bitmap track(m_Bar->Width(), m_Bar->Height());
    track.Canvas().Brush().Color = graphics::clBlack;

    // The filled line ends under the thumb. Near the left end its length would go negative
    // (down to -6); it is then drawn with the fixed head and base only.
    const int filled = thumb - TrackStart() - 6;
    const int fill = std::max(0, filled);
    graphics::Bitmap strip(head->Width() + base->Width() + fill, head->Height());
    if (!strip.Empty()) {
        BuildStrip(strip, head, line, base, fill);
        const int y = (bar->Height() - head->Height()) / 2;
        graphics::BlendLayer(&track,
                             {TrackStart(), y, TrackStart() + strip.Width() - 2, y + strip.Height()},
                             &strip, {0, 0}, 255);
    }

    // The rest of the track, right of the thumb, always in the unavailable colours; its right
    // end stays where it is whatever the thumb does.
    graphics::Bitmap* head0 = Image(0, imHead);
    const int unfilled = m_Bar->Width() - filled - 20;
    if (unfilled > 0 && head0->Height() > 0) {
        graphics::Bitmap rest(unfilled, head0->Height());
        BuildStrip(rest, head0, Image(0, imLine), Image(0, imBase), unfilled - 16);
        const int y0 = (Image(0, imBar)->Height() - head0->Height()) / 2;
        graphics::BlendLayer(&track, {thumb + 5, y0, thumb + 5 + unfilled - 2, y0 + rest.Height()},
                             &rest, {0, 0}, 255);
    }

    m_Overlay->SetBitmap(track);
}

// ---------------------------------------------------------------------------------------------

OcHMSlider::OcHMSlider(framework::Component* owner) : gs::GsCustomSlider(owner)
{
    gs::GsWidget* widget = Widget();
    widget->SetOwner(this);
    auto& slider = MinorSlider();
    slider.OnChange = [this](gs::GsWidget*) { OnChange(this); };
    slider.OnStartDragThumb = [this](gs::GsWidget*) { OnStartDragThumb(this); };
    slider.OnEndDragThumb = [this](gs::GsWidget*) { OnEndDragThumb(this); };
    slider.OnDragThumb = [this](gs::GsWidget*, double precise) { OnDragThumb(this, precise); };
    widget->OnResize = [this](gs::GsWidget*) { AdjustToWidget(); };
    AdjustToWidget();
}

OcHMSlider::~OcHMSlider()
{
    ReleaseWidget();
}

std::unique_ptr<gs::GsWidget> OcHMSlider::CreateWidget()
{
    return std::make_unique<WdgMinorSlider>();
}

WdgMinorSlider& OcHMSlider::MinorSlider()
{
    auto* slider = dynamic_cast<WdgMinorSlider*>(Widget());
    TOLV_ASSERT(slider != nullptr);
    return *slider;
}
