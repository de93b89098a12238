#include "SkinImages.h"

#include "SkinKit.h"
#include "SkinLayout.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QRadialGradient>

namespace skin {
namespace {

QPainter* Begin(QPainter& p, QImage& image)
{
    p.begin(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    return &p;
}

// Round window buttons on the dark header: a plain light glyph at rest, a lit disc when the
// pointer is over them, a deeper disc with the glyph one pixel down when pressed.
QImage WindowButton(Look look, bool close)
{
    QImage image = NewImage(layout::WindowButtonSize.width(), layout::WindowButtonSize.height());
    QPainter p;
    Begin(p, image);
    const QPointF c(10, 10);
    const double shift = look == Look::Pressed ? 1 : 0;
    if (look == Look::Hover || look == Look::Pressed) {
        QColor disc = close ? QColor(0xE5, 0x48, 0x4D) : QColor(255, 255, 255, 56);
        if (look == Look::Pressed)
            disc = close ? QColor(0xA9, 0x2E, 0x33) : QColor(255, 255, 255, 30);
        p.setPen(Qt::NoPen);
        p.setBrush(disc);
        p.drawEllipse(c, 9, 9);
        if (look == Look::Hover) {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(255, 255, 255, close ? 70 : 40), 1));
            p.drawEllipse(c, 8.5, 8.5);
        }
    }
    QColor glyph = look == Look::Normal ? QColor(0xC4, 0xCC, 0xD5) : QColor(Qt::white);
    if (look == Look::Disabled)
        glyph = QColor(0x6A, 0x74, 0x80);
    p.setPen(QPen(glyph, 1.6, Qt::SolidLine, Qt::RoundCap));
    if (close) {
        p.drawLine(QPointF(6.5, 6.5 + shift), QPointF(13.5, 13.5 + shift));
        p.drawLine(QPointF(13.5, 6.5 + shift), QPointF(6.5, 13.5 + shift));
    } else {
        p.drawLine(QPointF(6, 13 + shift), QPointF(14, 13 + shift));
    }
    p.end();
    return image;
}

} // namespace

QImage CloseButton(Look look)
{
    return WindowButton(look, true);
}

QImage MinimizeButton(Look look)
{
    return WindowButton(look, false);
}

// The caption is drawn by the program on top of these; the pictures carry no text.
QImage ApplyButton(Look look)
{
    const int w = layout::ApplySize.width();
    const int h = layout::ApplySize.height();
    QImage image = NewImage(w, h);
    QPainter p;
    Begin(p, image);
    const QPainterPath face = RoundedPath(StrokeRect(0, 0, w, h - 1), 5);
    // One-pixel drop under the button, absent when pressed.
    if (look != Look::Pressed && look != Look::Disabled) {
        p.fillPath(RoundedPath(StrokeRect(0, 1, w, h - 1), 5), QColor(0, 0, 0, 34));
    }
    QLinearGradient fill(0, 0, 0, h);
    QColor border;
    switch (look) {
    case Look::Normal:
        fill.setColorAt(0, palette::Silver);
        fill.setColorAt(1, palette::SilverDark);
        border = palette::Border;
        break;
    case Look::Hover:
        fill.setColorAt(0, palette::AccentLight);
        fill.setColorAt(1, palette::Accent);
        border = palette::AccentDark;
        break;
    case Look::Pressed:
        fill.setColorAt(0, QColor(0xCC, 0xD4, 0xDC));
        fill.setColorAt(1, QColor(0xE4, 0xE8, 0xEC));
        border = palette::Accent;
        break;
    case Look::Disabled:
        fill.setColorAt(0, palette::DisabledFill);
        fill.setColorAt(1, palette::DisabledFill);
        border = palette::DisabledBorder;
        break;
    }
    p.fillPath(face, fill);
    p.setClipPath(face);
    if (look == Look::Normal || look == Look::Hover)
        p.fillRect(QRectF(1, 1, w - 2, 1), QColor(255, 255, 255, look == Look::Hover ? 110 : 230));
    if (look == Look::Pressed) {
        QLinearGradient inner(0, 0, 0, 5);
        inner.setColorAt(0, QColor(0, 0, 0, 40));
        inner.setColorAt(1, QColor(0, 0, 0, 0));
        p.fillRect(QRectF(0, 0, w, 5), inner);
    }
    p.setClipping(false);
    p.setPen(QPen(border, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(face);
    p.end();
    return image;
}

QImage MarkBox(bool checked, Look look)
{
    QImage image = NewImage(layout::MarkSize.width(), layout::MarkSize.height());
    QPainter p;
    Begin(p, image);
    const QPainterPath box = RoundedPath(StrokeRect(2, 2, 16, 16), 3.5);
    if (look == Look::Hover) {
        p.setPen(QPen(WithAlpha(palette::AccentLight, 110), 3));
        p.drawPath(box);
    }
    QLinearGradient fill(0, 2, 0, 18);
    QColor border;
    if (look == Look::Disabled) {
        fill.setColorAt(0, palette::DisabledFill);
        fill.setColorAt(1, palette::DisabledFill);
        border = palette::DisabledBorder;
    } else if (checked) {
        fill.setColorAt(0, look == Look::Hover ? palette::AccentLight : palette::Accent.lighter(115));
        fill.setColorAt(1, look == Look::Hover ? palette::Accent : palette::AccentDark);
        border = palette::AccentDark;
    } else {
        fill.setColorAt(0, look == Look::Hover ? QColor(0xF2, 0xFA, 0xFF) : QColor(Qt::white));
        fill.setColorAt(1, look == Look::Hover ? QColor(0xDD, 0xF0, 0xFC) : QColor(0xEE, 0xF1, 0xF4));
        border = look == Look::Hover ? palette::Accent : palette::Border;
    }
    p.fillPath(box, fill);
    p.setPen(QPen(border, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(box);
    if (checked) {
        const QColor tick = look == Look::Disabled ? palette::DisabledGlyph : QColor(Qt::white);
        p.setPen(QPen(tick, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath mark;
        mark.moveTo(6, 10.5);
        mark.lineTo(9, 13.5);
        mark.lineTo(14.5, 7);
        p.drawPath(mark);
    }
    p.end();
    return image;
}

// A pill switch on the dark header: a blue lit track with the knob on the right when on,
// a dark recessed track with the knob on the left when off. The ON/OFF words are part of
// the picture; the program draws no caption for the switch.
QImage Switch(bool on, Look look)
{
    const int w = layout::SwitchSize.width();
    const int h = layout::SwitchSize.height();
    QImage image = NewImage(w, h);
    QPainter p;
    Begin(p, image);
    const bool hover = look == Look::Hover;
    const QRectF track = StrokeRect(1, 1, w - 2, h - 2);
    const double radius = track.height() / 2;
    const QPainterPath pill = RoundedPath(track, radius);
    if (hover) {
        p.setPen(QPen(WithAlpha(on ? palette::AccentLight : QColor(0x9F, 0xB4, 0xC8), 90), 2.5));
        p.drawPath(pill);
    }
    QLinearGradient fill(0, 1, 0, h - 1);
    if (on) {
        fill.setColorAt(0, hover ? palette::AccentLight.lighter(110) : palette::AccentLight);
        fill.setColorAt(1, hover ? palette::Accent.lighter(112) : palette::Accent);
    } else {
        fill.setColorAt(0, QColor(0x0E, 0x12, 0x17));
        fill.setColorAt(1, hover ? QColor(0x2C, 0x35, 0x40) : QColor(0x22, 0x29, 0x32));
    }
    p.fillPath(pill, fill);
    p.setPen(QPen(on ? palette::AccentDark : (hover ? QColor(0x7A, 0x88, 0x97) : QColor(0x4C, 0x57, 0x64)), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(pill);

    QFont font("Carlito");
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    if (on) {
        p.setPen(Qt::white);
        p.drawText(QRectF(5, 0, 38, h), Qt::AlignCenter, QStringLiteral("ON"));
    } else {
        p.setPen(hover ? QColor(0xC5, 0xCF, 0xD9) : QColor(0x8C, 0x98, 0xA5));
        p.drawText(QRectF(w - 43, 0, 38, h), Qt::AlignCenter, QStringLiteral("OFF"));
    }

    const double knob = h - 7;
    const QPointF centre(on ? w - 3.5 - knob / 2 : 3.5 + knob / 2, h / 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawEllipse(centre + QPointF(0, 1), knob / 2, knob / 2);
    QRadialGradient shine(centre - QPointF(3, 4), knob);
    shine.setColorAt(0, Qt::white);
    shine.setColorAt(1, hover ? QColor(0xE2, 0xEA, 0xF2) : QColor(0xC9, 0xD1, 0xDA));
    p.setBrush(shine);
    p.drawEllipse(centre, knob / 2, knob / 2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 60), 1));
    p.drawEllipse(centre, knob / 2 - 0.5, knob / 2 - 0.5);
    p.end();
    return image;
}

// Stepper halves: the up arrow rounds its top corners, the down arrow its bottom corners, so
// the pair reads as one control. Pressed shares the hover picture.
QImage Arrow(bool up, Look look)
{
    const int w = layout::ArrowSize.width();
    const int h = layout::ArrowSize.height();
    QImage image = NewImage(w, h);
    QPainter p;
    Begin(p, image);
    const QRectF r = StrokeRect(0, 0, w, h);
    QPainterPath shape;
    const double rad = 5;
    if (up) {
        shape.moveTo(r.left(), r.bottom());
        shape.lineTo(r.left(), r.top() + rad);
        shape.quadTo(r.left(), r.top(), r.left() + rad, r.top());
        shape.lineTo(r.right() - rad, r.top());
        shape.quadTo(r.right(), r.top(), r.right(), r.top() + rad);
        shape.lineTo(r.right(), r.bottom());
        shape.closeSubpath();
    } else {
        shape.moveTo(r.left(), r.top());
        shape.lineTo(r.right(), r.top());
        shape.lineTo(r.right(), r.bottom() - rad);
        shape.quadTo(r.right(), r.bottom(), r.right() - rad, r.bottom());
        shape.lineTo(r.left() + rad, r.bottom());
        shape.quadTo(r.left(), r.bottom(), r.left(), r.bottom() - rad);
        shape.closeSubpath();
    }
    QLinearGradient fill(0, 0, 0, h);
    QColor border = palette::Border;
    QColor glyph = palette::Glyph;
    if (look == Look::Disabled) {
        fill.setColorAt(0, palette::DisabledFill);
        fill.setColorAt(1, palette::DisabledFill);
        border = palette::DisabledBorder;
        glyph = palette::DisabledGlyph;
    } else if (look == Look::Normal) {
        fill.setColorAt(0, palette::Silver);
        fill.setColorAt(1, palette::SilverDark);
    } else {
        fill.setColorAt(0, QColor(0xE8, 0xF6, 0xFF));
        fill.setColorAt(1, QColor(0xC6, 0xE7, 0xFB));
        border = palette::Accent;
        glyph = palette::AccentDark;
    }
    p.fillPath(shape, fill);
    p.setPen(QPen(border, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    p.setPen(QPen(glyph, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const double cx = w / 2.0;
    const double cy = h / 2.0;
    QPainterPath chevron;
    const double dy = up ? -2.5 : 2.5;
    chevron.moveTo(cx - 5, cy - dy);
    chevron.lineTo(cx, cy + dy);
    chevron.lineTo(cx + 5, cy - dy);
    p.drawPath(chevron);
    p.end();
    return image;
}

} // namespace skin
