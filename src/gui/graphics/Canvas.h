#pragma once

#include <QFont>
#include <QRegion>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QPainter;
class QString;

namespace graphics {

class Bitmap;

// Rectangles have exclusive right and bottom edges: width = Right - Left.
struct Rect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    std::int32_t Width() const { return Right - Left; }
    std::int32_t Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    Rect Offset(std::int32_t dx, std::int32_t dy) const
    {
        return {Left + dx, Top + dy, Right + dx, Bottom + dy};
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Colours are 0x00BBGGRR (red in the low byte). A value with the top byte 0xFF names a system
// colour by its index in the low byte; ColorToRGB resolves it.
using TColor = std::uint32_t;

constexpr TColor RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}
constexpr std::uint8_t GetRValue(TColor c) { return std::uint8_t(c); }
constexpr std::uint8_t GetGValue(TColor c) { return std::uint8_t(c >> 8); }
constexpr std::uint8_t GetBValue(TColor c) { return std::uint8_t(c >> 16); }

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clBtnFace = 0xFF00000F;
constexpr TColor clWindow = 0xFF000005;
constexpr TColor clWindowText = 0xFF000008;
constexpr TColor clBtnText = 0xFF000012;
constexpr TColor clGrayText = 0xFF000011;
constexpr TColor clHighlight = 0xFF00000D;
constexpr TColor clHighlightText = 0xFF00000E;

// A plain colour for any colour value; unknown system colours resolve to black, clNone to white.
TColor ColorToRGB(TColor color);

// Text format flags of DrawText. DT_VCENTER and DT_BOTTOM take effect only with
// DT_SINGLELINE; without DT_NOPREFIX "&&" shows one '&' and a single '&' is dropped.
enum : unsigned {
    DT_TOP = 0x0,
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_EXPANDTABS = 0x40,
    DT_NOCLIP = 0x100,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
    DT_PATH_ELLIPSIS = 0x4000,
    DT_END_ELLIPSIS = 0x8000,
    DT_WORD_ELLIPSIS = 0x40000,
};

// Raster operations of CopyRect; other values copy like cmSrcCopy.
enum : std::uint32_t {
    cmSrcCopy = 0x00CC0020,
    cmBlackness = 0x00000042,
    cmWhiteness = 0x00FF0062,
};

// Installs the font substitutions of the skin's faces ("Candara" -> Carlito, "Century Gothic"
// -> URW Gothic, "Arial" -> Liberation Sans). Idempotent; the application calls it at
// start-up and every surface calls it before it first makes a font.
void InstallFontSubstitutions();

struct TFont {
    std::string Name = "Arial";
    // Pixels. Negative: the character height (em size); positive: the cell height (ascent +
    // descent), as a font of that face would measure. 0 counts as the default -11.
    int Height = -11;
    TColor Color = clBlack;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;

    // Points at 96 dots per inch; SetSize stores the matching negative Height.
    int Size() const;
    void SetSize(int points);

    QFont ToQFont() const;
    friend bool operator==(const TFont&, const TFont&) = default;
};

enum TBrushStyle { bsSolid, bsClear };

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
    friend bool operator==(const TBrush&, const TBrush&) = default;
};

// A union of rectangles in surface (device) coordinates.
class Region {
public:
    Region() = default;
    explicit Region(const Rect& rect);

    void Add(const Rect& rect);
    Region Intersected(const Rect& rect) const;
    Region Intersected(const Region& other) const;
    Region Offset(int dx, int dy) const;
    bool Contains(int x, int y) const;
    bool IsEmpty() const;
    Rect Bounds() const;
    // Non-overlapping rectangles covering the region, top to bottom.
    std::vector<Rect> Rects() const;

    const QRegion& ToQRegion() const { return m_Region; }
    friend bool operator==(const Region& a, const Region& b) { return a.m_Region == b.m_Region; }

private:
    QRegion m_Region;
};

// The drawing surface of a Bitmap. Operations take logical coordinates; the viewport origin is
// added to get surface (device) coordinates, and drawing is limited to the clip region (given
// in device coordinates) when one is set, and always to the bitmap.
//
// Fills and text on a 32-bit bitmap write opaque pixels (alpha 255), so the result is valid
// premultiplied colour. Text is drawn with a transparent background in the font's colour.
class Canvas {
public:
    explicit Canvas(Bitmap& owner);

    Bitmap& Owner() { return m_Owner; }

    TFont& Font() { return m_Font; }
    const TFont& Font() const { return m_Font; }
    void SetFont(const TFont& font) { m_Font = font; }

    TBrush& Brush() { return m_Brush; }
    const TBrush& Brush() const { return m_Brush; }

    std::uint32_t CopyMode() const { return m_CopyMode; }
    void SetCopyMode(std::uint32_t mode) { m_CopyMode = mode; }

    Point ViewportOrigin() const { return m_Origin; }
    void SetViewportOrigin(Point origin) { m_Origin = origin; }
    void MoveViewportOrigin(int dx, int dy);

    // No value: drawing is limited by the bitmap only.
    std::optional<Region> ClipRegion() const { return m_Clip; }
    void SetClipRegion(std::optional<Region> region) { m_Clip = std::move(region); }
    void ClearClipRegion() { m_Clip.reset(); }
    // Limits the clip region to a rectangle in logical coordinates; without a clip region the
    // rectangle becomes the clip region.
    void IntersectClipRect(const Rect& rect);

    // The device area that drawing into the logical rectangle may change: the rectangle moved
    // by the origin, within the bitmap and the clip region.
    Region DrawableRegion(const Rect& logical) const;

    // Fills with the brush colour (nothing for bsClear).
    void FillRect(const Rect& rect);

    // Copies the area source of another surface (or this one) onto dest with the copy mode,
    // stretching with nearest-pixel sampling when the sizes differ. Bytes are copied as they
    // are; 32 -> 24 drops alpha, 24 -> 32 writes alpha 255. Source pixels outside the source
    // bitmap leave the destination unchanged.
    void CopyRect(const Rect& dest, Canvas& source, const Rect& sourceRect);
    // CopyRect with a given raster operation instead of the copy mode.
    void CopyArea(const Rect& dest, Canvas& source, const Rect& sourceRect, std::uint32_t rop);

    // Draws a bitmap at (x, y) or stretched into rect: a 32-bit bitmap in premultiplied mode
    // is blended over the surface by its alpha; any other bitmap is copied.
    void Draw(int x, int y, const Bitmap& bitmap);
    void StretchDraw(const Rect& rect, const Bitmap& bitmap);

    // Text at (x, y) (top-left of the first line); with a solid brush the text's extent is
    // filled with the brush colour first.
    void TextOut(int x, int y, const std::u16string& text);
    void TextOut(int x, int y, const std::string& text); // UTF-8

    // Draws (or with DT_CALCRECT measures: the rectangle is set to the text's extent and
    // nothing is drawn) text in a rectangle. Answers the height of the text.
    int DrawText(const std::u16string& text, Rect& rect, unsigned flags);
    int DrawText(const std::string& text, Rect& rect, unsigned flags); // UTF-8

    Size TextExtent(const std::u16string& text) const;
    Size TextExtent(const std::string& text) const; // UTF-8
    int TextWidth(const std::u16string& text) const { return TextExtent(text).cx; }
    int TextHeight(const std::u16string& text) const { return TextExtent(text).cy; }
    int TextWidth(const std::string& text) const { return TextExtent(text).cx; }
    int TextHeight(const std::string& text) const { return TextExtent(text).cy; }

    // Device pixels per logical pixel of the owner's storage: 1, unless the storage was given a
    // device pixel ratio. Such a surface holds text and painter drawing at full resolution; the
    // pixel operations (copies, layers) address its device pixels and do not belong on it.
    double DeviceScale() const;

    // A painter on the owner's storage with the origin and clip applied, for drawing that the
    // surface does not offer. Nothing to draw (empty bitmap) gives an inactive painter.
    void BeginPaint(QPainter& painter);

private:
    int DrawTextImpl(const QString& text, Rect& rect, unsigned flags);
    Size TextExtentImpl(const QString& text) const;

    Bitmap& m_Owner;
    TFont m_Font;
    TBrush m_Brush;
    std::uint32_t m_CopyMode = cmSrcCopy;
    Point m_Origin;
    std::optional<Region> m_Clip;
};

// Keeps a surface's viewport origin and clip region and puts both back when it goes out of
// scope. The second form then enters area: the origin moves to its top-left corner and drawing
// is clipped to it, so a part can draw at (0, 0) inside its own rectangle.
class SavedCanvasState {
public:
    explicit SavedCanvasState(Canvas& canvas);
    SavedCanvasState(Canvas& canvas, const Rect& area);
    ~SavedCanvasState();
    SavedCanvasState(const SavedCanvasState&) = delete;
    SavedCanvasState& operator=(const SavedCanvasState&) = delete;

private:
    Canvas& m_Canvas;
    Point m_Origin;
    std::optional<Region> m_Clip;
};

} // namespace graphics
