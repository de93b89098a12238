#include "gui/graphics/image.h"

#include "platform/Assert.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <fstream>
#include <string>

namespace graphics {

namespace {

// 1/255 in x87 extended precision (64-bit significand), as the software blend's arithmetic
// needs it: with it, opacity 128 over black gives 127, not 128.
constexpr long double kInv255 = 0x8080808080808081p-71L;

// x / 255 rounded to nearest, for 0 <= x <= 65535.
inline unsigned Div255(unsigned x)
{
    x += 128;
    return (x + (x >> 8)) >> 8;
}

inline std::uint8_t Saturate(unsigned v)
{
    return std::uint8_t(std::min(v, 255u));
}

std::int32_t Narrow(long long v)
{
    return std::int32_t(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

// The area at origin of the given size lies inside the bitmap (empty sizes always do).
bool AreaInside(const Bitmap* bitmap, Point origin, std::int32_t width, std::int32_t height)
{
    if (width <= 0 || height <= 0)
        return true;
    return origin.x >= 0 && origin.y >= 0 &&
           static_cast<long long>(origin.x) + width <= bitmap->Width() &&
           static_cast<long long>(origin.y) + height <= bitmap->Height();
}

// Premultiplied "over" of one pixel: s is B, G, R(, A) of the layer, d of the destination.
template <bool LayerAlpha, bool DestAlpha>
inline void BlendPixel(const std::uint8_t* s, std::uint8_t* d, unsigned opacity)
{
    unsigned sb = s[0], sg = s[1], sr = s[2];
    unsigned sa = LayerAlpha ? s[3] : 255u;
    if (opacity != 255) {
        sb = Div255(sb * opacity);
        sg = Div255(sg * opacity);
        sr = Div255(sr * opacity);
        sa = Div255(sa * opacity);
    }
    const unsigned keep = 255 - sa;
    d[0] = Saturate(sb + Div255(d[0] * keep));
    d[1] = Saturate(sg + Div255(d[1] * keep));
    d[2] = Saturate(sr + Div255(d[2] * keep));
    if (DestAlpha)
        d[3] = Saturate(sa + Div255(d[3] * keep));
}

template <bool LayerAlpha, bool DestAlpha>
void BlendRows(Bitmap* dst, const Region& area, const Rect& device, const Bitmap* layer,
               Point origin, unsigned opacity)
{
    constexpr int sbpp = LayerAlpha ? 4 : 3;
    constexpr int dbpp = DestAlpha ? 4 : 3;
    for (const Rect& r : area.Rects()) {
        for (int y = r.Top; y < r.Bottom; ++y) {
            const std::uint8_t* s =
                layer->ScanLine(origin.y + (y - device.Top)) +
                std::size_t(origin.x + (r.Left - device.Left)) * sbpp;
            std::uint8_t* d = dst->ScanLine(y) + std::size_t(r.Left) * dbpp;
            for (int x = r.Left; x < r.Right; ++x, s += sbpp, d += dbpp)
                BlendPixel<LayerAlpha, DestAlpha>(s, d, opacity);
        }
    }
}

bool HasPngSignature(const QByteArray& data)
{
    static constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data.size() < qsizetype(kSignature.size()))
        return false;
    return std::equal(kSignature.begin(), kSignature.end(),
                      reinterpret_cast<const unsigned char*>(data.constData()));
}

std::uint32_t ReadBigEndian32(const QByteArray& data, qsizetype offset)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData()) + offset;
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

// The size in the header chunk, refused when absurd; checked before anything is decoded so a
// hostile file cannot make the decoder allocate gigabytes.
bool AcceptableHeader(const QByteArray& data)
{
    constexpr qsizetype kHeaderEnd = 8 + 8 + 13;
    if (data.size() < kHeaderEnd || data.mid(12, 4) != "IHDR" || ReadBigEndian32(data, 8) != 13)
        return false;
    const std::uint32_t width = ReadBigEndian32(data, 16);
    const std::uint32_t height = ReadBigEndian32(data, 20);
    return width > 0 && height > 0 && width <= std::uint32_t(kMaxImageSide) &&
           height <= std::uint32_t(kMaxImageSide) &&
           std::int64_t(width) * height <= kMaxImagePixels;
}

// The whole file, or nothing when it is missing, unreadable or larger than any image the
// loaders accept could reasonably be.
QByteArray ReadSmallFile(const std::filesystem::path& path)
{
    constexpr std::uintmax_t kMaxFileBytes = 64u * 1024 * 1024;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return {};
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxFileBytes)
        return {};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    QByteArray data(qsizetype(size), Qt::Uninitialized);
    in.read(data.data(), std::streamsize(size));
    data.resize(qsizetype(in.gcount()));
    return data;
}

QImage DecodePng(const QByteArray& data)
{
    if (!HasPngSignature(data) || !AcceptableHeader(data))
        return {};
    // Room for the largest accepted image at 8 bytes a pixel (16-bit channels), in MiB.
    QImageReader::setAllocationLimit(int(kMaxImagePixels * 8 / (1024 * 1024)));
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull() || image.width() != int(ReadBigEndian32(data, 16)) ||
        image.height() != int(ReadBigEndian32(data, 20)))
        return {};
    return image;
}

} // namespace

void PremultiplyAlpha(Bitmap* bitmap)
{
    TOLV_ASSERT(bitmap != nullptr);
    if (bitmap->PixelFormat() != pf32bit)
        return;
    const int width = bitmap->Width();
    for (int y = 0; y < bitmap->Height(); ++y) {
        std::uint8_t* p = bitmap->ScanLine(y);
        for (int x = 0; x < width; ++x, p += 4) {
            const unsigned a = p[3];
            p[0] = std::uint8_t(p[0] * a / 255);
            p[1] = std::uint8_t(p[1] * a / 255);
            p[2] = std::uint8_t(p[2] * a / 255);
        }
    }
}

Rect ClipBlendArea(Bitmap* dst, const Rect& rect, Bitmap* layer, Point& srcOrigin)
{
    TOLV_ASSERT(dst != nullptr && layer != nullptr);
    long long left = rect.Left, top = rect.Top, right = rect.Right, bottom = rect.Bottom;
    long long sx = srcOrigin.x, sy = srcOrigin.y;
    if (left < 0) {
        sx -= left;
        left = 0;
    }
    if (sx < 0) {
        left -= sx;
        sx = 0;
    }
    if (top < 0) {
        sy -= top;
        top = 0;
    }
    if (sy < 0) {
        top -= sy;
        sy = 0;
    }
    const long long availableWidth = std::max(0LL, layer->Width() - sx);
    const long long availableHeight = std::max(0LL, layer->Height() - sy);
    if (dst->Width() < right)
        right = dst->Width();
    if (dst->Height() < bottom)
        bottom = dst->Height();
    if (right - left > availableWidth)
        right = left + availableWidth;
    if (bottom - top > availableHeight)
        bottom = top + availableHeight;
    srcOrigin = {Narrow(sx), Narrow(sy)};
    return {Narrow(left), Narrow(top), Narrow(right), Narrow(bottom)};
}

void BlendStraight24(Bitmap* dst, const Rect& rect, Bitmap* src, Point srcOrigin,
                     std::uint8_t opacity)
{
    TOLV_ASSERT(dst != nullptr && src != nullptr);
    if (src->PixelFormat() != pf32bit)
        platform::AssertionFailed("src->PixelFormat == pf32bit", __FILE__, __LINE__);
    const double f = static_cast<double>(opacity * kInv255);
    dst->SetPixelFormat(pf24bit);
    const std::int32_t width = rect.Width(), height = rect.Height();
    // The caller clips; an area outside either bitmap is a programming error, not a blend.
    TOLV_ASSERT(AreaInside(dst, Point{rect.Left, rect.Top}, width, height) &&
                AreaInside(src, srcOrigin, width, height));
    for (std::int32_t i = 0; i < height; ++i) {
        const std::uint8_t* s = src->ScanLine(srcOrigin.y + i) + std::size_t(srcOrigin.x) * 4;
        std::uint8_t* d = dst->ScanLine(rect.Top + i) + std::size_t(rect.Left) * 3;
        for (std::int32_t j = 0; j < width; ++j, s += 4, d += 3) {
            const double a = static_cast<double>(s[3] * kInv255);
            const double k = static_cast<double>(static_cast<long double>(f) * a);
            const double m = static_cast<double>(1.0L - k);
            for (int c = 0; c < 3; ++c) {
                const long double sum = s[c] * static_cast<long double>(k) +
                                        d[c] * static_cast<long double>(m);
                d[c] = static_cast<std::uint8_t>(static_cast<int>(sum));
            }
        }
    }
}

void AlphaBlendLayer(Bitmap* dst, const Rect& rect, Bitmap* layer, Point srcOrigin,
                     std::uint8_t opacity)
{
    TOLV_ASSERT(dst != nullptr && layer != nullptr);
    const std::int32_t width = rect.Width(), height = rect.Height();
    if (width <= 0 || height <= 0 || !AreaInside(layer, srcOrigin, width, height))
        return;
    Canvas& canvas = dst->Canvas();
    const Point origin = canvas.ViewportOrigin();
    const Rect device = rect.Offset(origin.x, origin.y);
    const Region area = canvas.DrawableRegion(rect);
    const bool layerAlpha = layer->PixelFormat() == pf32bit;
    const bool destAlpha = dst->PixelFormat() == pf32bit;
    if (layerAlpha && destAlpha)
        BlendRows<true, true>(dst, area, device, layer, srcOrigin, opacity);
    else if (layerAlpha)
        BlendRows<true, false>(dst, area, device, layer, srcOrigin, opacity);
    else if (destAlpha)
        BlendRows<false, true>(dst, area, device, layer, srcOrigin, opacity);
    else
        BlendRows<false, false>(dst, area, device, layer, srcOrigin, opacity);
}

void BlendLayerSoftware(Bitmap* dst, const Rect& rect, Bitmap* src, Point srcOrigin,
                        std::uint8_t opacity)
{
    const Rect clipped = ClipBlendArea(dst, rect, src, srcOrigin);
    BlendStraight24(dst, clipped, src, srcOrigin, opacity);
}

void BlendLayer(Bitmap* dst, const Rect& rect, Bitmap* layer, Point srcOrigin, std::uint8_t opacity)
{
    TOLV_ASSERT(layer != nullptr);
    if (layer->PixelFormat() != pf32bit)
        platform::AssertionFailed("layer->PixelFormat == pf32bit", __FILE__, __LINE__);
    const Rect clipped = ClipBlendArea(dst, rect, layer, srcOrigin);
    AlphaBlendLayer(dst, clipped, layer, srcOrigin, opacity);
}

void GrabCanvasArea(Canvas* canvas, Bitmap* bitmap, const Rect& rect)
{
    TOLV_ASSERT(canvas != nullptr && bitmap != nullptr);
    bitmap->SetSize(rect.Width(), rect.Height());
    bitmap->Canvas().CopyArea(Rect{0, 0, rect.Width(), rect.Height()}, *canvas, rect, cmSrcCopy);
}

void PutBitmapArea(Canvas* canvas, const Rect& rect, Bitmap* bitmap, Point srcOrigin)
{
    TOLV_ASSERT(canvas != nullptr && bitmap != nullptr);
    canvas->SetCopyMode(cmSrcCopy);
    const Rect source{srcOrigin.x, srcOrigin.y, srcOrigin.x + rect.Width(),
                      srcOrigin.y + rect.Height()};
    canvas->CopyRect(rect, bitmap->Canvas(), source);
}

void DrawLayerOnCanvas(Canvas* canvas, const Rect& rect, Bitmap* layer, Point srcOrigin,
                       std::uint8_t opacity)
{
    Bitmap temporary(0, 0, pf32bit);
    GrabCanvasArea(canvas, &temporary, rect);
    BlendLayer(&temporary, Rect{0, 0, rect.Width(), rect.Height()}, layer, srcOrigin, opacity);
    PutBitmapArea(canvas, rect, &temporary, Point{0, 0});
}

void DrawLayerOnCanvasSoftware(Canvas* canvas, const Rect& rect, Bitmap* layer,
                               Point srcOrigin, std::uint8_t opacity)
{
    Bitmap temporary(0, 0, pf24bit);
    GrabCanvasArea(canvas, &temporary, rect);
    BlendLayerSoftware(&temporary, Rect{0, 0, rect.Width(), rect.Height()}, layer, srcOrigin,
                       opacity);
    PutBitmapArea(canvas, rect, &temporary, Point{0, 0});
}

void LoadPngImagePlain(const std::filesystem::path& path, Bitmap* bitmap)
{
    TOLV_ASSERT(bitmap != nullptr);
    bitmap->SetImage(DecodePng(ReadSmallFile(path)));
}

void LoadPngImage(const std::filesystem::path& path, Bitmap* bitmap)
{
    LoadPngImagePlain(path, bitmap);
    // The decoded pixels are premultiplied already: record the mode without converting, or
    // translucent pixels would be darkened a second time.
    bitmap->SetAlphaMode(AlphaMode::Defined);
    bitmap->SetAlphaMode(AlphaMode::Premultiplied);
    if (bitmap->Width() <= 0 || bitmap->Height() <= 0)
        platform::ShowMessageBox("Can not load image " + path.string(), "LoadImage", platform::MB_OK);
}

std::filesystem::path SkinFolder()
{
    return platform::ProgramFolder() / "resource" / "UI" / "";
}

} // namespace graphics
