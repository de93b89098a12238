#include "Preview.h"

#include "SkinLayout.h"

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace skin {
namespace {

using namespace layout;

// A font whose cell (ascent + descent) is `cell` pixels high.
QFont CellFont(const char* family, int cell)
{
    QFont font(family);
    font.setPixelSize(cell);
    const double height = QFontMetricsF(font).height();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(cell * cell / height))));
    return font;
}

struct Field {
    QPoint slider;
    int min;
    int max;
    int position;
};

class WindowComposer {
public:
    WindowComposer(const QString& folder, bool on) : m_Folder(folder), m_On(on) {}

    QImage Compose()
    {
        QImage window = Load("background2.png");
        if (window.isNull())
            return window;
        window = window.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&window);
        p.setRenderHint(QPainter::TextAntialiasing);
        // Same order as the window's control list: later ones cover earlier ones.
        p.drawImage(CloseAt, Load("close_n.png"));
        p.drawImage(MinimizeAt, Load("minimized_n.png"));
        p.drawImage(ApplyAt, Load(m_On ? "apply_n.png" : "apply_un.png"));
        Caption(p, QRect(ApplyAt, ApplySize), "Apply", m_On ? 0x3E3E3E : 0x8B8B8B);
        p.drawImage(StartupMarkAt, Load(m_On ? "mark_d.png" : "mark_un.png"));
        p.drawImage(SwitchAt, Load(m_On ? "switch_ON_n.png" : "switch_OFF_n.png"));
        const int reloadMax = m_Restart.position - 5;
        Slider(p, m_Restart);
        Slider(p, Field{ResetSlider, 5, reloadMax, 40});
        const char* state = m_On ? "_n.png" : "_un.png";
        p.drawImage(ArrowLeft, RestartSlider.y() - ArrowUpAbove, Load(QString("arrowup") + state));
        p.drawImage(ArrowLeft, RestartSlider.y() - ArrowUpAbove + ArrowPitch, Load(QString("arrowdown") + state));
        p.drawImage(ArrowLeft, ResetSlider.y() - ArrowUpAbove, Load(QString("arrowup") + state));
        p.drawImage(ArrowLeft, ResetSlider.y() - ArrowUpAbove + ArrowPitch, Load(QString("arrowdown") + state));
        Labels(p, reloadMax);
        p.end();
        return window;
    }

private:
    QImage Load(const QString& name) const
    {
        QImage image(QDir(m_Folder).filePath(name));
        return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

    // The track overlay as the slider builds it: filled line, thumb, unfilled line, drawn
    // 10 pixels above the slider and clipped to the slider's own rectangle.
    void Slider(QPainter& p, const Field& f)
    {
        const QImage bar = Load(m_On ? "bar_n.png" : "bar_un.png");
        const QImage ball = Load(m_On ? "ball_n.png" : "ball_un.png");
        if (bar.isNull() || ball.isNull())
            return;
        p.drawImage(f.slider, bar);
        const int travel = bar.width() - ball.width();
        const int thumb = f.max > f.min
                              ? std::clamp(static_cast<int>((f.position - f.min) * double(travel) / (f.max - f.min) + 0.5),
                                           0, travel)
                              : 0;
        const QImage head = Load(m_On ? "barline_head_n.png" : "barline_head_un.png");
        const QImage line = Load(m_On ? "barline_n.png" : "barline_un.png");
        const QImage headOff = Load("barline_head_un.png");
        const QImage lineOff = Load("barline_un.png");
        const QImage endOff = Load("barline_base_n.png");
        QImage overlay(bar.size(), QImage::Format_ARGB32_Premultiplied);
        overlay.fill(Qt::transparent);
        {
            // A missing piece leaves its part of the track out, as in the program.
            QPainter o(&overlay);
            const int filled = std::max(0, thumb - 6);
            const int y = (bar.height() - head.height()) / 2;
            if (!head.isNull() && !line.isNull()) {
                QImage strip(head.width() + line.width() + filled, head.height(), QImage::Format_ARGB32_Premultiplied);
                strip.fill(Qt::transparent);
                QPainter s(&strip);
                s.setCompositionMode(QPainter::CompositionMode_Source);
                s.drawImage(0, 0, head);
                s.drawImage(QRect(head.width(), 0, filled, head.height()), line);
                s.drawImage(head.width() + filled, 0, line);
                s.end();
                o.drawImage(QPoint(0, y), strip, QRect(0, 0, strip.width() - 2, strip.height()));
            }
            const int rest = bar.width() - filled - 20;
            const int y0 = (bar.height() - headOff.height()) / 2;
            if (!headOff.isNull() && !lineOff.isNull() && !endOff.isNull() && rest > 16) {
                QImage open(rest, headOff.height(), QImage::Format_ARGB32_Premultiplied);
                open.fill(Qt::transparent);
                QPainter s(&open);
                s.setCompositionMode(QPainter::CompositionMode_Source);
                s.drawImage(0, 0, headOff);
                s.drawImage(QRect(headOff.width(), 0, rest - 16, headOff.height()), lineOff);
                s.drawImage(headOff.width() + rest - 16, 0, endOff);
                s.end();
                o.drawImage(QPoint(thumb + 5, y0), open, QRect(0, 0, rest - 2, open.height()));
            }
        }
        p.save();
        p.setClipRect(QRect(f.slider, bar.size()));
        p.drawImage(QRect(f.slider.x() + 5, f.slider.y() - 10, bar.width() - 10, bar.height()), overlay,
                    QRect(0, 0, bar.width() - 10, bar.height()));
        p.restore();
        p.drawImage(f.slider.x() + thumb, f.slider.y() + 1, ball);
    }

    static QFont PointFont(const char* family, double points)
    {
        QFont font(family);
        font.setPixelSize(static_cast<int>(std::lround(points * 96.0 / 72.0)));
        return font;
    }

    void Caption(QPainter& p, const QRect& r, const char* text, unsigned rgb)
    {
        p.setFont(CellFont("Carlito", 16));
        p.setPen(QColor::fromRgb(rgb));
        p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text);
    }

    void Text(QPainter& p, QRect r, const QString& text, const QFont& font, unsigned rgb,
              Qt::Alignment align = Qt::AlignLeft)
    {
        p.save();
        // Labels clip their text to their own rectangle.
        p.setClipRect(r);
        p.setFont(font);
        // Disabled labels draw in the gray-text colour without glow.
        p.setPen(m_On ? QColor::fromRgb(rgb) : QColor(0x9A, 0x9F, 0xA5));
        p.drawText(r, static_cast<int>(align | Qt::AlignTop | Qt::TextWordWrap), text);
        p.restore();
    }

    void Labels(QPainter& p, int reloadMax)
    {
        const QFont title = PointFont("Carlito", 13);
        const QFont note = PointFont("Carlito", 9);
        const QFont big = PointFont("URW Gothic", 40);
        const QFont scale = PointFont("Liberation Sans", 8);
        Text(p, {30, 73, 126, 60}, "System restart time", title, 0x000000);
        Text(p, {30, 238, 126, 60}, "Reload system restart time", title, 0x000000);
        Text(p, {155, 77, 250, 60},
             "When the system crashes or runs abnormally, the system automatically restarts when this "
             "countdown timer reaches zero.",
             note, 0x8B8B8B);
        Text(p, {155, 241, 250, 70},
             "When the system runs normally, the countdown time for system restart is automatically reset "
             "when this timer reaches zero. The countdown stops and the system automatically restarts when "
             "the system crashes.",
             note, 0x8B8B8B);
        Text(p, {155, 447, 250, 45}, "Automatically launch Watchdog Timer on system startup.", note, 0x8B8B8B);
        Text(p, {342, 167, 45, 20}, "seconds", note, 0x5B5B5B);
        Text(p, {342, 359, 45, 20}, "seconds", note, 0x5B5B5B);
        Text(p, {170, 125, 85, 80}, QString::number(m_Restart.position), big, 0x4E4E4E, Qt::AlignRight);
        Text(p, {170, 316, 85, 80}, QString::number(40), big, 0x4E4E4E, Qt::AlignRight);
        Text(p, {34, 214, 25, 25}, "10", scale, 0x4E4E4E);
        Text(p, {200, 214, 25, 25}, QString::number((10 + 255) / 2), scale, 0x4E4E4E);
        Text(p, {368, 214, 25, 25}, "255", scale, 0x4E4E4E);
        Text(p, {37, 405, 25, 25}, "5", scale, 0x4E4E4E);
        Text(p, {192, 405, 25, 20}, QString::number((reloadMax + 5) / 2), scale, 0x4E4E4E, Qt::AlignRight);
        Text(p, {364, 405, 20, 25}, QString::number(reloadMax), scale, 0x4E4E4E, Qt::AlignRight);
    }

    QString m_Folder;
    bool m_On;
    Field m_Restart{RestartSlider, 10, 255, 60};
};

// Every state picture of each control in a row, on the part of the window it sits on.
class StateSheet {
public:
    explicit StateSheet(const QString& folder) : m_Folder(folder) {}

    void Draw(QPainter& p, QPoint origin)
    {
        const QRect dark(origin, QSize(348, 104));
        const QRect light(origin + QPoint(362, 0), QSize(514, 104));
        QLinearGradient header(0, dark.top(), 0, dark.bottom());
        header.setColorAt(0, QColor(0x33, 0x3D, 0x4A));
        header.setColorAt(1, QColor(0x1B, 0x21, 0x2A));
        p.setPen(Qt::NoPen);
        p.setBrush(header);
        p.drawRoundedRect(dark, 8, 8);
        p.setBrush(QColor(0xF1, 0xF3, 0xF6));
        p.drawRoundedRect(light, 8, 8);

        QPoint at = dark.topLeft() + QPoint(14, 16);
        at = Row(p, at, {"close_n.png", "close_o.png", "close_d.png"}, 8);
        at = Row(p, at + QPoint(18, 0), {"minimized_n.png", "minimized_o.png", "minimized_d.png"}, 8);
        Row(p, dark.topLeft() + QPoint(14, 56),
            {"switch_OFF_n.png", "switch_OFF_o.png", "switch_ON_n.png", "switch_ON_o.png"}, 8);

        at = light.topLeft() + QPoint(14, 14);
        const char* applies[] = {"apply_n.png", "apply_o.png", "apply_d.png", "apply_un.png"};
        const unsigned colours[] = {0x3E3E3E, 0xFFFFFF, 0x908F8F, 0x8B8B8B};
        for (int i = 0; i < 4; ++i) {
            const QImage image = Load(applies[i]);
            p.drawImage(at, image);
            p.setFont(CellFont("Carlito", 16));
            p.setPen(QColor::fromRgb(colours[i]));
            const QPoint shift = i == 2 ? QPoint(1, 1) : QPoint(0, 0);
            p.drawText(QRect(at + shift, image.size()), Qt::AlignCenter, "Apply");
            at += QPoint(image.width() + 24, 0);
        }
        at = light.topLeft() + QPoint(14, 60);
        at = Row(p, at, {"mark_n.png", "mark_o.png", "mark_d.png", "mark_do.png", "mark_un.png"}, 8);
        at = Row(p, at + QPoint(18, -2), {"arrowup_n.png", "arrowup_o.png", "arrowup_un.png"}, 6);
        at = Row(p, at + QPoint(12, 0), {"arrowdown_n.png", "arrowdown_o.png", "arrowdown_un.png"}, 6);
        Row(p, at + QPoint(18, 2), {"ball_n.png", "ball_d.png", "ball_un.png"}, 10);
    }

private:
    QImage Load(const QString& name) const { return QImage(QDir(m_Folder).filePath(name)); }

    // Draws the pictures left to right from `at`; answers the point after the last one.
    QPoint Row(QPainter& p, QPoint at, std::initializer_list<const char*> names, int gap)
    {
        for (const char* name : names) {
            const QImage image = Load(name);
            p.drawImage(at, image);
            at += QPoint(image.width() + gap, 0);
        }
        return at;
    }

    QString m_Folder;
};

} // namespace

QImage ComposePreview(const QString& skinFolder)
{
    const QImage on = WindowComposer(skinFolder, true).Compose();
    const QImage off = WindowComposer(skinFolder, false).Compose();
    const int margin = 28;
    const QSize window = on.isNull() ? Window : on.size();
    const int states = 128;
    QImage sheet(2 * window.width() + 3 * margin, window.height() + 2 * margin + 14 + states,
                 QImage::Format_ARGB32_Premultiplied);
    QPainter p(&sheet);
    QLinearGradient desk(0, 0, sheet.width(), sheet.height());
    desk.setColorAt(0, QColor(0x6E, 0x86, 0x9E));
    desk.setColorAt(1, QColor(0x3B, 0x4B, 0x5E));
    p.fillRect(sheet.rect(), desk);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font("Liberation Sans");
    font.setPixelSize(13);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 220));
    p.drawText(QPoint(margin + 6, margin - 8), "Watchdog on");
    p.drawText(QPoint(2 * margin + window.width() + 6, margin - 8), "Watchdog off: times locked");
    p.drawImage(margin, margin + 4, on);
    p.drawImage(2 * margin + window.width(), margin + 4, off);
    const int statesTop = margin + 4 + window.height() + 26;
    p.setPen(QColor(255, 255, 255, 220));
    p.drawText(QPoint(margin + 6, statesTop - 8), "States: normal, hover, pressed, disabled (switch: off, off hover, on, on hover)");
    p.setRenderHint(QPainter::Antialiasing);
    StateSheet(skinFolder).Draw(p, QPoint(margin, statesTop));
    p.end();
    return sheet.convertToFormat(QImage::Format_RGB32);
}

} // namespace skin
