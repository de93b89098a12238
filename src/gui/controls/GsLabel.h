#pragma once

#include "gui/Painter/TextPainter.h"
#include "gui/framework/Component.h"
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
class GsOuterGlowTextEffectPainter {
public:
    explicit GsOuterGlowTextEffectPainter(GsTextRadiationEffect& effect) : m_Effect(effect) {}
    GsOuterGlowTextEffectPainter(const GsOuterGlowTextEffectPainter&) = delete;
    GsOuterGlowTextEffectPainter& operator=(const GsOuterGlowTextEffectPainter&) = delete;

    virtual void Draw(graphics::Canvas* canvas, const std::string& text,
                      const graphics::Rect& rect, unsigned format, std::int32_t inLayer,
                      std::uint8_t premultiplied);
    virtual void Draw(graphics::Canvas* canvas, const std::u16string& text,
                      const graphics::Rect& rect, unsigned format, std::int32_t inLayer,
                      std::uint8_t premultiplied);
    // With a non-zero offset the text is drawn moved by the offset into a copy of the bitmap,
    // and only the unmoved rectangle is copied back: the moved text is clipped to rect.
    virtual void Draw(graphics::Bitmap* bitmap, const std::string& text,
                      const graphics::Rect& rect, unsigned format, std::int32_t inLayer,
                      std::uint8_t premultiplied);
    virtual void Draw(graphics::Bitmap* bitmap, const std::u16string& text,
                      const graphics::Rect& rect, unsigned format, std::int32_t inLayer,
                      std::uint8_t premultiplied);
    virtual void Measure(graphics::Canvas* canvas, const std::string& text, graphics::Rect& rect,
                         unsigned format);
    virtual void Measure(graphics::Canvas* canvas, const std::u16string& text,
                         graphics::Rect& rect, unsigned format);
    // The adapter belongs to its caption style: giving it back does nothing.
    virtual void Release() {}
    virtual ~GsOuterGlowTextEffectPainter() = default;

    GsTextRadiationEffect& Effect() const { return m_Effect; }

private:
    template <typename Text>
    void DrawOnBitmap(graphics::Bitmap* bitmap, const Text& text, const graphics::Rect& rect,
                      unsigned format, std::int32_t inLayer, std::uint8_t premultiplied);

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

} // namespace gs

// One caption style: a font and a glow. A setter notifies only on a real change; the font
// setter notifies on every assignment from another font.
class GsTextRadiationEffect : public framework::Component {
public:
    GsTextRadiationEffect();
    explicit GsTextRadiationEffect(framework::NotifyEvent onChange);
    // Copies the font, the six glow values and the change notification.
    GsTextRadiationEffect(const GsTextRadiationEffect& other);
    ~GsTextRadiationEffect() override;

    // Copies the glow values and the font, then notifies this effect's listener.
    GsTextRadiationEffect& operator=(const GsTextRadiationEffect& other);

    std::uint8_t Opacity() const;
    void SetOpacity(std::uint8_t value);
    // Pixels; the painter keeps it within 0..TRadiateTextPainter::kMaxRadius.
    std::uint32_t Radius() const;
    void SetRadius(std::uint32_t value);
    std::uint8_t Spread() const;
    void SetSpread(std::uint8_t value);
    // The glow colour, 0x00BBGGRR.
    graphics::TColor Color() const;
    void SetColor(graphics::TColor value);
    // The glow's offset; RadiationX/OffsetX (and Y) are two names of one value.
    std::int32_t RadiationX() const;
    void SetRadiationX(std::int32_t value);
    std::int32_t RadiationY() const;
    void SetRadiationY(std::int32_t value);
    std::int32_t OffsetX() const { return RadiationX(); }
    void SetOffsetX(std::int32_t value) { SetRadiationX(value); }
    std::int32_t OffsetY() const { return RadiationY(); }
    void SetOffsetY(std::int32_t value) { SetRadiationY(value); }

    // The text's font, its colour included.
    const graphics::TFont& Font() const { return m_Font; }
    void SetFont(const graphics::TFont& font);

    TOuterGlowTextPainter& Painter() { return *m_Painter; }
    const TOuterGlowTextPainter& Painter() const { return *m_Painter; }
    // What the kit draws captions with.
    gs::GsOuterGlowTextEffectPainter& Adapter() { return *m_Adapter; }

    framework::NotifyEvent OnChange;

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
