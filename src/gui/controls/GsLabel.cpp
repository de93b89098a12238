#include "gui/controls/GsLabel.h"

#include "gui/graphics/image.h"

#include <QString>

#include <algorithm>
#include <utility>

using graphics::Bitmap;
using graphics::Canvas;
using graphics::Rect;

// ---- gs::GsOuterGlowTextEffectPainter ----------------------------------------------------------

namespace gs {

void GsOuterGlowTextEffectPainter::Draw(Canvas* canvas, const std::string& text, const Rect& rect,
                                        unsigned format, std::int32_t inLayer,
                                        std::uint8_t premultiplied)
{
    canvas->SetFont(m_Effect.Font());
    m_Effect.Painter().Draw(canvas, text, rect, format, inLayer, premultiplied);
}

void GsOuterGlowTextEffectPainter::Draw(Canvas* canvas, const std::u16string& text,
                                        const Rect& rect, unsigned format, std::int32_t inLayer,
                                        std::uint8_t premultiplied)
{
    canvas->SetFont(m_Effect.Font());
    m_Effect.Painter().Draw(canvas, text, rect, format, inLayer, premultiplied);
}

void GsOuterGlowTextEffectPainter::Draw(Bitmap* bitmap, const std::string& text, const Rect& rect,
                                        unsigned format, std::int32_t inLayer,
                                        std::uint8_t premultiplied)
{
    DrawOnBitmap(bitmap, text, rect, format, inLayer, premultiplied);
}

void GsOuterGlowTextEffectPainter::Draw(Bitmap* bitmap, const std::u16string& text,
                                        const Rect& rect, unsigned format, std::int32_t inLayer,
                                        std::uint8_t premultiplied)
{
    DrawOnBitmap(bitmap, text, rect, format, inLayer, premultiplied);
}

template <typename Text>
void GsOuterGlowTextEffectPainter::DrawOnBitmap(Bitmap* bitmap, const Text& text,
                                                const Rect& rect, unsigned format,
                                                std::int32_t inLayer, std::uint8_t premultiplied)
{
    const std::int32_t dx = m_Effect.RadiationX();
    const std::int32_t dy = m_Effect.RadiationY();
    if (dx == 0 && dy == 0) {
        bitmap->Canvas().SetFont(m_Effect.Font());
        m_Effect.Painter().Draw(bitmap, text, rect, format, inLayer, premultiplied);
        return;
    }
    // The copy shares the target's viewport origin, so that the logical rectangle names the
    // same pixels on both, also when the copy's area is put back.
    Bitmap copy;
    copy.Assign(*bitmap);
    copy.Canvas().SetViewportOrigin(bitmap->Canvas().ViewportOrigin());
    copy.Canvas().SetFont(m_Effect.Font());
    m_Effect.Painter().Draw(&copy, text, rect.Offset(dx, dy), format, inLayer, premultiplied);
    graphics::PutBitmapArea(&bitmap->Canvas(), rect, &copy, graphics::Point{rect.Left, rect.Top});
}

void GsOuterGlowTextEffectPainter::Measure(Canvas* canvas, const std::string& text, Rect& rect,
                                           unsigned format)
{
    canvas->SetFont(m_Effect.Font());
    m_Effect.Painter().Measure(canvas, text, rect, format);
}

void GsOuterGlowTextEffectPainter::Measure(Canvas* canvas, const std::u16string& text, Rect& rect,
                                           unsigned format)
{
    canvas->SetFont(m_Effect.Font());
    m_Effect.Painter().Measure(canvas, text, rect, format);
}

} // namespace gs

// ---- GsTextRadiationEffect -----------------------------------------------------------------------

GsTextRadiationEffect::GsTextRadiationEffect()
    : m_Painter(std::make_unique<TOuterGlowTextPainter>()),
      m_Adapter(std::make_unique<gs::GsOuterGlowTextEffectPainter>(*this))
{
}

GsTextRadiationEffect::GsTextRadiationEffect(framework::NotifyEvent onChange)
    : GsTextRadiationEffect()
{
    OnChange = std::move(onChange);
}

GsTextRadiationEffect::GsTextRadiationEffect(const GsTextRadiationEffect& other)
    : GsTextRadiationEffect()
{
    m_Font = other.m_Font;
    m_Painter->SetOpacity(other.Opacity());
    m_Painter->SetRadius(other.m_Painter->Radius());
    m_Painter->SetSpread(other.Spread());
    m_Painter->SetGlowColor(other.Color());
    m_Painter->SetOffset(other.m_Painter->Offset());
    OnChange = other.OnChange;
}

GsTextRadiationEffect::~GsTextRadiationEffect() = default;

GsTextRadiationEffect& GsTextRadiationEffect::operator=(const GsTextRadiationEffect& other)
{
    if (this == &other)
        return *this;
    m_Painter->SetOpacity(other.Opacity());
    m_Painter->SetRadius(other.m_Painter->Radius());
    m_Painter->SetSpread(other.Spread());
    m_Painter->SetGlowColor(other.Color());
    m_Painter->SetOffset(other.m_Painter->Offset());
    m_Font = other.m_Font;
    Changed();
    return *this;
}

void GsTextRadiationEffect::Changed()
{
    OnChange(this);
}

std::uint8_t GsTextRadiationEffect::Opacity() const
{
    return m_Painter->Opacity();
}

void GsTextRadiationEffect::SetOpacity(std::uint8_t value)
{
    if (m_Painter->Opacity() == value)
        return;
    m_Painter->SetOpacity(value);
    Changed();
}

std::uint32_t GsTextRadiationEffect::Radius() const
{
    return static_cast<std::uint32_t>(m_Painter->Radius());
}

void GsTextRadiationEffect::SetRadius(std::uint32_t value)
{
    // The painter keeps the radius within its limit; compare what it would store.
    const int stored = static_cast<int>(
        std::min<std::uint32_t>(value, static_cast<std::uint32_t>(TRadiateTextPainter::kMaxRadius)));
    if (m_Painter->Radius() == stored)
        return;
    m_Painter->SetRadius(stored);
    Changed();
}

std::uint8_t GsTextRadiationEffect::Spread() const
{
    return m_Painter->Spread();
}

void GsTextRadiationEffect::SetSpread(std::uint8_t value)
{
    if (m_Painter->Spread() == value)
        return;
    m_Painter->SetSpread(value);
    Changed();
}

graphics::TColor GsTextRadiationEffect::Color() const
{
    return m_Painter->GlowColor();
}

void GsTextRadiationEffect::SetColor(graphics::TColor value)
{
    if (m_Painter->GlowColor() == value)
        return;
    m_Painter->SetGlowColor(value);
    Changed();
}

std::int32_t GsTextRadiationEffect::RadiationX() const
{
    return m_Painter->Offset().x;
}

void GsTextRadiationEffect::SetRadiationX(std::int32_t value)
{
    graphics::Point offset = m_Painter->Offset();
    if (offset.x == value)
        return;
    offset.x = value;
    m_Painter->SetOffset(offset);
    Changed();
}

std::int32_t GsTextRadiationEffect::RadiationY() const
{
    return m_Painter->Offset().y;
}

void GsTextRadiationEffect::SetRadiationY(std::int32_t value)
{
    graphics::Point offset = m_Painter->Offset();
    if (offset.y == value)
        return;
    offset.y = value;
    m_Painter->SetOffset(offset);
    Changed();
}

void GsTextRadiationEffect::SetFont(const graphics::TFont& font)
{
    if (&font == &m_Font)
        return;
    m_Font = font;
    Changed();
}

// ---- GsTextMargins -------------------------------------------------------------------------------

GsTextMargins::GsTextMargins(const GsTextMargins& other)
    : framework::Component(), m_Left(other.m_Left), m_Right(other.m_Right), m_Top(other.m_Top),
      m_Bottom(other.m_Bottom)
{
}

GsTextMargins& GsTextMargins::operator=(const GsTextMargins& other)
{
    m_Left = other.m_Left;
    m_Right = other.m_Right;
    m_Top = other.m_Top;
    m_Bottom = other.m_Bottom;
    Changed();
    return *this;
}

void GsTextMargins::SetLeft(std::int32_t value)
{
    m_Left = value;
    Changed();
}

void GsTextMargins::SetRight(std::int32_t value)
{
    m_Right = value;
    Changed();
}

void GsTextMargins::SetTop(std::int32_t value)
{
    m_Top = value;
    Changed();
}

void GsTextMargins::SetBottom(std::int32_t value)
{
    m_Bottom = value;
    Changed();
}

// ---- GsRadiation ---------------------------------------------------------------------------------

GsRadiation& GsRadiation::operator=(const GsRadiation& other)
{
    if (this == &other)
        return *this;
    TOuterGlowTextPainter& target = m_Label.Painter();
    const TOuterGlowTextPainter& source = other.m_Label.Painter();
    const bool changed = target.Opacity() != source.Opacity() ||
                         target.Radius() != source.Radius() || target.Spread() != source.Spread() ||
                         target.GlowColor() != source.GlowColor() ||
                         !(target.Offset() == source.Offset());
    target.SetOpacity(source.Opacity());
    target.SetRadius(source.Radius());
    target.SetSpread(source.Spread());
    target.SetGlowColor(source.GlowColor());
    target.SetOffset(source.Offset());
    Changed(changed);
    return *this;
}

void GsRadiation::Changed(bool valueChanged)
{
    // The label re-fits on every assignment; a changed look is repainted even when the size
    // stays the same.
    m_Label.AdjustSize();
    if (valueChanged)
        m_Label.Invalidate();
}

std::uint8_t GsRadiation::Opacity() const
{
    return m_Label.Painter().Opacity();
}

void GsRadiation::SetOpacity(std::uint8_t value)
{
    const bool changed = m_Label.Painter().Opacity() != value;
    if (changed)
        m_Label.Painter().SetOpacity(value);
    Changed(changed);
}

std::uint32_t GsRadiation::Radius() const
{
    return static_cast<std::uint32_t>(m_Label.Painter().Radius());
}

void GsRadiation::SetRadius(std::uint32_t value)
{
    const int stored = static_cast<int>(
        std::min<std::uint32_t>(value, static_cast<std::uint32_t>(TRadiateTextPainter::kMaxRadius)));
    const bool changed = m_Label.Painter().Radius() != stored;
    if (changed)
        m_Label.Painter().SetRadius(stored);
    Changed(changed);
}

std::uint8_t GsRadiation::Spread() const
{
    return m_Label.Painter().Spread();
}

void GsRadiation::SetSpread(std::uint8_t value)
{
    const bool changed = m_Label.Painter().Spread() != value;
    if (changed)
        m_Label.Painter().SetSpread(value);
    Changed(changed);
}

graphics::TColor GsRadiation::Color() const
{
    return m_Label.Painter().GlowColor();
}

void GsRadiation::SetColor(graphics::TColor value)
{
    const bool changed = m_Label.Painter().GlowColor() != value;
    if (changed)
        m_Label.Painter().SetGlowColor(value);
    Changed(changed);
}

std::int32_t GsRadiation::X() const
{
    return m_Label.Painter().Offset().x;
}

void GsRadiation::SetX(std::int32_t value)
{
    graphics::Point offset = m_Label.Painter().Offset();
    const bool changed = offset.x != value;
    offset.x = value;
    m_Label.Painter().SetOffset(offset);
    Changed(changed);
}

std::int32_t GsRadiation::Y() const
{
    return m_Label.Painter().Offset().y;
}

void GsRadiation::SetY(std::int32_t value)
{
    graphics::Point offset = m_Label.Painter().Offset();
    const bool changed = offset.y != value;
    offset.y = value;
    m_Label.Painter().SetOffset(offset);
    Changed(changed);
}

// ---- GsLabel -------------------------------------------------------------------------------------

namespace {

std::u16string Wide(const std::string& text)
{
    return QString::fromStdString(text).toStdU16String();
}

unsigned EllipsisFlag(TEllipsisPosition position)
{
    switch (position) {
    case epPathEllipsis:
        return graphics::DT_PATH_ELLIPSIS;
    case epEndEllipsis:
        return graphics::DT_END_ELLIPSIS;
    case epWordEllipsis:
        return graphics::DT_WORD_ELLIPSIS;
    case epNone:
        break;
    }
    return 0;
}

} // namespace

GsLabel::GsLabel(framework::Component* owner)
    : framework::GraphicControl(owner), m_Painter(std::make_unique<TOuterGlowTextPainter>()),
      m_Radiation(std::make_unique<GsRadiation>(*this))
{
    m_Painter->SetOffset(graphics::Point{1, 1});
    m_Painter->SetRadius(3);
    m_Painter->SetSpread(0);
    m_Painter->SetOpacity(192);
    m_Painter->SetGlowColor(graphics::clBlack);
    SetAutoSize(true);
}

GsLabel::~GsLabel() = default;

void GsLabel::SetTransparent(bool value)
{
    if (m_Transparent == value)
        return;
    m_Transparent = value;
    Invalidate();
}

void GsLabel::SetColor(graphics::TColor value)
{
    if (m_Color == value)
        return;
    m_Color = value;
    Invalidate();
}

void GsLabel::SetAlignment(framework::TAlignment value)
{
    if (m_Alignment == value)
        return;
    m_Alignment = value;
    Invalidate();
}

void GsLabel::SetLayout(framework::TTextLayout value)
{
    if (m_Layout == value)
        return;
    m_Layout = value;
    Invalidate();
}

void GsLabel::SetWordWrap(bool value)
{
    if (m_WordWrap == value)
        return;
    m_WordWrap = value;
    AdjustSize();
    Invalidate();
}

void GsLabel::SetEllipsisPosition(TEllipsisPosition value)
{
    if (m_EllipsisPosition == value)
        return;
    m_EllipsisPosition = value;
    Invalidate();
}

unsigned GsLabel::TextFlags() const
{
    unsigned flags = graphics::DT_EXPANDTABS;
    if (m_Alignment == framework::taRightJustify)
        flags |= graphics::DT_RIGHT;
    else if (m_Alignment == framework::taCenter)
        flags |= graphics::DT_CENTER;
    if (m_WordWrap)
        flags |= graphics::DT_WORDBREAK;
    return flags | EllipsisFlag(m_EllipsisPosition);
}

void GsLabel::AdjustSize()
{
    if (!AutoSize())
        return;
    graphics::Bitmap scratch(1, 1);
    graphics::Rect rect = ClientRect();
    unsigned flags = graphics::DT_EXPANDTABS | graphics::DT_CALCRECT;
    if (m_WordWrap)
        flags |= graphics::DT_WORDBREAK;
    DoDrawText(scratch.Canvas(), rect, flags);
    int left = Left();
    if (m_Alignment == framework::taRightJustify)
        left += Width() - rect.Right;
    SetBounds(left, Top(), rect.Right, rect.Bottom);
}

void GsLabel::DoDrawText(graphics::Canvas& canvas, graphics::Rect& rect, unsigned flags)
{
    flags |= EllipsisFlag(m_EllipsisPosition);
    const std::u16string text = Wide(Caption());
    canvas.SetFont(Font());
    if (flags & graphics::DT_CALCRECT) {
        m_Painter->Measure(&canvas, text, rect, flags);
        return;
    }
    if (!m_Transparent) {
        canvas.Brush().Color = m_Color;
        canvas.Brush().Style = graphics::bsSolid;
        canvas.FillRect(rect);
    }
    if (Enabled()) {
        m_Painter->Draw(&canvas, text, rect, flags, 0, 1);
        return;
    }
    canvas.Font().Color = graphics::clGrayText;
    TTextPainter* plain = TTextPainter::Instance();
    plain->Draw(&canvas, text, rect, flags, 0, 1);
    plain->Release();
}

void GsLabel::ApplyLayout(graphics::Canvas& canvas, graphics::Rect& rect)
{
    if (m_Layout == framework::tlTop)
        return;
    // Measured relative to the rectangle, so a label drawn at its position in a container
    // lays out as it does on its own.
    graphics::Rect measured = rect;
    DoDrawText(canvas, measured, TextFlags() | graphics::DT_CALCRECT);
    int d = rect.Height() - measured.Height();
    if (m_Layout == framework::tlCenter)
        d /= 2;
    // Text taller than the label stays anchored at the top instead of leaving the label.
    if (d > 0)
        rect.Top += d;
}

void GsLabel::DrawCaption(graphics::Canvas& canvas, graphics::Rect rect)
{
    if (!m_Transparent) {
        canvas.Brush().Color = m_Color;
        canvas.Brush().Style = graphics::bsSolid;
        canvas.FillRect(rect);
    }
    ApplyLayout(canvas, rect);
    DoDrawText(canvas, rect, TextFlags());
}

void GsLabel::Paint(graphics::Canvas& canvas)
{
    DrawCaption(canvas, ClientRect());
}

void GsLabel::RenderTo(graphics::Bitmap* bitmap)
{
    bitmap->SetSize(Width(), Height());
    DrawCaption(bitmap->Canvas(), graphics::Rect{0, 0, Width(), Height()});
}

void GsLabel::DrawInto(graphics::Bitmap* container)
{
    if (Caption().empty())
        return;
    DrawCaption(container->Canvas(), BoundsRect());
}

void GsLabel::FontChanged()
{
    AdjustSize();
}

void GsLabel::EnabledChanged()
{
    Invalidate();
}
