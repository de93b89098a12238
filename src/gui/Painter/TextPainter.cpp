#include "gui/Painter/TextPainter.h"

#include "gui/graphics/image.h"
#include "platform/Assert.h"

#include <QString>

#include <algorithm>

namespace painter {

using graphics::Bitmap;
using graphics::Canvas;
using graphics::Point;
using graphics::Rect;
using graphics::TColor;
using graphics::TFont;

namespace {

// The glow and text writers work on 4-byte pixels through row pointers.
void RequireBitmap32(const Bitmap* bitmap, int line)
{
    if (bitmap->PixelFormat() != graphics::pf32bit)
        platform::AssertionFailed("bitmap->PixelFormat == pf32bit", __FILE__, line);
}

// The part of rect that lies inside the bitmap.
Rect InsideBitmap(const Bitmap* bitmap, const Rect& rect)
{
    return {std::max(rect.Left, 0), std::max(rect.Top, 0), std::min(rect.Right, bitmap->Width()),
            std::min(rect.Bottom, bitmap->Height())};
}

Rect Inset(const Rect& rect, int by)
{
    return {rect.Left + by, rect.Top + by, rect.Right - by, rect.Bottom - by};
}

// A new 32-bit layer of size with a copy of font.
void MakeLayer(Bitmap& layer, int width, int height, const TFont& font)
{
    layer.SetPixelFormat(graphics::pf32bit);
    layer.SetSize(width, height);
    layer.Canvas().SetFont(font);
}

// A scratch bitmap: all zero, black brush.
void MakeScratch(Bitmap& scratch, int width, int height, const TFont& font)
{
    MakeLayer(scratch, width, height, font);
    scratch.Canvas().Brush() = {graphics::clBlack, graphics::bsSolid};
}

// Fills the layer black and sets its font colour white, ready for white text on black.
void MakeMask(Bitmap& mask)
{
    Canvas& canvas = mask.Canvas();
    canvas.Brush() = {graphics::clBlack, graphics::bsSolid};
    canvas.FillRect({0, 0, mask.Width(), mask.Height()});
    canvas.Font().Color = graphics::clWhite;
}

// A layer of rect's size holding text in the font colour, premultiplied.
void MakeTextLayer(Bitmap& layer, const Rect& rect, const TFont& font, const TPainterText& text,
                   unsigned format)
{
    MakeLayer(layer, rect.Width(), rect.Height(), font);
    BuildTextLayer(&layer, {0, 0, rect.Width(), rect.Height()}, text, format);
}

} // namespace

TPainterText::TPainterText(const std::string& text)
    : m_Decoded(QString::fromUtf8(text.data(), qsizetype(text.size())).toStdU16String()),
      m_Text(m_Decoded)
{
}

void BuildTextLayer(Bitmap* target, const Rect& rect, const TPainterText& text, unsigned format)
{
    RequireBitmap32(target, __LINE__);
    const int w = rect.Width();
    const int h = rect.Height();
    if (w <= 0 || h <= 0)
        return;
    Bitmap mask;
    MakeLayer(mask, w, h, target->Canvas().Font());
    MakeMask(mask);
    Rect textRect{0, 0, w, h};
    mask.Canvas().DrawText(text.Utf16(), textRect, format);

    // The rectangle takes the font colour, premultiplied by the coverage (truncated).
    const TColor color = graphics::ColorToRGB(target->Canvas().Font().Color);
    const unsigned red = graphics::GetRValue(color);
    const unsigned green = graphics::GetGValue(color);
    const unsigned blue = graphics::GetBValue(color);
    const Rect area = InsideBitmap(target, rect);
    for (int y = area.Top; y < area.Bottom; ++y) {
        const std::uint8_t* coverage = mask.ScanLine(y - rect.Top);
        std::uint8_t* row = target->ScanLine(y);
        for (int x = area.Left; x < area.Right; ++x) {
            const unsigned m = coverage[(x - rect.Left) * 4];
            std::uint8_t* p = row + x * 4;
            p[0] = std::uint8_t(blue * m / 255);
            p[1] = std::uint8_t(green * m / 255);
            p[2] = std::uint8_t(red * m / 255);
            p[3] = std::uint8_t(m);
        }
    }
}

// ---- TTextPainter ------------------------------------------------------------------------

TTextPainter* TTextPainter::Instance()
{
    // The shared plain painter lives until the process ends; it is deliberately never freed
    // (Release ignores it), so no caller can leave another holding a dead painter.
    static TTextPainter* const shared = new TTextPainter;
    return shared;
}

void TTextPainter::Draw(Canvas* canvas, const TPainterText& text, const Rect& rect,
                        unsigned format, TDrawMode mode, TLayerAlpha alpha)
{
    // On a surface in device pixels the painter draws the text at the surface's resolution;
    // a layer in logical pixels would only be scaled up.
    if (mode == TDrawMode::Blend && (alpha == TLayerAlpha::Straight || canvas->DeviceScale() != 1.0)) {
        Rect copy = rect;
        canvas->DrawText(text.Utf16(), copy, format);
        return;
    }
    if (rect.IsEmpty())
        return;
    Bitmap layer;
    MakeTextLayer(layer, rect, canvas->Font(), text, format);
    if (mode == TDrawMode::WriteLayer)
        graphics::PutBitmapArea(canvas, rect, &layer, {0, 0});
    else
        graphics::DrawLayerOnCanvas(canvas, rect, &layer, {0, 0}, 255);
}

void TTextPainter::Draw(Bitmap* bitmap, const TPainterText& text, const Rect& rect,
                        unsigned format, TDrawMode mode, TLayerAlpha alpha)
{
    // A layer written into a bitmap is premultiplied, whatever alpha says.
    if (mode == TDrawMode::WriteLayer) {
        BuildTextLayer(bitmap, rect, text, format);
        return;
    }
    if (alpha == TLayerAlpha::Straight) {
        Rect copy = rect;
        bitmap->Canvas().DrawText(text.Utf16(), copy, format);
        return;
    }
    if (rect.IsEmpty())
        return;
    Bitmap layer;
    MakeTextLayer(layer, rect, bitmap->Canvas().Font(), text, format);
    graphics::BlendLayer(bitmap, rect, &layer, {0, 0}, 255);
}

void TTextPainter::Measure(Canvas* canvas, const TPainterText& text, Rect& rect, unsigned format)
{
    canvas->DrawText(text.Utf16(), rect, format | graphics::DT_CALCRECT);
}

void TTextPainter::Release()
{
    if (this == Instance())
        return;
    delete this;
}

// ---- TRadiateTextPainter -----------------------------------------------------------------

TRadiateTextPainter::TRadiateTextPainter()
    : m_GlowFactory(std::make_unique<OuterGlowFilterFactory>())
{
}

TRadiateTextPainter::~TRadiateTextPainter() = default;

void TRadiateTextPainter::SetRadius(int radius)
{
    m_Radius = std::clamp(radius, 0, kMaxRadius);
}

IntMatrix TRadiateTextPainter::GlowAlphaMap(const Bitmap* source, const Rect& rect)
{
    const IntMatrix gray = LuminanceMap(source, rect);
    constexpr long double kByte = 1.0L / 255;
    m_GlowFactory->SetSpread(static_cast<float>(m_Spread * kByte));
    m_GlowFactory->SetIntensity(static_cast<float>(m_Opacity * kByte));
    Filter* filter = m_GlowFactory->MakeFilter(m_Radius, m_Radius);
    IntMatrix out(gray.Rows(), gray.Columns());
    ApplyFilter(*filter, gray, 0, 0, gray.Rows(), gray.Columns(), out, 0, 0);
    m_GlowFactory->ReleaseFilter(filter);
    return out;
}

void TRadiateTextPainter::BuildGlowLayer(Bitmap* target, const Rect& rect, bool premultiplied,
                                         TColor color)
{
    RequireBitmap32(target, __LINE__);
    const IntMatrix map = GlowAlphaMap(target, rect);
    const TColor rgb = graphics::ColorToRGB(color);
    const std::uint8_t channels[3] = {graphics::GetBValue(rgb), graphics::GetGValue(rgb),
                                      graphics::GetRValue(rgb)};
    const Rect area = InsideBitmap(target, rect);
    for (int y = area.Top; y < area.Bottom; ++y) {
        const std::int32_t* glow = map[y - rect.Top];
        std::uint8_t* row = target->ScanLine(y);
        for (int x = area.Left; x < area.Right; ++x) {
            const std::int32_t v = std::min<std::int32_t>(glow[x - rect.Left], 255);
            std::uint8_t* p = row + x * 4;
            p[3] = std::uint8_t(v);
            // Premultiplied colour is rounded to nearest; straight colour stays as filled.
            const long double share = static_cast<double>(v * (1.0L / 255));
            for (int c = 0; c < 3; ++c)
                p[c] = premultiplied ? std::uint8_t(channels[c] * share + 0.5L) : channels[c];
        }
    }
}

void TRadiateTextPainter::BuildMaskLayer(Bitmap& layer, const TFont& font,
                                         const TPainterText& text, const Rect& rect,
                                         unsigned format, TLayerAlpha alpha)
{
    const int w = rect.Width();
    const int h = rect.Height();
    MakeLayer(layer, w, h, font);
    MakeMask(layer);
    Rect textRect{m_Radius, m_Radius, w - m_Radius, h - m_Radius};
    layer.Canvas().DrawText(text.Utf16(), textRect, format);
    BuildGlowLayer(&layer, {0, 0, w, h}, alpha == TLayerAlpha::Premultiplied, font.Color);
}

void TRadiateTextPainter::Draw(Canvas* canvas, const TPainterText& text, const Rect& rect,
                               unsigned format, TDrawMode mode, TLayerAlpha alpha)
{
    if (rect.IsEmpty())
        return;
    Bitmap layer;
    BuildMaskLayer(layer, canvas->Font(), text, rect, format, alpha);
    if (mode == TDrawMode::WriteLayer)
        graphics::PutBitmapArea(canvas, rect, &layer, {0, 0});
    else if (alpha == TLayerAlpha::Premultiplied)
        graphics::DrawLayerOnCanvas(canvas, rect, &layer, {0, 0}, 255);
    else
        graphics::DrawLayerOnCanvasSoftware(canvas, rect, &layer, {0, 0}, 255);
}

void TRadiateTextPainter::Draw(Bitmap* bitmap, const TPainterText& text, const Rect& rect,
                               unsigned format, TDrawMode mode, TLayerAlpha alpha)
{
    if (rect.IsEmpty())
        return;
    if (mode == TDrawMode::Blend) {
        Bitmap layer;
        BuildMaskLayer(layer, bitmap->Canvas().Font(), text, rect, format, alpha);
        if (alpha == TLayerAlpha::Premultiplied)
            graphics::BlendLayer(bitmap, rect, &layer, {0, 0}, 255);
        else
            graphics::BlendLayerSoftware(bitmap, rect, &layer, {0, 0}, 255);
        return;
    }
    // In place: white text on black in the rectangle becomes the glow in the font colour.
    RequireBitmap32(bitmap, __LINE__);
    const Rect area = InsideBitmap(bitmap, rect);
    for (int y = area.Top; y < area.Bottom; ++y) {
        std::uint8_t* p = bitmap->ScanLine(y) + area.Left * 4;
        for (int x = area.Left; x < area.Right; ++x, p += 4) {
            p[0] = p[1] = p[2] = 0;
            p[3] = 255;
        }
    }
    TFont& font = bitmap->Canvas().Font();
    const TColor kept = font.Color;
    font.Color = graphics::clWhite;
    Rect textRect = Inset(rect, m_Radius);
    bitmap->Canvas().DrawText(text.Utf16(), textRect, format);
    BuildGlowLayer(bitmap, rect, alpha == TLayerAlpha::Premultiplied, kept);
    font.Color = kept;
}

void TRadiateTextPainter::Measure(Canvas* canvas, const TPainterText& text, Rect& rect,
                                  unsigned format)
{
    TTextPainter::Measure(canvas, text, rect, format);
    if (rect.Width() > 0 && rect.Height() > 0) {
        rect.Right += 2 * m_Radius;
        rect.Bottom += 2 * m_Radius;
    }
}

void TRadiateTextPainter::Release()
{
    delete this;
}

// ---- TOuterGlowTextPainter ---------------------------------------------------------------

bool TOuterGlowTextPainter::AssignGlow(const TOuterGlowTextPainter& other)
{
    const bool changed = Opacity() != other.Opacity() || Radius() != other.Radius() ||
                         Spread() != other.Spread() || m_GlowColor != other.m_GlowColor ||
                         !(m_Offset == other.m_Offset);
    SetOpacity(other.Opacity());
    SetRadius(other.Radius());
    SetSpread(other.Spread());
    m_GlowColor = other.m_GlowColor;
    m_Offset = other.m_Offset;
    return changed;
}

template <typename Target>
void TOuterGlowTextPainter::BlendGlowAndText(Target* target, TFont& font,
                                             const TPainterText& text, const Rect& rect,
                                             unsigned format, TLayerAlpha alpha)
{
    const int radius = Radius();
    const TColor kept = font.Color;
    font.Color = m_GlowColor;
    const Rect textRect{rect.Left + radius, rect.Top + radius,
                        std::max(rect.Left + radius, rect.Right - radius - m_Offset.x),
                        std::max(rect.Top + radius, rect.Bottom - radius - m_Offset.y)};
    const Rect glowRect{rect.Left + m_Offset.x, rect.Top + m_Offset.y, rect.Right, rect.Bottom};
    if (radius != 0)
        TRadiateTextPainter::Draw(target, text, glowRect, format, TDrawMode::Blend, alpha);
    font.Color = kept;
    TTextPainter::Draw(target, text, textRect, format, TDrawMode::Blend, alpha);
}

void TOuterGlowTextPainter::Draw(Canvas* canvas, const TPainterText& text, const Rect& rect,
                                 unsigned format, TDrawMode mode, TLayerAlpha alpha)
{
    if (mode == TDrawMode::Blend) {
        BlendGlowAndText(canvas, canvas->Font(), text, rect, format, alpha);
        return;
    }
    // The layer covers the rectangle's size from (0, 0).
    const int radius = Radius();
    const int ox = m_Offset.x;
    const int oy = m_Offset.y;
    const int w = rect.Width();
    const int h = rect.Height();
    Rect textRect{0, 0, w - ox, h - oy};
    if (radius == 0) {
        TTextPainter::Draw(canvas, text, textRect, format, TDrawMode::WriteLayer,
                           TLayerAlpha::Straight);
        return;
    }
    if (w <= 0 || h <= 0)
        return;
    TFont& font = canvas->Font();
    Bitmap glow;
    MakeScratch(glow, w, h, font);
    glow.Canvas().Font().Color = m_GlowColor;
    TRadiateTextPainter::Draw(&glow, text, Rect{ox, oy, w, h}, format, TDrawMode::WriteLayer,
                              alpha);
    Bitmap layer;
    MakeScratch(layer, w, h, font);
    TTextPainter::Draw(&layer, text, Inset(textRect, radius), format, TDrawMode::WriteLayer,
                       alpha);
    // The text layer is premultiplied already; only a straight glow needs it.
    if (alpha == TLayerAlpha::Straight)
        graphics::PremultiplyAlpha(&glow);
    graphics::BlendLayer(&glow, {0, 0, w, h}, &layer, {0, 0}, 255);
    graphics::PutBitmapArea(canvas, rect, &glow, {0, 0});
}

void TOuterGlowTextPainter::Draw(Bitmap* bitmap, const TPainterText& text, const Rect& rect,
                                 unsigned format, TDrawMode mode, TLayerAlpha alpha)
{
    TFont& font = bitmap->Canvas().Font();
    if (mode == TDrawMode::Blend) {
        BlendGlowAndText(bitmap, font, text, rect, format, alpha);
        return;
    }
    // The layer is built in place, the rectangle counted from the bitmap's origin.
    const int ox = m_Offset.x;
    const int oy = m_Offset.y;
    const int w = rect.Width();
    const int h = rect.Height();
    const Rect textRect{0, 0, w - ox, h - oy};
    if (Radius() == 0) {
        BuildTextLayer(bitmap, textRect, text, format);
        return;
    }
    if (w <= 0 || h <= 0)
        return;
    Bitmap layer;
    MakeScratch(layer, w, h, font);
    BuildTextLayer(&layer, Inset(textRect, Radius()), text, format);
    const TColor kept = font.Color;
    font.Color = m_GlowColor;
    TRadiateTextPainter::Draw(bitmap, text, Rect{ox, oy, rect.Right, rect.Bottom}, format,
                              TDrawMode::WriteLayer, alpha);
    font.Color = kept;
    // The text layer is premultiplied already, whatever the flag.
    graphics::BlendLayer(bitmap, {rect.Left, rect.Top, rect.Right - ox, rect.Bottom - oy},
                         &layer, {0, 0}, 255);
}

void TOuterGlowTextPainter::Measure(Canvas* canvas, const TPainterText& text, Rect& rect,
                                    unsigned format)
{
    TRadiateTextPainter::Measure(canvas, text, rect, format);
    if (rect.Width() != 0 && rect.Height() != 0) {
        rect.Right += m_Offset.x;
        rect.Bottom += m_Offset.y;
    }
}

void TOuterGlowTextPainter::Release()
{
    delete this;
}

} // namespace painter
