#pragma once

#include "gui/Painter/TextPainter.h"
#include "gui/framework/Component.h"
#include "gui/framework/GraphicControl.h"
#include "gui/graphics/Bitmap.h"
#include "gui/graphics/Canvas.h"

#include <cstdint>
#include <memory>
#include <string>

// Glowing text of the kit: the caption style (font plus glow) that buttons, check boxes and
// labels hand to the outer-glow painter, the caption margins, and the glowing label.

class GsTextRadiationEffect;

namespace gs {

// Draws with the glow painter of one caption style: every operation first gives the target's
// surface the style's font, then calls the painter's operation of the same kind.
class GsOuterGlowTextEffectPainter : public TCustomTextPainter {
public:
    explicit GsOuterGlowTextEffectPainter(GsTextRadiationEffect& effect) : m_Effect(effect) {}

    void Draw(graphics::Canvas* canvas, const TPainterText& text, const graphics::Rect& rect,
              unsigned format, TDrawMode mode, TLayerAlpha alpha) override;
    // With a non-zero offset the text is drawn moved by the offset into a copy of the bitmap,
    // and only the unmoved rectangle is copied back: the moved text is clipped to rect.
    void Draw(graphics::Bitmap* bitmap, const TPainterText& text, const graphics::Rect& rect,
              unsigned format, TDrawMode mode, TLayerAlpha alpha) override;
    void Measure(graphics::Canvas* canvas, const TPainterText& text, graphics::Rect& rect,
                 unsigned format) override;
    // The adapter belongs to its caption style: giving it back does nothing.
    void Release() override {}

    GsTextRadiationEffect& Effect() const { return m_Effect; }

private:
    GsTextRadiationEffect& m_Effect;
};

// Something that can be composed into one window-sized bitmap: rendered alone into a bitmap
// of its own size, or drawn into a container's bitmap at its own position.
class GsComponent {
public:
    virtual ~GsComponent() = default;
    virtual void RenderTo(graphics::Bitmap* bitmap) = 0;
    virtual void DrawInto(graphics::Bitmap* container) = 0;
};

// The glow of an outer-glow painter, read and written straight in the painter. A setter stores
// only a value that differs, then tells GlowChanged whether it did.
class GsCustomRadiation : public framework::Component {
public:
    std::uint8_t Opacity() const { return GlowPainter().Opacity(); }
    void SetOpacity(std::uint8_t value);
    // Pixels; the painter keeps it within 0..TRadiateTextPainter::kMaxRadius.
    std::uint32_t Radius() const { return static_cast<std::uint32_t>(GlowPainter().Radius()); }
    void SetRadius(std::uint32_t value);
    std::uint8_t Spread() const { return GlowPainter().Spread(); }
    void SetSpread(std::uint8_t value);
    // The glow colour, 0x00BBGGRR.
    graphics::TColor Color() const { return GlowPainter().GlowColor(); }
    void SetColor(graphics::TColor value);
    // The glow's offset from the text.
    std::int32_t OffsetX() const { return GlowPainter().Offset().x; }
    void SetOffsetX(std::int32_t value);
    std::int32_t OffsetY() const { return GlowPainter().Offset().y; }
    void SetOffsetY(std::int32_t value);

protected:
    virtual TOuterGlowTextPainter& GlowPainter() const = 0;
    virtual void GlowChanged(bool valueChanged) = 0;

private:
    void SetOffset(graphics::Point offset);
};

} // namespace gs

// One caption style: a font and a glow. A setter notifies only on a real change; the font
// setter notifies on every assignment from another font.
class GsTextRadiationEffect : public gs::GsCustomRadiation {
public:
    GsTextRadiationEffect();
    explicit GsTextRadiationEffect(framework::NotifyEvent onChange);
    // Copies the font, the six glow values and the change notification.
    GsTextRadiationEffect(const GsTextRadiationEffect& other);
    ~GsTextRadiationEffect() override;

    // Copies the glow values and the font, then notifies this effect's listener.
    GsTextRadiationEffect& operator=(const GsTextRadiationEffect& other);

    // RadiationX/OffsetX (and Y) are two names of one value.
    std::int32_t RadiationX() const { return OffsetX(); }
    void SetRadiationX(std::int32_t value) { SetOffsetX(value); }
    std::int32_t RadiationY() const { return OffsetY(); }
    void SetRadiationY(std::int32_t value) { SetOffsetY(value); }

    // The text's font, its colour included.
    const graphics::TFont& Font() const { return m_Font; }
    void SetFont(const graphics::TFont& font);

    TOuterGlowTextPainter& Painter() { return *m_Painter; }
    const TOuterGlowTextPainter& Painter() const { return *m_Painter; }
    // What the kit draws captions with.
    gs::GsOuterGlowTextEffectPainter& Adapter() { return *m_Adapter; }

    framework::NotifyEvent OnChange;

protected:
    TOuterGlowTextPainter& GlowPainter() const override { return *m_Painter; }
    void GlowChanged(bool valueChanged) override;

private:
    void Changed();

    graphics::TFont m_Font;
    std::unique_ptr<TOuterGlowTextPainter> m_Painter;
    std::unique_ptr<gs::GsOuterGlowTextEffectPainter> m_Adapter;
};

// Caption margins in pixels.
class GsTextMargins : public framework::Component {
public:
    GsTextMargins() = default;
    GsTextMargins(const GsTextMargins& other);
    // Copies the four margins, then notifies this object's listener.
    GsTextMargins& operator=(const GsTextMargins& other);

    // Each setter stores and notifies without comparing with the old value: listeners rely on
    // hearing every assignment, also of an unchanged value.
    std::int32_t Left() const { return m_Left; }
    void SetLeft(std::int32_t value);
    std::int32_t Right() const { return m_Right; }
    void SetRight(std::int32_t value);
    std::int32_t Top() const { return m_Top; }
    void SetTop(std::int32_t value);
    std::int32_t Bottom() const { return m_Bottom; }
    void SetBottom(std::int32_t value);

    framework::NotifyEvent OnChange;

private:
    void Changed() { OnChange(this); }

    std::int32_t m_Left = 0;
    std::int32_t m_Right = 0;
    std::int32_t m_Top = 0;
    std::int32_t m_Bottom = 0;
};

// Where a caption that does not fit is shortened with an ellipsis.
enum TEllipsisPosition { epNone, epPathEllipsis, epEndEllipsis, epWordEllipsis };

class GsLabel;

// The glow of a label, read and written straight in the label's painter. A change re-fits an
// auto-sized label (the glow is part of the measured size) and repaints it.
class GsRadiation : public gs::GsCustomRadiation {
public:
    explicit GsRadiation(GsLabel& label) : m_Label(label) {}
    // Copies the six glow values into this label's painter and re-fits it.
    GsRadiation& operator=(const GsRadiation& other);

    // The glow's offset from the text.
    std::int32_t X() const { return OffsetX(); }
    void SetX(std::int32_t value) { SetOffsetX(value); }
    std::int32_t Y() const { return OffsetY(); }
    void SetY(std::int32_t value) { SetOffsetY(value); }

    GsLabel& Label() const { return m_Label; }

protected:
    TOuterGlowTextPainter& GlowPainter() const override;
    // The label re-fits on every assignment, also of an unchanged value.
    void GlowChanged(bool valueChanged) override;

private:
    GsLabel& m_Label;
};

// A windowless label whose caption glows: a dark shadow-like glow one pixel down and right
// unless told otherwise. It draws on its parent's surface and composes into window bitmaps.
class GsLabel : public framework::GraphicControl, public gs::GsComponent {
public:
    explicit GsLabel(framework::Component* owner = nullptr);
    ~GsLabel() override;

    GsRadiation& Radiation() { return *m_Radiation; }
    void SetRadiation(const GsRadiation& radiation) { *m_Radiation = radiation; }
    TOuterGlowTextPainter& Painter() { return *m_Painter; }

    // Not transparent: the caption's rectangle is filled with Color first.
    bool Transparent() const { return m_Transparent; }
    void SetTransparent(bool value);
    graphics::TColor Color() const { return m_Color; }
    void SetColor(graphics::TColor value);
    framework::TAlignment Alignment() const { return m_Alignment; }
    void SetAlignment(framework::TAlignment value);
    framework::TTextLayout Layout() const { return m_Layout; }
    void SetLayout(framework::TTextLayout value);
    bool WordWrap() const { return m_WordWrap; }
    void SetWordWrap(bool value);
    TEllipsisPosition EllipsisPosition() const { return m_EllipsisPosition; }
    void SetEllipsisPosition(TEllipsisPosition value);

    // The DrawText flags of the caption: alignment, tabs expanded, word break, ellipsis.
    unsigned TextFlags() const;

    // Fits an auto-sized label to its measured caption (glow included); a right-aligned label
    // keeps its right edge.
    void AdjustSize() override;

    void Paint(graphics::Canvas& canvas) override;

    // The label alone in a bitmap of its size.
    void RenderTo(graphics::Bitmap* bitmap) override;
    // The label at its bounds on a window-sized bitmap; nothing for an empty caption.
    void DrawInto(graphics::Bitmap* container) override;

    // Draws the caption into rect of canvas with flags, or with DT_CALCRECT in flags sets rect
    // to the size the caption needs.
    virtual void DoDrawText(graphics::Canvas& canvas, graphics::Rect& rect, unsigned flags);

protected:
    void FontChanged() override;
    void EnabledChanged() override;

private:
    // Moves the top of rect down for the centre and bottom layouts.
    void ApplyLayout(graphics::Canvas& canvas, graphics::Rect& rect);
    void DrawCaption(graphics::Canvas& canvas, graphics::Rect rect);

    std::unique_ptr<TOuterGlowTextPainter> m_Painter;
    std::unique_ptr<GsRadiation> m_Radiation;
    bool m_Transparent = false;
    graphics::TColor m_Color = graphics::clBtnFace;
    framework::TAlignment m_Alignment = framework::taLeftJustify;
    framework::TTextLayout m_Layout = framework::tlTop;
    bool m_WordWrap = false;
    TEllipsisPosition m_EllipsisPosition = epNone;
};
