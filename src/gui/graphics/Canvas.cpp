#include "gui/graphics/Canvas.h"

#include "gui/graphics/Bitmap.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

namespace graphics {

namespace {

QRect ToQRect(const Rect& r)
{
    return QRect(r.Left, r.Top, r.Width(), r.Height());
}

Rect FromQRect(const QRect& r)
{
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

QColor ToQColor(TColor color)
{
    const TColor rgb = ColorToRGB(color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

// a * b / c rounded to nearest, halves away from zero.
int MulDiv(int a, int b, int c)
{
    const long long p = static_cast<long long>(a) * b;
    const long long q = p >= 0 ? (p + c / 2) / c : (p - c / 2) / c;
    return static_cast<int>(q);
}

// Copies (or, for the fill operations, overwrites) the device area dest of dst from the area
// src of source, nearest-pixel when the sizes differ, only inside `drawable`.
void CopyPixels(Bitmap& dst, const Region& drawable, const Rect& dest, const Bitmap& source,
                const Rect& src, std::uint32_t rop)
{
    const long long dw = dest.Width(), dh = dest.Height(), sw = src.Width(), sh = src.Height();
    if (dw <= 0 || dh <= 0)
        return;
    const int dbpp = dst.BytesPerPixel();
    if (rop == cmBlackness || rop == cmWhiteness) {
        const std::uint8_t value = rop == cmBlackness ? 0 : 255;
        for (const Rect& r : drawable.Rects())
            for (int y = r.Top; y < r.Bottom; ++y) {
                std::uint8_t* d = dst.ScanLine(y) + std::size_t(r.Left) * dbpp;
                for (int x = r.Left; x < r.Right; ++x, d += dbpp) {
                    d[0] = d[1] = d[2] = value;
                    if (dbpp == 4)
                        d[3] = 255;
                }
            }
        return;
    }
    if (sw <= 0 || sh <= 0 || source.Empty())
        return;
    // A shallow copy keeps the source bytes as they were should source and destination share
    // storage: the first write to the destination detaches it.
    const QImage sourceImage = source.Image();
    const int sbpp = source.BytesPerPixel();
    const bool sameScale = sw == dw && sh == dh;
    for (const Rect& r : drawable.Rects()) {
        for (int y = r.Top; y < r.Bottom; ++y) {
            const long long sy = src.Top + (y - dest.Top) * sh / dh;
            if (sy < 0 || sy >= sourceImage.height())
                continue;
            const std::uint8_t* srow = sourceImage.constScanLine(int(sy));
            std::uint8_t* drow = dst.ScanLine(y);
            if (sameScale && sbpp == dbpp) {
                const long long offset = src.Left - dest.Left;
                const long long x0 = std::max<long long>(r.Left, -offset);
                const long long x1 = std::min<long long>(r.Right, sourceImage.width() - offset);
                if (x1 > x0)
                    std::memcpy(drow + x0 * dbpp, srow + (x0 + offset) * sbpp,
                                std::size_t(x1 - x0) * dbpp);
                continue;
            }
            for (int x = r.Left; x < r.Right; ++x) {
                const long long sx = src.Left + (x - dest.Left) * sw / dw;
                if (sx < 0 || sx >= sourceImage.width())
                    continue;
                const std::uint8_t* s = srow + sx * sbpp;
                std::uint8_t* d = drow + std::size_t(x) * dbpp;
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                if (dbpp == 4)
                    d[3] = sbpp == 4 ? s[3] : 255;
            }
        }
    }
}

// Text prepared for layout: mnemonic prefixes removed and tabs expanded, split into lines.
struct TextLines {
    std::vector<QString> lines;
    std::vector<int> widths;
    int width = 0;
    int height = 0;
};

QString StripPrefixes(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                out += u'&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

// Tab stops every 8 characters when expanded; otherwise a tab shows as a space.
QString ExpandTabs(const QString& line, bool expand)
{
    if (!line.contains(u'\t'))
        return line;
    QString out;
    for (QChar c : line) {
        if (c != u'\t') {
            out += c;
            continue;
        }
        out += u' ';
        while (expand && out.size() % 8 != 0)
            out += u' ';
    }
    return out;
}

// Breaks a paragraph at word boundaries to fit the width; a word longer than the width keeps
// its own line and overhangs.
void WrapParagraph(const QString& paragraph, const QFontMetrics& fm, int width,
                   std::vector<QString>& lines)
{
    qsizetype pos = 0;
    const qsizetype n = paragraph.size();
    while (pos < n) {
        qsizetype lineEnd = pos; // exclusive end of the accepted words
        qsizetype scan = pos;
        while (scan < n) {
            qsizetype wordEnd = scan;
            while (wordEnd < n && paragraph[wordEnd] == u' ')
                ++wordEnd;
            while (wordEnd < n && paragraph[wordEnd] != u' ')
                ++wordEnd;
            const int w = fm.horizontalAdvance(paragraph.mid(pos, wordEnd - pos));
            if (w > width && lineEnd > pos)
                break;
            lineEnd = wordEnd;
            scan = wordEnd;
            if (w > width)
                break; // a single overlong word
        }
        lines.push_back(paragraph.mid(pos, lineEnd - pos));
        pos = lineEnd;
        while (pos < n && paragraph[pos] == u' ')
            ++pos; // spaces at a break belong to no line
    }
}

TextLines LayoutText(QString text, const QFontMetrics& fm, int width, unsigned flags)
{
    TextLines out;
    if (!(flags & DT_NOPREFIX))
        text = StripPrefixes(text);
    if (text.isEmpty())
        return out;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    if (flags & DT_SINGLELINE)
        text.replace(u'\n', u' ');
    const bool wrap = (flags & DT_WORDBREAK) && !(flags & DT_SINGLELINE);
    for (const QString& raw : text.split(u'\n')) {
        const QString paragraph = ExpandTabs(raw, flags & DT_EXPANDTABS);
        if (wrap && !paragraph.isEmpty())
            WrapParagraph(paragraph, fm, width, out.lines);
        else
            out.lines.push_back(paragraph);
    }
    for (QString& line : out.lines) {
        if (wrap) {
            while (!line.isEmpty() && line.back() == u' ')
                line.chop(1);
        }
        const int w = fm.horizontalAdvance(line);
        out.widths.push_back(w);
        out.width = std::max(out.width, w);
    }
    out.height = int(out.lines.size()) * fm.height();
    return out;
}

Qt::TextElideMode ElideMode(unsigned flags)
{
    if (flags & DT_PATH_ELLIPSIS)
        return Qt::ElideMiddle;
    if (flags & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS))
        return Qt::ElideRight;
    return Qt::ElideNone;
}

QString FromUtf16(const std::u16string& text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

TColor ColorToRGB(TColor color)
{
    if (color == clNone)
        return clWhite;
    if ((color & 0xFF000000u) != 0xFF000000u)
        return color & 0xFFFFFFu;
    // The usual desktop system colours, by index.
    static const TColor system[] = {
        RGB(0xC8, 0xC8, 0xC8), RGB(0x00, 0x00, 0x00), RGB(0x99, 0xB4, 0xD1), RGB(0xBF, 0xCD, 0xDB),
        RGB(0xF0, 0xF0, 0xF0), RGB(0xFF, 0xFF, 0xFF), RGB(0x64, 0x64, 0x64), RGB(0x00, 0x00, 0x00),
        RGB(0x00, 0x00, 0x00), RGB(0x00, 0x00, 0x00), RGB(0xB4, 0xB4, 0xB4), RGB(0xF4, 0xF7, 0xFC),
        RGB(0xAB, 0xAB, 0xAB), RGB(0x00, 0x78, 0xD7), RGB(0xFF, 0xFF, 0xFF), RGB(0xF0, 0xF0, 0xF0),
        RGB(0xA0, 0xA0, 0xA0), RGB(0x6D, 0x6D, 0x6D), RGB(0x00, 0x00, 0x00), RGB(0x00, 0x00, 0x00),
        RGB(0xFF, 0xFF, 0xFF), RGB(0x69, 0x69, 0x69), RGB(0xE3, 0xE3, 0xE3), RGB(0x00, 0x00, 0x00),
        RGB(0xFF, 0xFF, 0xE1),
    };
    const unsigned index = color & 0xFFu;
    return index < std::size(system) ? system[index] : clBlack;
}

void InstallFontSubstitutions()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QFont::insertSubstitution(QStringLiteral("Candara"), QStringLiteral("Carlito"));
        QFont::insertSubstitution(QStringLiteral("Century Gothic"), QStringLiteral("URW Gothic"));
        QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    });
}

int TFont::Size() const
{
    return -MulDiv(Height == 0 ? -11 : Height, 72, 96);
}

void TFont::SetSize(int points)
{
    Height = -MulDiv(points, 96, 72);
}

QFont TFont::ToQFont() const
{
    InstallFontSubstitutions();
    constexpr int kLargest = 2048; // keeps a wild height from asking for a giant glyph cache
    QFont font(QString::fromStdString(Name));
    font.setBold(Bold);
    font.setItalic(Italic);
    font.setUnderline(Underline);
    font.setStrikeOut(StrikeOut);
    const int height = std::clamp(Height == 0 ? -11 : Height, -kLargest, kLargest);
    if (height < 0) {
        font.setPixelSize(-height);
        return font;
    }
    // A positive height is the cell height: scale the em size so that ascent + descent match.
    QFont reference = font;
    reference.setPixelSize(100);
    const int cell = std::max(1, QFontMetrics(reference).height());
    font.setPixelSize(std::max(1, MulDiv(height, 100, cell)));
    return font;
}

Region::Region(const Rect& rect)
{
    Add(rect);
}

void Region::Add(const Rect& rect)
{
    if (!rect.IsEmpty())
        m_Region += ToQRect(rect);
}

Region Region::Intersected(const Rect& rect) const
{
    Region out;
    if (!rect.IsEmpty())
        out.m_Region = m_Region.intersected(ToQRect(rect));
    return out;
}

Region Region::Intersected(const Region& other) const
{
    Region out;
    out.m_Region = m_Region.intersected(other.m_Region);
    return out;
}

Region Region::Offset(int dx, int dy) const
{
    Region out;
    out.m_Region = m_Region.translated(dx, dy);
    return out;
}

bool Region::Contains(int x, int y) const
{
    return m_Region.contains(QPoint(x, y));
}

bool Region::IsEmpty() const
{
    return m_Region.isEmpty();
}

Rect Region::Bounds() const
{
    return m_Region.isEmpty() ? Rect{} : FromQRect(m_Region.boundingRect());
}

std::vector<Rect> Region::Rects() const
{
    std::vector<Rect> out;
    for (const QRect& r : m_Region)
        out.push_back(FromQRect(r));
    return out;
}

Canvas::Canvas(Bitmap& owner) : m_Owner(owner) {}

void Canvas::MoveViewportOrigin(int dx, int dy)
{
    m_Origin.x += dx;
    m_Origin.y += dy;
}

void Canvas::IntersectClipRect(const Rect& rect)
{
    const Rect device = rect.Offset(m_Origin.x, m_Origin.y);
    m_Clip = m_Clip ? m_Clip->Intersected(device) : Region(device);
}

SavedCanvasState::SavedCanvasState(Canvas& canvas)
    : m_Canvas(canvas), m_Origin(canvas.ViewportOrigin()), m_Clip(canvas.ClipRegion())
{
}

SavedCanvasState::SavedCanvasState(Canvas& canvas, const Rect& area) : SavedCanvasState(canvas)
{
    canvas.MoveViewportOrigin(area.Left, area.Top);
    canvas.IntersectClipRect({0, 0, area.Width(), area.Height()});
}

SavedCanvasState::~SavedCanvasState()
{
    m_Canvas.SetClipRegion(std::move(m_Clip));
    m_Canvas.SetViewportOrigin(m_Origin);
}

Region Canvas::DrawableRegion(const Rect& logical) const
{
    const Rect device = logical.Offset(m_Origin.x, m_Origin.y);
    Region region = Region(Rect{0, 0, m_Owner.Width(), m_Owner.Height()}).Intersected(device);
    return m_Clip ? region.Intersected(*m_Clip) : region;
}

double Canvas::DeviceScale() const
{
    return m_Owner.Image().devicePixelRatio();
}

void Canvas::BeginPaint(QPainter& painter)
{
    if (m_Owner.Empty() || !painter.begin(&m_Owner.Image()))
        return;
    if (m_Clip)
        painter.setClipRegion(m_Clip->ToQRegion());
    painter.translate(m_Origin.x, m_Origin.y);
}

void Canvas::FillRect(const Rect& rect)
{
    if (m_Brush.Style == bsClear || rect.IsEmpty())
        return;
    QPainter painter;
    BeginPaint(painter);
    if (!painter.isActive())
        return;
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(ToQRect(rect), ToQColor(m_Brush.Color));
}

void Canvas::CopyRect(const Rect& dest, Canvas& source, const Rect& sourceRect)
{
    CopyArea(dest, source, sourceRect, m_CopyMode);
}

void Canvas::CopyArea(const Rect& dest, Canvas& source, const Rect& sourceRect, std::uint32_t rop)
{
    const Rect device = dest.Offset(m_Origin.x, m_Origin.y);
    const Rect sourceDevice = sourceRect.Offset(source.m_Origin.x, source.m_Origin.y);
    CopyPixels(m_Owner, DrawableRegion(dest), device, source.m_Owner, sourceDevice, rop);
}

void Canvas::Draw(int x, int y, const Bitmap& bitmap)
{
    StretchDraw(Rect{x, y, x + bitmap.Width(), y + bitmap.Height()}, bitmap);
}

void Canvas::StretchDraw(const Rect& rect, const Bitmap& bitmap)
{
    if (rect.IsEmpty() || bitmap.Empty())
        return;
    if (bitmap.PixelFormat() == pf32bit && bitmap.GetAlphaMode() == AlphaMode::Premultiplied) {
        QPainter painter;
        BeginPaint(painter);
        if (painter.isActive())
            painter.drawImage(ToQRect(rect), bitmap.Image());
        return;
    }
    const Rect device = rect.Offset(m_Origin.x, m_Origin.y);
    CopyPixels(m_Owner, DrawableRegion(rect), device, bitmap,
               Rect{0, 0, bitmap.Width(), bitmap.Height()}, m_CopyMode);
}

void Canvas::TextOut(int x, int y, const std::u16string& text)
{
    const QString s = FromUtf16(text);
    const Size extent = TextExtentImpl(s);
    FillRect(Rect{x, y, x + extent.cx, y + extent.cy});
    QPainter painter;
    BeginPaint(painter);
    if (!painter.isActive())
        return;
    const QFont font = m_Font.ToQFont();
    painter.setFont(font);
    painter.setPen(ToQColor(m_Font.Color));
    painter.drawText(QPoint(x, y + QFontMetrics(font).ascent()), s);
}

void Canvas::TextOut(int x, int y, const std::string& text)
{
    const QString s = FromUtf8(text);
    TextOut(x, y, std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size())));
}

int Canvas::DrawText(const std::u16string& text, Rect& rect, unsigned flags)
{
    return DrawTextImpl(FromUtf16(text), rect, flags);
}

int Canvas::DrawText(const std::string& text, Rect& rect, unsigned flags)
{
    return DrawTextImpl(FromUtf8(text), rect, flags);
}

int Canvas::DrawTextImpl(const QString& text, Rect& rect, unsigned flags)
{
    const QFont font = m_Font.ToQFont();
    const QFontMetrics fm(font);
    const TextLines layout = LayoutText(text, fm, rect.Width(), flags);
    if (flags & DT_CALCRECT) {
        rect.Right = rect.Left + layout.width;
        rect.Bottom = rect.Top + layout.height;
        return layout.height;
    }
    if (layout.lines.empty())
        return 0;
    int top = rect.Top;
    if (flags & DT_SINGLELINE) {
        if (flags & DT_VCENTER)
            top = rect.Top + (rect.Height() - layout.height) / 2;
        else if (flags & DT_BOTTOM)
            top = rect.Bottom - layout.height;
    }
    QPainter painter;
    BeginPaint(painter);
    if (!painter.isActive())
        return layout.height;
    if (!(flags & DT_NOCLIP)) {
        if (rect.IsEmpty())
            return layout.height;
        painter.setClipRect(ToQRect(rect), m_Clip ? Qt::IntersectClip : Qt::ReplaceClip);
    }
    painter.setFont(font);
    painter.setPen(ToQColor(m_Font.Color));
    const Qt::TextElideMode elide = ElideMode(flags);
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        QString line = layout.lines[i];
        int width = layout.widths[i];
        if (elide != Qt::ElideNone && width > rect.Width()) {
            line = fm.elidedText(line, elide, std::max(0, rect.Width()));
            width = fm.horizontalAdvance(line);
        }
        int x = rect.Left;
        if (flags & DT_CENTER)
            x = rect.Left + (rect.Width() - width) / 2;
        else if (flags & DT_RIGHT)
            x = rect.Right - width;
        const int baseline = top + int(i) * fm.height() + fm.ascent();
        painter.drawText(QPoint(x, baseline), line);
    }
    return layout.height;
}

Size Canvas::TextExtent(const std::u16string& text) const
{
    return TextExtentImpl(FromUtf16(text));
}

Size Canvas::TextExtent(const std::string& text) const
{
    return TextExtentImpl(FromUtf8(text));
}

Size Canvas::TextExtentImpl(const QString& text) const
{
    const QFontMetrics fm(m_Font.ToQFont());
    return {fm.horizontalAdvance(text), fm.height()};
}

} // namespace graphics
