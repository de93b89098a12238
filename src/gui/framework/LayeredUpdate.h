#pragma once

#include <cstdint>

namespace framework {

class Form;

// The platform call that gives a layered window its picture: the window takes the image's size
// (and the destination point, when one is given) and shows the image's pixels with the blend
// applied. Shaped after the desktop call the layered-window code was written for.

enum : std::uint32_t {
    ULW_COLORKEY = 0x1, // pixels of the key colour are transparent, the others opaque
    ULW_ALPHA = 0x2,    // blend with the constant alpha and, with AC_SRC_ALPHA, per-pixel alpha
    ULW_OPAQUE = 0x4,
};

enum : std::uint8_t { AC_SRC_OVER = 0, AC_SRC_ALPHA = 1 };

struct BlendFunction {
    std::uint8_t BlendOp = AC_SRC_OVER;
    std::uint8_t BlendFlags = 0;
    std::uint8_t SourceConstantAlpha = 255;
    std::uint8_t AlphaFormat = 0;
};

struct WindowPoint {
    int x = 0;
    int y = 0;
};

struct WindowSize {
    int cx = 0;
    int cy = 0;
};

// A view of a bitmap's pixels: rows top-down, `stride` bytes apart; 32 bits per pixel are
// B, G, R, A in memory (premultiplied where per-pixel alpha is used), 24 bits are B, G, R.
struct PixelView {
    const std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    int bitsPerPixel = 32;
};

// False when the window is not layered, the size is empty, the source is missing or too small
// for the size at the source point, or a pixel format other than 24 or 32 bits is given. The
// colour key is 0x00BBGGRR.
bool UpdateLayeredWindow(Form* window, const WindowPoint* destination, const WindowSize* size,
                         const PixelView* source, WindowPoint sourcePoint, std::uint32_t colorKey,
                         const BlendFunction* blend, std::uint32_t flags);

} // namespace framework
