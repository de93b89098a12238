#pragma once

#include "gui/Painter/TextPainter.h"
#include "gui/graphics/Bitmap.h"

#include "QtTestApp.h"

#include <algorithm>
#include <array>
#include <cstdint>

// Pixel access and ink boxes for the painter tests.
namespace paintertest {

using Pixel = std::array<std::uint8_t, 4>; // B, G, R, A (A is 0 for 24-bit bitmaps)

// The flags of Draw, short.
constexpr TDrawMode kBlend = TDrawMode::Blend;
constexpr TDrawMode kWriteLayer = TDrawMode::WriteLayer;
constexpr TLayerAlpha kStraight = TLayerAlpha::Straight;
constexpr TLayerAlpha kPremultiplied = TLayerAlpha::Premultiplied;

inline Pixel Get(const graphics::Bitmap& b, int x, int y)
{
    const int bpp = b.BytesPerPixel();
    const std::uint8_t* p = b.ScanLine(y) + x * bpp;
    return {p[0], p[1], p[2], std::uint8_t(bpp == 4 ? p[3] : 0)};
}

inline void Set(graphics::Bitmap& b, int x, int y, Pixel v)
{
    const int bpp = b.BytesPerPixel();
    std::uint8_t* p = b.ScanLine(y) + x * bpp;
    for (int i = 0; i < bpp; ++i)
        p[i] = v[i];
}

inline void FillAll(graphics::Bitmap& b, Pixel v)
{
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            Set(b, x, y, v);
}

// The bounding box of the pixels for which keep(pixel) holds; empty (0, 0, 0, 0) if none.
template <typename Keep>
graphics::Rect Box(const graphics::Bitmap& b, Keep keep)
{
    graphics::Rect box{b.Width(), b.Height(), 0, 0};
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (keep(Get(b, x, y))) {
                box.Left = std::min(box.Left, x);
                box.Top = std::min(box.Top, y);
                box.Right = std::max(box.Right, x + 1);
                box.Bottom = std::max(box.Bottom, y + 1);
            }
    return box.IsEmpty() ? graphics::Rect{} : box;
}

inline bool Within(const graphics::Rect& inner, const graphics::Rect& outer)
{
    return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
           inner.Bottom <= outer.Bottom;
}

inline graphics::TFont TestFont(graphics::TColor color)
{
    graphics::TFont font;
    font.Name = "Arial";
    font.Height = -16;
    font.Color = color;
    return font;
}

} // namespace paintertest
