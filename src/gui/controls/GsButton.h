#pragma once

// Image-and-text controls of the kit: the common base GsCustomButton (background under the
// control, composing kit children into one bitmap, the caption layout and hit-test properties of
// its widget), the push button GsButton and its widget gs::WdgButton.

#include "gui/controls/GsAppearance.h"
#include "gui/controls/GsWidget.h"

#include <cstdint>
#include <memory>

namespace gs {

// What the push button and the check box share: the state image picked by hover and press,
// the caption drawn on a copy of it and the copy composed with AlphaValue.
class WdgStateButton : public WdgCustomControl {
public:
    // With TransparentHit off, a point hits only where HitImage's alpha is greater than
    // HitAlphaLimit; the image is anchored at the widget's top-left corner.
    bool HitTest(int x, int y) override;
    void SetEnabled(bool enabled) override;
    void Paint(graphics::Bitmap* target, const graphics::Rect& rect) override;
    void DoMouseMove(framework::ShiftState shift, int x, int y) override;
    void DoMouseDown(framework::MouseButton button, framework::ShiftState shift, int x, int y) override;
    void DoMouseUp(framework::MouseButton button, framework::ShiftState shift, int x, int y) override;
    void DoMouseLeave() override;

    // The state the last Paint drew.
    ButtonState State() const { return m_State; }
    bool Pressed() const { return m_Pressed; }
    // The state Paint picks now: Disabled, Raised (not hovered), Sunken (pressed, unless the
    // widget has NoToggle) or Hovered.
    ButtonState CurrentState() const;

protected:
    // The image Paint shows in a state, and the one the hit test reads.
    virtual const graphics::Bitmap* StateImage(ButtonState state) = 0;
    virtual const graphics::Bitmap* HitImage() = 0;
    // Takes the size of the Raised image unless the widget has it already.
    void FitTo(const graphics::Bitmap& raised);

private:
    ButtonState m_State = ButtonState::Raised;
    bool m_Pressed = false;
};

// The push button's widget: six state images and six caption styles.
class WdgButton : public WdgStateButton {
public:
    WdgButton();
    ~WdgButton() override;

    GsOuterGlowTextEffectPainter* GetTextEffect(ButtonState state) override;

    GsButtonAppearance& Appearance() { return *m_Appearance; }
    GsButtonOuterGlowTextEffect& TextEffect() { return *m_TextEffect; }

protected:
    const graphics::Bitmap* StateImage(ButtonState state) override;
    // The image of the state the last Paint drew.
    const graphics::Bitmap* HitImage() override { return StateImage(State()); }

private:
    std::unique_ptr<GsButtonAppearance> m_Appearance;
    std::unique_ptr<GsButtonOuterGlowTextEffect> m_TextEffect;
};

// The image hit test shared by the button and check-box widgets: the pixel of image under
// (x, y) relative to the widget's corner must be more opaque than limit.
bool ImageHit(const GsWidget& widget, const graphics::Bitmap* image, int x, int y);

} // namespace gs

// The common base of the kit's image-and-text controls. It draws the background under itself
// (from InputBkgnd or its kit parent), lets its widget draw the state image with the caption,
// and composes its kit children into a window-sized bitmap.
class GsCustomButton : public GsCustomControl {
public:
    explicit GsCustomButton(framework::Component* owner = nullptr);
    ~GsCustomButton() override;

    // The picture of whatever lies behind the window (not owned); the control cuts out the area
    // under itself. Setting a different bitmap repaints.
    void SetInputBkgnd(graphics::Bitmap* bitmap);

    std::uint8_t AlphaValue();
    // The widget's opacity, passed on to every visible kit child and image.
    void SetAlphaValue(std::uint8_t value);

    // Caption layout, stored in the widget; shows at the next repaint.
    bool WordWrap();
    void SetWordWrap(bool value);
    TAlignment Alignment();
    void SetAlignment(TAlignment value);
    TTextLayout Layout();
    void SetLayout(TTextLayout value);
    GsTextMargins& TextMargins();
    void SetTextMargins(const GsTextMargins& margins);

    bool ParentBackground() const { return m_ParentBackground; }
    void SetParentBackground(bool value) { m_ParentBackground = value; }

    bool TransparentHit();
    void SetTransparentHit(bool value);
    std::uint8_t HitAlphaLimit();
    void SetHitAlphaLimit(std::uint8_t value);

    void RenderControl(graphics::Bitmap* bitmap, RenderMode mode) override;
    void DrawInto(graphics::Bitmap* bitmap, DrawScope scope, WhenHidden hidden) override;

protected:
    // The caption widget (null before a concrete control made its widget).
    gs::WdgCustomControl* TextWidget();
    // Proposes the widget's size.
    bool CanAutoSize(int& width, int& height) override;
    // Puts (w, h) in place of the requested size.
    bool ProposeSize(int w, int h, int& width, int& height) const;

private:
    void DrawBackground(graphics::Bitmap* bitmap);

    bool m_ParentBackground = false;
};

// The push button: six state images, six caption styles and a modal result.
class GsButton : public GsCustomButton {
public:
    explicit GsButton(framework::Component* owner = nullptr);
    ~GsButton() override;

    std::unique_ptr<gs::GsWidget> CreateWidget() override;
    gs::WdgButton& ButtonWidget();

    GsButtonAppearance& Appearance() { return ButtonWidget().Appearance(); }
    void SetAppearance(const GsButtonAppearance& appearance) { Appearance().Assign(appearance); }
    GsButtonOuterGlowTextEffect& TextEffect() { return ButtonWidget().TextEffect(); }
    void SetTextEffect(GsButtonOuterGlowTextEffect& effect) { TextEffect().Assign(effect); }

    std::int32_t ModalResult() const { return m_ModalResult; }
    void SetModalResult(std::int32_t value) { m_ModalResult = value; }

    // Hands the modal result to the parent form, then the usual click handling.
    void Click() override;

    framework::AccessibleFacts Facts() override { return {framework::AccessibleFacts::Kind::Button}; }

protected:
    // The size of the Raised image.
    bool CanAutoSize(int& width, int& height) override;
    // The Raised caption style follows the control's font.
    void FontChanged() override;

private:
    std::int32_t m_ModalResult = 0;
};
