#include "gui/controls/GsLabel.h"

#include "gui/graphics/image.h"

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
    // same pixels on both when the copy is put back.
    Bitmap copy;
    copy.Assign(*bitmap);
    copy.Canvas().SetViewportOrigin(bitmap->Canvas().ViewportOrigin());
    copy.Canvas().SetFont(m_Effect.Font());
    m_Effect.Painter().Draw(&copy, text, rect.Offset(dx, dy), format, inLayer, premultiplied);
    const graphics::Point origin = copy.Canvas().ViewportOrigin();
    graphics::PutBitmapArea(&bitmap->Canvas(), rect, &copy,
                            graphics::Point{rect.Left + origin.x, rect.Top + origin.y});
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
