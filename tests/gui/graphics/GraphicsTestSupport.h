#pragma once

#include "gui/graphics/Bitmap.h"

#include <QGuiApplication>

#include <array>
#include <cstdint>

// Pixel access for the graphics tests, and the Qt application that text drawing needs (made on
// first use and kept for the whole run: Qt allows one per process).
namespace testsupport {
void UseQtLeakSuppressions(); // fontconfig keeps its caches until exit
}

namespace graphicstest {

inline QGuiApplication& GuiApp()
{
    testsupport::UseQtLeakSuppressions();
    static int argc = 1;
    static char name[] = "tolv-graphics-test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

using Pixel = std::array<std::uint8_t, 4>; // B, G, R, A (A is 0 for 24-bit bitmaps)

inline Pixel Get(graphics::Bitmap& b, int x, int y)
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

// A bitmap whose every pixel differs: B = x, G = y, R = x + y, A = 200 (32-bit).
inline void FillPattern(graphics::Bitmap& b)
{
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            Set(b, x, y, {std::uint8_t(x), std::uint8_t(y), std::uint8_t(x + y), 200});
}

} // namespace graphicstest
