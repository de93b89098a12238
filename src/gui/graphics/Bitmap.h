#pragma once

#include "gui/graphics/Canvas.h"

#include <QImage>

#include <cstdint>
#include <memory>

// A raster of 24 or 32 bits per pixel with its drawing surface.
//
// Pixels are B, G, R, A in memory for 32 bits and B, G, R for 24 bits; pixels of a row follow
// each other without gaps, rows are reached only through ScanLine (row 0 is the top row; rows
// may be padded, so never step from one row into the next). A new or resized bitmap is all
// zero: for 32 bits that is transparent black.
//
// The 32-bit storage is a QImage of Format_ARGB32_Premultiplied whatever the alpha mode, so
// the bytes are never converted behind the caller's back; the alpha mode only says how the
// colour is meant. The 24-bit storage is Format_BGR888.
namespace graphics {

enum TPixelFormat { pf24bit, pf32bit };

// How the alpha byte of a 32-bit bitmap is meant: not at all, as straight alpha, or with the
// colour premultiplied by it.
enum class AlphaMode { Ignored, Defined, Premultiplied };

// The image control's published mirror of AlphaMode.
enum GsAlphaFormat { gafIgnored, gafDefined, gafPremultiplied };

AlphaMode ToAlphaMode(GsAlphaFormat format);
GsAlphaFormat ToGsAlphaFormat(AlphaMode mode);

class Bitmap {
public:
    // A new bitmap is empty (0 x 0), 32-bit, alpha mode Ignored.
    Bitmap();
    Bitmap(int width, int height, TPixelFormat format = pf32bit);
    ~Bitmap();

    // A bitmap owns its surface, which points back at it: no copies or moves; use Assign.
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int Width() const;
    int Height() const;
    bool Empty() const; // width or height is 0

    // Resizing keeps the pixels of the area both sizes share (top-left anchored) and zeroes
    // the rest. Negative sizes count as 0.
    void SetSize(int width, int height);
    void SetWidth(int width);
    void SetHeight(int height);

    TPixelFormat PixelFormat() const;
    // 32 -> 24 drops the alpha byte; 24 -> 32 makes every pixel opaque (alpha 255). The colour
    // bytes are kept as they are.
    void SetPixelFormat(TPixelFormat format);

    AlphaMode GetAlphaMode() const;
    // From Ignored to Premultiplied (32-bit only) multiplies B, G, R by A/255 rounded to
    // nearest; every other change only records the new mode.
    void SetAlphaMode(AlphaMode mode);

    // The first byte of a row; the row must lie inside the bitmap.
    std::uint8_t* ScanLine(int row);
    const std::uint8_t* ScanLine(int row) const;
    int BytesPerPixel() const { return PixelFormat() == pf32bit ? 4 : 3; }

    // Copies size, pixel format, pixels, alpha mode and the surface's font, brush and copy
    // mode of another bitmap.
    void Assign(const Bitmap& other);

    // Takes over a decoded image (any format; converted to 32-bit B, G, R, A, bytes kept as
    // premultiplied). The alpha mode is left as it is.
    void SetImage(const QImage& image);

    // The drawing surface of this bitmap (font, brush, copy mode, clip region, origin).
    graphics::Canvas& Canvas() { return *m_Canvas; }
    const graphics::Canvas& Canvas() const { return *m_Canvas; }

    // The storage, for presenting (a layered window) and for QPainter work of the surface.
    const QImage& Image() const { return m_Image; }
    QImage& Image() { return m_Image; }

private:
    QImage m_Image;
    TPixelFormat m_Format = pf32bit;
    AlphaMode m_AlphaMode = AlphaMode::Ignored;
    std::unique_ptr<graphics::Canvas> m_Canvas;
};

} // namespace graphics
