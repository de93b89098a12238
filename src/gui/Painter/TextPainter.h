#pragma once

#include "gui/graphics/Bitmap.h"
#include "gui/graphics/Canvas.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Text drawn plainly or with a soft glow around the glyphs, onto a surface or a 32-bit bitmap,
// and the rectangle such text needs.
//
// Text comes as UTF-16 (std::u16string) or UTF-8 (std::string); see TPainterText. The format is
// the DrawText flags of graphics::Canvas, passed through unchanged; measuring adds only
// DT_CALCRECT. Rectangles have exclusive right and bottom edges.
//
// All painting runs on the user-interface thread; nothing here is locked.
namespace painter {

// The text of a Draw or Measure: UTF-16 as given, or UTF-8 decoded where it comes in, as the
// surface decodes it (a broken sequence becomes U+FFFD), so both give the same pixels. It refers
// to the caller's text and lives for the call only.
class TPainterText {
public:
    TPainterText(const std::u16string& text) : m_Text(text) {}
    TPainterText(const std::string& text);
    TPainterText(const TPainterText&) = delete;
    TPainterText& operator=(const TPainterText&) = delete;

    const std::u16string& Utf16() const { return m_Text; }

private:
    std::u16string m_Decoded;
    const std::u16string& m_Text;
};

// What a Draw does with the target's rectangle.
enum class TDrawMode {
    Blend,      // blend onto what the target holds
    WriteLayer, // replace colour and alpha of the rectangle with the layer
};

// The layers a Draw composes.
enum class TLayerAlpha {
    // Straight layers through the software blends (which turn a bitmap target into 24-bit);
    // the plain painter draws the text directly.
    Straight,
    // Premultiplied layers through BlendLayer / DrawLayerOnCanvas.
    Premultiplied,
};

// An integer matrix reached through row pointers: rows x columns signed 32-bit values, zeroed.
class IntMatrix {
public:
    IntMatrix() = default;
    IntMatrix(int rows, int columns); // negative sizes count as 0

    int Rows() const { return m_Rows; }
    int Columns() const { return m_Columns; }

    std::int32_t* operator[](int row) { return m_RowPointers[static_cast<std::size_t>(row)]; }
    const std::int32_t* operator[](int row) const
    {
        return m_RowPointers[static_cast<std::size_t>(row)];
    }

private:
    int m_Rows = 0;
    int m_Columns = 0;
    std::vector<std::int32_t> m_Cells;
    std::vector<std::int32_t*> m_RowPointers;
};

class Filter {
public:
    virtual ~Filter() = default;
    // The filtered value at (i, j) of the rows x columns area whose top-left cell is
    // source[rowOffset][columnOffset]; only cells inside that area are read.
    virtual std::int32_t Apply(const IntMatrix& source, int rowOffset, int columnOffset,
                               int rows, int columns, int i, int j) const = 0;
};

// A weighted maximum (grey-level dilation): the largest source x kernel product over the
// neighbourhood inside the area, divided by the divisor (truncated).
class NeighborWeightedFilter : public Filter {
public:
    // kernel must be (2 rowRadius + 1) x (2 columnRadius + 1); divisor non-zero.
    NeighborWeightedFilter(IntMatrix kernel, std::int32_t divisor, int rowRadius,
                           int columnRadius);

    std::int32_t Apply(const IntMatrix& source, int rowOffset, int columnOffset, int rows,
                       int columns, int i, int j) const override;

    const IntMatrix& Kernel() const { return m_Kernel; }
    std::int32_t Divisor() const { return m_Divisor; }
    int RowRadius() const { return m_RowRadius; }
    int ColumnRadius() const { return m_ColumnRadius; }

private:
    IntMatrix m_Kernel;
    std::int32_t m_Divisor;
    int m_RowRadius;
    int m_ColumnRadius;
};

class FilterFactory {
public:
    virtual ~FilterFactory() = default;
    // The factory keeps ownership of what it hands out until ReleaseFilter.
    virtual Filter* MakeFilter(int r, int c) = 0;
    virtual void ReleaseFilter(Filter* filter) = 0;
};

// Hands out the glow filter of a radius and caches it: the kernel is built once and reused
// until the spread or the intensity changes. The cache ignores the radius (a painter's radius
// is set before it first draws).
class OuterGlowFilterFactory : public FilterFactory {
public:
    OuterGlowFilterFactory();
    ~OuterGlowFilterFactory() override;

    // Requires r == c.
    Filter* MakeFilter(int r, int c) override;
    // Destroys filter unless it is the cached one.
    void ReleaseFilter(Filter* filter) override;

    float Spread() const { return m_Spread; }         // share of the radius that is solid, 0..1
    void SetSpread(float spread);                      // a different value drops the cache
    float Intensity() const { return m_Intensity; }   // weight at the centre, 0..1
    void SetIntensity(float intensity);                // a different value drops the cache

    const Filter* CachedFilter() const { return m_Cached.get(); }

private:
    float m_Spread = 0.0f;
    float m_Intensity = 1.0f;
    std::unique_ptr<Filter> m_Cached;
};

// The glow kernel for radius R: (2R + 1) x (2R + 1) weights on the scale 256, a solid disc of
// radius R x spread at 256 x intensity with a Gaussian-shaped fall-off outside it.
IntMatrix BuildGlowKernel(int radius, float spread, float intensity);

// target[targetRow + i][targetColumn + j] = filter.Apply(source, ...) for every i < rows,
// j < columns. Both areas must lie inside their matrices.
void ApplyFilter(const Filter& filter, const IntMatrix& source, int sourceRow, int sourceColumn,
                 int rows, int columns, IntMatrix& target, int targetRow, int targetColumn);

// Luminance (0..255, rounded) of every pixel of rect on a 24- or 32-bit bitmap, as a
// height x width matrix (row 0 = rect.Top). Pixels outside the bitmap read as black.
IntMatrix LuminanceMap(const graphics::Bitmap* source, const graphics::Rect& rect);

// Writes into rect of a 32-bit bitmap a premultiplied layer in the bitmap's font colour whose
// alpha is the glyph coverage of text drawn into rect with format. Pixels of rect outside the
// bitmap are left alone.
void BuildTextLayer(graphics::Bitmap* target, const graphics::Rect& rect, const TPainterText& text,
                    unsigned format);

// What every text painter offers: drawing onto a surface or a 32-bit bitmap, and measuring.
class TCustomTextPainter {
public:
    TCustomTextPainter() = default;
    TCustomTextPainter(const TCustomTextPainter&) = delete;
    TCustomTextPainter& operator=(const TCustomTextPainter&) = delete;
    virtual ~TCustomTextPainter() = default;

    virtual void Draw(graphics::Canvas* canvas, const TPainterText& text,
                      const graphics::Rect& rect, unsigned format, TDrawMode mode,
                      TLayerAlpha alpha) = 0;
    virtual void Draw(graphics::Bitmap* bitmap, const TPainterText& text,
                      const graphics::Rect& rect, unsigned format, TDrawMode mode,
                      TLayerAlpha alpha) = 0;
    // Widens rect in place to what the text needs.
    virtual void Measure(graphics::Canvas* canvas, const TPainterText& text, graphics::Rect& rect,
                         unsigned format) = 0;
    // Gives the painter back after use.
    virtual void Release() = 0;
};

// Plain text.
class TTextPainter : public TCustomTextPainter {
public:
    TTextPainter() = default;

    // The shared plain painter, created at first use.
    static TTextPainter* Instance();

    void Draw(graphics::Canvas* canvas, const TPainterText& text, const graphics::Rect& rect,
              unsigned format, TDrawMode mode, TLayerAlpha alpha) override;
    void Draw(graphics::Bitmap* bitmap, const TPainterText& text, const graphics::Rect& rect,
              unsigned format, TDrawMode mode, TLayerAlpha alpha) override;
    void Measure(graphics::Canvas* canvas, const TPainterText& text, graphics::Rect& rect,
                 unsigned format) override;

    // The shared painter stays, any other destroys itself.
    void Release() override;
    ~TTextPainter() override = default;
};

// The glow alone, in the target's current font colour; the text itself is not drawn.
class TRadiateTextPainter : public TTextPainter {
public:
    static constexpr int kMaxRadius = 64;

    TRadiateTextPainter();

    void Draw(graphics::Canvas* canvas, const TPainterText& text, const graphics::Rect& rect,
              unsigned format, TDrawMode mode, TLayerAlpha alpha) override;
    void Draw(graphics::Bitmap* bitmap, const TPainterText& text, const graphics::Rect& rect,
              unsigned format, TDrawMode mode, TLayerAlpha alpha) override;
    // The text's extent plus 2 x radius in width and height (when not empty).
    void Measure(graphics::Canvas* canvas, const TPainterText& text, graphics::Rect& rect,
                 unsigned format) override;

    void Release() override;
    ~TRadiateTextPainter() override;

    std::uint8_t Opacity() const { return m_Opacity; }
    void SetOpacity(std::uint8_t opacity) { m_Opacity = opacity; }
    // Pixels; clamped to 0..kMaxRadius.
    int Radius() const { return m_Radius; }
    void SetRadius(int radius);
    std::uint8_t Spread() const { return m_Spread; }
    void SetSpread(std::uint8_t spread) { m_Spread = spread; }
    OuterGlowFilterFactory& GlowFactory() { return *m_GlowFactory; }

    // The glow alpha of white text on black in rect of source: height x width values.
    IntMatrix GlowAlphaMap(const graphics::Bitmap* source, const graphics::Rect& rect);
    // Turns white text on black in rect of a 32-bit bitmap into the glow layer in colour:
    // alpha = the glow, colour premultiplied by it when premultiplied, else straight.
    void BuildGlowLayer(graphics::Bitmap* target, const graphics::Rect& rect, bool premultiplied,
                        graphics::TColor color);

private:
    void BuildMaskLayer(graphics::Bitmap& layer, const graphics::TFont& font,
                        const TPainterText& text, const graphics::Rect& rect, unsigned format,
                        TLayerAlpha alpha);

    std::uint8_t m_Opacity = 255;
    int m_Radius = 0;
    std::uint8_t m_Spread = 0;
    std::unique_ptr<OuterGlowFilterFactory> m_GlowFactory;
};

// A glow in its own colour, shifted by an offset, with the text drawn over it. The glyphs sit
// at (Left + radius, Top + radius), their glow centred offset pixels further right and down.
class TOuterGlowTextPainter : public TRadiateTextPainter {
public:
    TOuterGlowTextPainter() = default;

    void Draw(graphics::Canvas* canvas, const TPainterText& text, const graphics::Rect& rect,
              unsigned format, TDrawMode mode, TLayerAlpha alpha) override;
    void Draw(graphics::Bitmap* bitmap, const TPainterText& text, const graphics::Rect& rect,
              unsigned format, TDrawMode mode, TLayerAlpha alpha) override;
    // As the radiate painter, then plus the offset (when not empty).
    void Measure(graphics::Canvas* canvas, const TPainterText& text, graphics::Rect& rect,
                 unsigned format) override;

    void Release() override;
    ~TOuterGlowTextPainter() override = default;

    // 0x00BBGGRR.
    graphics::TColor GlowColor() const { return m_GlowColor; }
    void SetGlowColor(graphics::TColor color) { m_GlowColor = color; }
    graphics::Point Offset() const { return m_Offset; }
    void SetOffset(graphics::Point offset) { m_Offset = offset; }

    // Takes over the glow of other: opacity, radius, spread, colour and offset. Answers whether
    // any of them differed.
    bool AssignGlow(const TOuterGlowTextPainter& other);

private:
    // Glow, then text, each blended onto the target (a surface or a bitmap).
    template <typename Target>
    void BlendGlowAndText(Target* target, graphics::TFont& font, const TPainterText& text,
                          const graphics::Rect& rect, unsigned format, TLayerAlpha alpha);

    graphics::TColor m_GlowColor = 0x00BFFFFF;
    graphics::Point m_Offset;
};

} // namespace painter

// The kit names the painters and their flags unqualified.
using painter::TCustomTextPainter;
using painter::TDrawMode;
using painter::TLayerAlpha;
using painter::TOuterGlowTextPainter;
using painter::TPainterText;
using painter::TRadiateTextPainter;
using painter::TTextPainter;
