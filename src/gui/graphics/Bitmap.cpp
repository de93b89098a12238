#include "gui/graphics/Bitmap.h"

#include "platform/Assert.h"

#include <algorithm>
#include <cstring>

namespace graphics {

namespace {

QImage::Format StorageFormat(TPixelFormat format)
{
    return format == pf32bit ? QImage::Format_ARGB32_Premultiplied : QImage::Format_BGR888;
}

QImage MakeStorage(int width, int height, TPixelFormat format)
{
    if (width <= 0 || height <= 0)
        return QImage();
    QImage image(width, height, StorageFormat(format));
    if (image.isNull())
        return image; // out of memory: the bitmap stays empty
    image.fill(0);
    return image;
}

// c * a / 255 rounded to nearest; the exact half never occurs because 255 is odd.
inline std::uint8_t MulDiv255(unsigned c, unsigned a)
{
    return std::uint8_t((c * a + 127) / 255);
}

} // namespace

AlphaMode ToAlphaMode(GsAlphaFormat format)
{
    switch (format) {
    case gafDefined:
        return AlphaMode::Defined;
    case gafPremultiplied:
        return AlphaMode::Premultiplied;
    case gafIgnored:
        break;
    }
    return AlphaMode::Ignored;
}

GsAlphaFormat ToGsAlphaFormat(AlphaMode mode)
{
    switch (mode) {
    case AlphaMode::Defined:
        return gafDefined;
    case AlphaMode::Premultiplied:
        return gafPremultiplied;
    case AlphaMode::Ignored:
        break;
    }
    return gafIgnored;
}

Bitmap::Bitmap() : m_Canvas(std::make_unique<graphics::Canvas>(*this)) {}

Bitmap::Bitmap(int width, int height, TPixelFormat format) : Bitmap()
{
    m_Format = format;
    m_Image = MakeStorage(width, height, format);
}

Bitmap::~Bitmap() = default;

int Bitmap::Width() const
{
    return m_Image.width();
}

int Bitmap::Height() const
{
    return m_Image.height();
}

bool Bitmap::Empty() const
{
    return m_Image.isNull();
}

void Bitmap::SetSize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == Width() && height == Height())
        return;
    QImage resized = MakeStorage(width, height, m_Format);
    if (!resized.isNull() && !m_Image.isNull()) {
        const int rows = std::min(height, Height());
        const std::size_t bytes = std::size_t(std::min(width, Width())) * BytesPerPixel();
        for (int y = 0; y < rows; ++y)
            std::memcpy(resized.scanLine(y), m_Image.constScanLine(y), bytes);
    }
    m_Image = resized;
}

void Bitmap::SetWidth(int width)
{
    SetSize(width, Height());
}

void Bitmap::SetHeight(int height)
{
    SetSize(Width(), height);
}

TPixelFormat Bitmap::PixelFormat() const
{
    return m_Format;
}

void Bitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == m_Format)
        return;
    QImage converted = MakeStorage(Width(), Height(), format);
    const int width = Width();
    for (int y = 0; y < converted.height(); ++y) {
        const std::uint8_t* s = m_Image.constScanLine(y);
        std::uint8_t* d = converted.scanLine(y);
        if (format == pf24bit) {
            for (int x = 0; x < width; ++x, s += 4, d += 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        } else {
            for (int x = 0; x < width; ++x, s += 3, d += 4) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = 255;
            }
        }
    }
    m_Format = format;
    m_Image = converted;
}

AlphaMode Bitmap::GetAlphaMode() const
{
    return m_AlphaMode;
}

void Bitmap::SetAlphaMode(AlphaMode mode)
{
    if (mode == m_AlphaMode)
        return;
    if (m_AlphaMode == AlphaMode::Ignored && mode == AlphaMode::Premultiplied && m_Format == pf32bit) {
        for (int y = 0; y < Height(); ++y) {
            std::uint8_t* p = m_Image.scanLine(y);
            for (int x = 0; x < Width(); ++x, p += 4) {
                const unsigned a = p[3];
                p[0] = MulDiv255(p[0], a);
                p[1] = MulDiv255(p[1], a);
                p[2] = MulDiv255(p[2], a);
            }
        }
    }
    m_AlphaMode = mode;
}

std::uint8_t* Bitmap::ScanLine(int row)
{
    TOLV_ASSERT(row >= 0 && row < Height());
    return m_Image.scanLine(row);
}

const std::uint8_t* Bitmap::ScanLine(int row) const
{
    TOLV_ASSERT(row >= 0 && row < Height());
    return m_Image.constScanLine(row);
}

void Bitmap::Assign(const Bitmap& other)
{
    if (&other == this)
        return;
    m_Image = other.m_Image; // shared until either side writes
    m_Format = other.m_Format;
    m_AlphaMode = other.m_AlphaMode;
    m_Canvas->SetFont(other.m_Canvas->Font());
    m_Canvas->Brush() = other.m_Canvas->Brush();
    m_Canvas->SetCopyMode(other.m_Canvas->CopyMode());
}

void Bitmap::SetImage(const QImage& image)
{
    m_Format = pf32bit;
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        m_Image = QImage();
        return;
    }
    m_Image = image.format() == QImage::Format_ARGB32_Premultiplied
                  ? image
                  : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace graphics
