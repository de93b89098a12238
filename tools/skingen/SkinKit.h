#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QString>

// Drawing helpers shared by every picture of the default skin. All pictures are drawn into
// premultiplied 32-bit images with antialiasing; 1-pixel strokes sit on pixel centres so
// that edges stay crisp at 1x.
namespace skin {

// One visual language for the whole skin: a dark graphite glass header, a light brushed body,
// one cyan-blue accent.
namespace palette {
inline const QColor HeaderTop{0x33, 0x3D, 0x4A};
inline const QColor HeaderBottom{0x1B, 0x21, 0x2A};
inline const QColor BodyTop{0xF7, 0xF8, 0xFA};
inline const QColor BodyBottom{0xE4, 0xE8, 0xEC};
inline const QColor FooterTop{0xE9, 0xEC, 0xF0};
inline const QColor FooterBottom{0xDA, 0xDF, 0xE4};
inline const QColor Edge{0x10, 0x14, 0x1A};
inline const QColor Accent{0x16, 0x96, 0xE0};
inline const QColor AccentLight{0x5C, 0xC8, 0xFF};
inline const QColor AccentDark{0x0B, 0x5F, 0xA6};
inline const QColor Silver{0xFD, 0xFD, 0xFE};
inline const QColor SilverDark{0xE1, 0xE5, 0xEA};
inline const QColor Border{0xA9, 0xB2, 0xBC};
inline const QColor Glyph{0x5A, 0x65, 0x70};
inline const QColor DisabledFill{0xEC, 0xEE, 0xF0};
inline const QColor DisabledBorder{0xCF, 0xD4, 0xD9};
inline const QColor DisabledGlyph{0xB8, 0xBE, 0xC4};
} // namespace palette

// A fully transparent premultiplied image.
QImage NewImage(int width, int height);

// Rectangle whose 1-pixel outline lands on pixel centres: (x + 0.5, y + 0.5, w - 1, h - 1).
QRectF StrokeRect(int x, int y, int width, int height);

QPainterPath RoundedPath(const QRectF& rect, double radius);

// Soft shadow of `shape`: the shape filled with `color`, moved by (dx, dy) and blurred with
// `radius` passes of a 3x3 box filter. Integer arithmetic only, so the output is the same
// on every run.
void DrawShadow(QImage& target, const QPainterPath& shape, const QColor& color, double dx, double dy,
                int radius);

// Blurs an image in place with `passes` box filters of width 3 (premultiplied channels).
void BoxBlur(QImage& image, int passes);

// Color with a different alpha (0..255).
QColor WithAlpha(QColor color, int alpha);

// Straight 32-bit copy for saving and inspection.
QImage Finished(const QImage& image);

} // namespace skin
