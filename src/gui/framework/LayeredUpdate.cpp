#include "gui/framework/LayeredUpdate.h"

#include <QImage>
#include <algorithm>

#include "gui/framework/Form.h"
#include "gui/framework/FormHost.h"

namespace framework {

namespace {

inline std::uint8_t Scale(unsigned value, unsigned alpha)
{
    return static_cast<std::uint8_t>((value * alpha + 127) / 255);
}

// One row of 32-bit B, G, R, A pixels into Qt's premultiplied ARGB, each colour held to its alpha.
void CopyClamped(const std::uint8_t* in, QRgb* out, int count)
{
    for (int x = 0; x < count; ++x, in += 4) {
        const unsigned a = in[3];
        out[x] = (a << 24) | (std::min<unsigned>(in[2], a) << 16) | (std::min<unsigned>(in[1], a) << 8) |
                 std::min<unsigned>(in[0], a);
    }
}

bool FitsSource(const PixelView& source, WindowPoint from, WindowSize size)
{
    if (!source.bits || (source.bitsPerPixel != 32 && source.bitsPerPixel != 24))
        return false;
    if (from.x < 0 || from.y < 0 || source.width < 0 || source.height < 0)
        return false;
    const long long rowBytes = static_cast<long long>(source.width) * (source.bitsPerPixel / 8);
    if (source.stride < rowBytes)
        return false;
    return static_cast<long long>(from.x) + size.cx <= source.width &&
           static_cast<long long>(from.y) + size.cy <= source.height;
}

} // namespace

bool UpdateLayeredWindow(Form* window, const WindowPoint* destination, const WindowSize* size,
                         const PixelView* source, WindowPoint sourcePoint, std::uint32_t colorKey,
                         const BlendFunction* blend, std::uint32_t flags)
{
    if (!window || !size || !source || !(window->ExStyle() & WS_EX_LAYERED))
        return false;
    if (size->cx <= 0 || size->cy <= 0 || !FitsSource(*source, sourcePoint, *size))
        return false;
    const bool useAlpha = (flags & ULW_ALPHA) && blend;
    const unsigned constant = useAlpha ? blend->SourceConstantAlpha : 255;
    const bool perPixel = useAlpha && blend->AlphaFormat == AC_SRC_ALPHA && source->bitsPerPixel == 32;
    const bool keyed = (flags & ULW_COLORKEY) != 0;
    const unsigned keyR = colorKey & 0xFF, keyG = (colorKey >> 8) & 0xFF, keyB = (colorKey >> 16) & 0xFF;
    const int bytesPerPixel = source->bitsPerPixel / 8;

    QImage image(size->cx, size->cy, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return false; // out of memory
    if (perPixel && constant == 255 && !keyed) {
        // The common case (a composed window at full opacity) needs no scaling: the bitmap's
        // B, G, R, A bytes are the premultiplied pixel as it stands, clamped to valid.
        for (int y = 0; y < size->cy; ++y)
            CopyClamped(source->bits + static_cast<std::ptrdiff_t>(sourcePoint.y + y) * source->stride +
                            static_cast<std::ptrdiff_t>(sourcePoint.x) * 4,
                        reinterpret_cast<QRgb*>(image.scanLine(y)), size->cx);
    } else {
        for (int y = 0; y < size->cy; ++y) {
            const std::uint8_t* in = source->bits + static_cast<std::ptrdiff_t>(sourcePoint.y + y) * source->stride +
                                     static_cast<std::ptrdiff_t>(sourcePoint.x) * bytesPerPixel;
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < size->cx; ++x, in += bytesPerPixel) {
                unsigned b = in[0], g = in[1], r = in[2];
                unsigned a = perPixel ? in[3] : 255;
                if (keyed && r == keyR && g == keyG && b == keyB) {
                    out[x] = 0;
                    continue;
                }
                // Premultiplied pixels never have a colour above their alpha; a bitmap that does
                // is clamped rather than handed on as an invalid pixel.
                r = std::min(r, a);
                g = std::min(g, a);
                b = std::min(b, a);
                out[x] = qRgba(Scale(r, constant), Scale(g, constant), Scale(b, constant), Scale(a, constant));
            }
        }
    }

    FormHost* host = window->HostWindow();
    const int left = destination ? destination->x : host->x();
    const int top = destination ? destination->y : host->y();
    host->SetBounds(QRect(left, top, size->cx, size->cy));
    host->SetImage(std::move(image));
    return true;
}

} // namespace framework
