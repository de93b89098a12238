#include "SkinImages.h"

#include "SkinKit.h"
#include "SkinLayout.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QRadialGradient>

namespace skin {
namespace {

using layout::BallSize;
using layout::BarSize;
using layout::LineTile;

// Ball centre row inside the slider: the ball sits one pixel below the slider's top.
constexpr double TrackCentre = 1 + BallSize.height() / 2.0;

QImage Tile(bool enabled, bool roundLeft, bool roundRight)
{
    QImage image = NewImage(LineTile.width(), LineTile.height());
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The filled line is 6 pixels thick, the unfilled one 4, both centred in the 8-pixel tile.
    const double top = enabled ? 1 : 2;
    const double height = enabled ? 6 : 4;
    const double left = roundLeft ? 0.5 : -4;
    // The last two columns of a line end are never drawn, so the end cap stops before them.
    const double right = roundRight ? LineTile.width() - 2.0 : LineTile.width() + 4.0;
    const QPainterPath line = RoundedPath(QRectF(left, top, right - left, height), height / 2);
    QLinearGradient fill(0, top, 0, top + height);
    if (enabled) {
        fill.setColorAt(0, palette::AccentLight);
        fill.setColorAt(1, palette::Accent);
        p.fillPath(RoundedPath(QRectF(left, 0, right - left, LineTile.height()), 4),
                   WithAlpha(palette::AccentLight, 40));
    } else {
        fill.setColorAt(0, QColor(0xB4, 0xBC, 0xC5));
        fill.setColorAt(1, QColor(0xC8, 0xCE, 0xD5));
    }
    p.fillPath(line, fill);
    p.end();
    return image;
}

} // namespace

QImage SliderBar(bool enabled)
{
    QImage image = NewImage(BarSize.width(), BarSize.height());
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int inset = layout::TrackInset;
    const QRectF groove(inset, TrackCentre - 5, BarSize.width() - 2 * inset, 10);
    const QPainterPath path = RoundedPath(groove, 5);
    QLinearGradient fill(0, groove.top(), 0, groove.bottom());
    fill.setColorAt(0, enabled ? QColor(0xCF, 0xD6, 0xDD) : QColor(0xE3, 0xE6, 0xE9));
    fill.setColorAt(1, enabled ? QColor(0xE6, 0xEA, 0xEE) : QColor(0xEE, 0xF0, 0xF2));
    p.fillPath(path, fill);
    p.setPen(QPen(enabled ? QColor(0xB2, 0xBB, 0xC5) : QColor(0xD6, 0xDA, 0xDF), 1));
    p.drawPath(RoundedPath(groove.adjusted(0.5, 0.5, -0.5, -0.5), 4.5));
    p.setPen(QPen(QColor(255, 255, 255, 220), 1));
    p.drawLine(QPointF(inset + 5, groove.bottom() + 0.5), QPointF(BarSize.width() - inset - 5, groove.bottom() + 0.5));
    // Ticks under the thumb's centre at the minimum, the middle and the maximum.
    const int half = BallSize.width() / 2;
    const int travel = BarSize.width() - BallSize.width();
    const QColor tick = enabled ? palette::Border : palette::DisabledBorder;
    for (int x : {half, half + travel / 2, half + travel})
        p.fillRect(QRect(x, 21, 1, 3), tick);
    p.end();
    return image;
}

QImage LineHead(bool enabled)
{
    // The filled line starts with a round cap; the unfilled one starts under the ball.
    return Tile(enabled, enabled, false);
}

QImage Line(bool enabled)
{
    return Tile(enabled, false, false);
}

QImage LineEnd()
{
    return Tile(false, false, true);
}

QImage Ball(Look look)
{
    QImage image = NewImage(BallSize.width(), BallSize.height());
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(BallSize.width() / 2.0, BallSize.height() / 2.0);
    const double r = 8;
    if (look == Look::Hover) {
        p.setPen(Qt::NoPen);
        p.setBrush(WithAlpha(palette::AccentLight, 70));
        p.drawEllipse(c, r + 2, r + 2);
    } else if (look != Look::Disabled) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 40));
        p.drawEllipse(c + QPointF(0, 1), r + 0.5, r + 0.5);
    }
    QRadialGradient face(c - QPointF(2.5, 3.5), 2 * r);
    if (look == Look::Disabled) {
        face.setColorAt(0, QColor(0xF6, 0xF7, 0xF8));
        face.setColorAt(1, palette::DisabledFill);
    } else {
        face.setColorAt(0, Qt::white);
        face.setColorAt(1, QColor(0xD8, 0xDE, 0xE5));
    }
    p.setBrush(face);
    const QColor rim = look == Look::Disabled ? palette::DisabledBorder
                      : look == Look::Hover   ? palette::Accent
                                              : QColor(0x93, 0x9E, 0xAA);
    p.setPen(QPen(rim, 1));
    p.drawEllipse(c, r - 0.5, r - 0.5);
    p.setPen(Qt::NoPen);
    const QColor dot = look == Look::Disabled ? palette::DisabledGlyph
                      : look == Look::Hover   ? palette::AccentLight
                                              : palette::Accent;
    p.setBrush(dot);
    p.drawEllipse(c, look == Look::Hover ? 3.5 : 3, look == Look::Hover ? 3.5 : 3);
    p.end();
    return image;
}

} // namespace skin
