#include "SkinImages.h"

#include "SkinKit.h"
#include "SkinLayout.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>

#include <cmath>

namespace skin {
namespace {

using namespace layout;

void FillBands(QPainter& p)
{
    const QRectF panel(Panel);
    QLinearGradient body(0, Panel.top(), 0, Panel.bottom());
    body.setColorAt(0, palette::BodyTop);
    body.setColorAt(1, palette::BodyBottom);
    p.fillRect(panel, body);

    QLinearGradient header(0, Panel.top(), 0, HeaderBottom);
    header.setColorAt(0, palette::HeaderTop);
    header.setColorAt(1, palette::HeaderBottom);
    p.fillRect(QRectF(Panel.left(), Panel.top(), Panel.width(), HeaderBottom - Panel.top()), header);
    // Glass sheen over the upper half of the header.
    p.fillRect(QRectF(Panel.left(), Panel.top(), Panel.width(), (HeaderBottom - Panel.top()) / 2),
               QColor(255, 255, 255, 12));
    // Accent edge under the header and the soft shade it casts on the body.
    p.fillRect(QRectF(Panel.left(), HeaderBottom - 1, Panel.width(), 1), WithAlpha(palette::Accent, 230));
    QLinearGradient shade(0, HeaderBottom, 0, HeaderBottom + 5);
    shade.setColorAt(0, QColor(0, 0, 0, 40));
    shade.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(QRectF(Panel.left(), HeaderBottom, Panel.width(), 5), shade);

    QLinearGradient footer(0, FooterTop, 0, Panel.bottom());
    footer.setColorAt(0, palette::FooterTop);
    footer.setColorAt(1, palette::FooterBottom);
    p.fillRect(QRectF(Panel.left(), FooterTop, Panel.width(), Panel.bottom() + 1 - FooterTop), footer);
    p.fillRect(QRectF(Panel.left(), FooterTop, Panel.width(), 1), QColor(0xC6, 0xCD, 0xD4));
    p.fillRect(QRectF(Panel.left(), FooterTop + 1, Panel.width(), 1), QColor(255, 255, 255, 200));
}

void EtchedLine(QPainter& p, int y)
{
    p.fillRect(QRect(22, y, 380, 1), QColor(0xCF, 0xD5, 0xDC));
    p.fillRect(QRect(22, y + 1, 380, 1), QColor(255, 255, 255, 220));
}

void ReadoutWell(QPainter& p, const QRect& r)
{
    const QPainterPath well = RoundedPath(StrokeRect(r.x(), r.y(), r.width(), r.height()), 6);
    QLinearGradient fill(0, r.top(), 0, r.bottom());
    fill.setColorAt(0, QColor(0xE6, 0xEA, 0xEE));
    fill.setColorAt(1, QColor(0xF1, 0xF3, 0xF6));
    p.fillPath(well, fill);
    // Inner shade along the top edge: the well reads as recessed.
    p.save();
    p.setClipPath(well);
    QLinearGradient inner(0, r.top(), 0, r.top() + 6);
    inner.setColorAt(0, QColor(0, 0, 0, 26));
    inner.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(r, inner);
    p.restore();
    p.setPen(QPen(QColor(0xC8, 0xCF, 0xD6), 1));
    p.drawPath(well);
    p.setPen(QPen(QColor(255, 255, 255, 230), 1));
    p.drawLine(QPointF(r.left() + 6, r.bottom() + 1.5), QPointF(r.right() - 5, r.bottom() + 1.5));
}

// Circular arrow: the restart symbol; `twin` adds the second arrow of the reload symbol.
void CycleIcon(QPainter& p, QPointF c, bool twin)
{
    const double r = 13;
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    QPen pen(palette::Accent, 3.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    auto arrowHead = [&](double angleDeg) {
        const double a = angleDeg * 3.14159265358979 / 180.0;
        const QPointF tip(c.x() + r * std::cos(a), c.y() - r * std::sin(a));
        // Tangent of a counter-clockwise sweep at that angle.
        const QPointF t(-std::sin(a), -std::cos(a));
        const QPointF n(std::cos(a), -std::sin(a));
        QPainterPath head;
        head.moveTo(tip + t * 6.5);
        head.lineTo(tip + n * 5.5 - t * 1.0);
        head.lineTo(tip - n * 5.5 - t * 1.0);
        head.closeSubpath();
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(palette::Accent);
        p.drawPath(head);
        p.restore();
    };
    if (twin) {
        p.drawArc(box, 20 * 16, 140 * 16);
        p.drawArc(box, 200 * 16, 140 * 16);
        arrowHead(160);
        arrowHead(340);
    } else {
        p.drawArc(box, 120 * 16, 300 * 16);
        arrowHead(60);
        // Clock hands in the middle: the countdown.
        p.setPen(QPen(palette::AccentDark, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c, c + QPointF(0, -6.5));
        p.drawLine(c, c + QPointF(4.5, 2.5));
    }
    if (twin) {
        p.setPen(QPen(palette::AccentDark, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(0, -5), c + QPointF(0, 5));
    }
}

void PowerIcon(QPainter& p, QPointF c)
{
    const double r = 8.5;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(palette::Accent, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 60 * 16, -300 * 16);
    p.drawLine(c + QPointF(0, -r - 1.5), c + QPointF(0, -1.5));
}

// The product mark: a shield with a stopwatch face.
void Emblem(QPainter& p, QRectF box)
{
    QPainterPath shield;
    const double l = box.left(), t = box.top(), w = box.width(), h = box.height();
    shield.moveTo(l + w / 2, t);
    shield.cubicTo(l + w * 0.72, t + h * 0.10, l + w * 0.88, t + h * 0.12, l + w, t + h * 0.12);
    shield.cubicTo(l + w, t + h * 0.62, l + w * 0.80, t + h * 0.86, l + w / 2, t + h);
    shield.cubicTo(l + w * 0.20, t + h * 0.86, l, t + h * 0.62, l, t + h * 0.12);
    shield.cubicTo(l + w * 0.12, t + h * 0.12, l + w * 0.28, t + h * 0.10, l + w / 2, t);
    QLinearGradient g(0, t, 0, t + h);
    g.setColorAt(0, palette::AccentLight);
    g.setColorAt(1, palette::AccentDark);
    p.fillPath(shield, g);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1));
    p.drawPath(shield);
    const QPointF c(l + w / 2, t + h * 0.50);
    p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, w * 0.24, w * 0.24);
    p.drawLine(c, c + QPointF(0, -w * 0.15));
    p.drawLine(c, c + QPointF(w * 0.11, w * 0.06));
}

void Brand(QPainter& p)
{
    Emblem(p, QRectF(20, 22, 26, 30));
    QFont small("Carlito");
    small.setPixelSize(11);
    small.setBold(true);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 2.5);
    p.setFont(small);
    p.setPen(palette::AccentLight);
    p.drawText(QPointF(20, 15), QStringLiteral("TOLV"));
    QFont title("Carlito");
    title.setPixelSize(22);
    p.setFont(title);
    p.setPen(QColor(0xF2, 0xF5, 0xF8));
    p.drawText(QPointF(56, 45), QStringLiteral("Watchdog Timer"));
}

} // namespace

QImage Background()
{
    QImage image = NewImage(Window.width(), Window.height());
    const QPainterPath panel = RoundedPath(QRectF(Panel), PanelRadius);
    DrawShadow(image, panel, QColor(0, 0, 0, 120), 0, 3, 16);

    QImage face = NewImage(Window.width(), Window.height());
    {
        QPainter p(&face);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setClipPath(panel);
        FillBands(p);
        EtchedLine(p, RestartDivider);
        EtchedLine(p, ReloadDivider);
        ReadoutWell(p, RestartWell);
        ReadoutWell(p, ResetWell);
        CycleIcon(p, QPointF(52, 156), false);
        CycleIcon(p, QPointF(52, 347), true);
        PowerIcon(p, QPointF(50, 461));
        Brand(p);
        p.setClipping(false);
        // Bright inner rim, then the dark outer edge, both on pixel centres.
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, 70), 1));
        p.drawPath(RoundedPath(StrokeRect(Panel.x() + 1, Panel.y() + 1, Panel.width() - 2, Panel.height() - 2),
                               PanelRadius - 1));
        p.setPen(QPen(WithAlpha(palette::Edge, 170), 1));
        p.drawPath(RoundedPath(StrokeRect(Panel.x(), Panel.y(), Panel.width(), Panel.height()), PanelRadius));
    }
    QPainter p(&image);
    p.drawImage(0, 0, face);
    p.end();
    return image;
}

QImage TrayIcon()
{
    return AppIcon(layout::TraySize.width());
}

QImage AppIcon(int size)
{
    QImage image = NewImage(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The design is drawn on the tray's 32-pixel grid and scaled as a whole, strokes included.
    p.scale(size / double(layout::TraySize.width()), size / double(layout::TraySize.height()));
    const QPainterPath tile = RoundedPath(StrokeRect(1, 1, 30, 30), 7);
    QLinearGradient g(0, 1, 0, 31);
    g.setColorAt(0, palette::HeaderTop.lighter(125));
    g.setColorAt(1, palette::HeaderBottom);
    p.fillPath(tile, g);
    p.setPen(QPen(WithAlpha(palette::Edge, 200), 1));
    p.drawPath(tile);
    // Stopwatch: crown, ring, hand, in the accent colour.
    const QPointF c(16, 17.5);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::AccentLight);
    p.drawRoundedRect(QRectF(13.5, 4, 5, 3), 1, 1);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(palette::AccentLight, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawEllipse(c, 9, 9);
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(0, -6));
    p.drawLine(c, c + QPointF(4.2, 2.4));
    p.end();
    return image;
}

} // namespace skin
