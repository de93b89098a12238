#include "SkinKit.h"

#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace skin {

QImage NewImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QRectF StrokeRect(int x, int y, int width, int height)
{
    return QRectF(x + 0.5, y + 0.5, width - 1.0, height - 1.0);
}

QPainterPath RoundedPath(const QRectF& rect, double radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

void BoxBlur(QImage& image, int passes)
{
    const int w = image.width();
    const int h = image.height();
    if (w == 0 || h == 0)
        return;
    std::vector<uint32_t> line;
    for (int pass = 0; pass < passes; ++pass) {
        // Horizontal then vertical 3-tap mean per channel; edges repeat the border pixel.
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
            line.assign(row, row + w);
            for (int x = 0; x < w; ++x) {
                const uint32_t a = line[std::max(0, x - 1)];
                const uint32_t b = line[x];
                const uint32_t c = line[std::min(w - 1, x + 1)];
                uint32_t out = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    const uint32_t sum = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF) + ((c >> shift) & 0xFF);
                    out |= ((sum + 1) / 3) << shift;
                }
                row[x] = out;
            }
        }
        for (int x = 0; x < w; ++x) {
            line.resize(h);
            for (int y = 0; y < h; ++y)
                line[y] = reinterpret_cast<const uint32_t*>(image.constScanLine(y))[x];
            for (int y = 0; y < h; ++y) {
                const uint32_t a = line[std::max(0, y - 1)];
                const uint32_t b = line[y];
                const uint32_t c = line[std::min(h - 1, y + 1)];
                uint32_t out = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    const uint32_t sum = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF) + ((c >> shift) & 0xFF);
                    out |= ((sum + 1) / 3) << shift;
                }
                reinterpret_cast<uint32_t*>(image.scanLine(y))[x] = out;
            }
        }
    }
}

void DrawShadow(QImage& target, const QPainterPath& shape, const QColor& color, double dx, double dy,
                int radius)
{
    QImage layer = NewImage(target.width(), target.height());
    {
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(dx, dy);
        p.fillPath(shape, color);
    }
    BoxBlur(layer, radius);
    QPainter p(&target);
    p.drawImage(0, 0, layer);
}

QColor WithAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

QImage Finished(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace skin
