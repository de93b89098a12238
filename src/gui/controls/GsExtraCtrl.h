#pragma once

// Controls that show one of several image sets by a check state: the check box GsCheckBox, the
// bullet with a separate caption GsBulledCheckBox, and the caching container GsPanel, with their
// widgets gs::WdgCheckBox, gs::WdgBulledCheckBox and the caption widget gs::WdgLabel.

#include "gui/controls/GsAppearance.h"
#include "gui/controls/GsButton.h"
#include "gui/controls/GsLabel.h"
#include "gui/controls/GsWidget.h"

#include <cstdint>
#include <memory>

namespace gs {

// The check-box widget: the image by check state and hover/press, the caption style by both.
class WdgCheckBox : public WdgStateButton {
public:
    WdgCheckBox();
    ~WdgCheckBox() override;

    // Toggles: unchecked -> checked (-> grayed first with AllowGrayed) -> unchecked; nothing with
    // NoToggle.
    void DoClick() override;
    GsOuterGlowTextEffectPainter* GetTextEffect(ButtonState state) override;

    virtual bool GetChecked();
    virtual void SetChecked(bool checked);
    // Stores and repaints without comparing.
    virtual void SetState(CheckState state);

    GsCheckBoxAppearance& Appearance() { return *m_Appearance; }
    GsCheckBoxOuterGlowTextEffect& TextEffect() { return *m_TextEffect; }
    CheckState GetCheckState() const { return m_CheckState; }
    bool AllowGrayed() const { return m_AllowGrayed; }
    void SetAllowGrayed(bool value) { m_AllowGrayed = value; }

    // Told after every real change of the check state.
    WidgetNotifyEvent OnStateChange;

protected:
    const graphics::Bitmap* StateImage(ButtonState state) override;
    // The unchecked hover image, whatever the current states.
    const graphics::Bitmap* HitImage() override;

private:
    std::unique_ptr<GsCheckBoxAppearance> m_Appearance;
    std::unique_ptr<GsCheckBoxOuterGlowTextEffect> m_TextEffect;
    CheckState m_CheckState = cbUnchecked;
    bool m_AllowGrayed = false;
};

// A caption as a child widget, drawn with one glowing style (a gray copy when disabled).
class WdgLabel : public GsWidget {
public:
    WdgLabel();
    ~WdgLabel() override;

    void SetText(const std::string& text) override;
    void SetAutoSize(bool autoSize) override;
    void Paint(graphics::Bitmap* target, const graphics::Rect& rect) override;

    bool WordWrap() const { return m_WordWrap; }
    void SetWordWrap(bool value) { m_WordWrap = value; }
    TAlignment Alignment() const { return m_Alignment; }
    void SetAlignment(TAlignment value) { m_Alignment = value; }
    TTextLayout Layout() const { return m_Layout; }
    void SetLayout(TTextLayout value) { m_Layout = value; }
    GsTextRadiationEffect& TextEffect() { return *m_TextEffect; }
    // Made on first use as a copy of TextEffect in gray.
    GsTextRadiationEffect& DisabledEffect();

    unsigned TextFormat() const;
    // The size the text needs drawn in style (its glow included); empty without text.
    graphics::Rect Measure(GsTextRadiationEffect& style);
    // Sizes the widget to its measured text.
    void Fit();

private:
    bool m_WordWrap = false;
    TAlignment m_Alignment = taLeftJustify;
    TTextLayout m_Layout = tlTop;
    std::unique_ptr<GsTextRadiationEffect> m_TextEffect;
    std::unique_ptr<GsTextRadiationEffect> m_DisabledEffect;
};

// A check box whose images form a bullet, with its caption in a label widget to the right at
// bullet width + TextSpace, TextTop from the top. All mouse input goes to the bullet.
class WdgBulledCheckBox : public WdgCheckBox {
public:
    WdgBulledCheckBox();
    ~WdgBulledCheckBox() override;

    // The caption goes to the label only.
    void SetText(const std::string& text) override;
    void SetWidth(int width) override;
    void Paint(graphics::Bitmap* target, const graphics::Rect& rect) override;
    bool CanAutoSize(int& width, int& height) override;
    bool CanResize(int& width, int& height) override;
    void SetAutoSize(bool autoSize) override;

    WdgLabel& Label() { return *m_Label; }
    int TextSpace() const { return m_TextSpace; }
    void SetTextSpace(int value);
    int TextTop() const { return m_TextTop; }
    void SetTextTop(int value);
    int BulletWidth();
    int BulletHeight();

private:
    // The widest the caption gets in any of the states' styles made so far.
    int WidestCaption();

    WdgLabel* m_Label; // a child, owned through the child list
    int m_TextSpace = 0;
    int m_TextTop = 0;
};

} // namespace gs

// A two- or three-state check box drawn from images, its caption on the image. A click or the
// Space key toggles it.
class GsCheckBox : public GsCustomButton {
public:
    explicit GsCheckBox(framework::Component* owner = nullptr);
    ~GsCheckBox() override;

    std::unique_ptr<gs::GsWidget> CreateWidget() override;
    gs::WdgCheckBox& CheckBoxWidget();

    // The size of the Raised image of the unchecked set.
    virtual void GetBulletSize(int& width, int& height);
    virtual bool GetChecked();
    virtual void SetChecked(bool checked);
    bool Checked() { return GetChecked(); }
    CheckState State();
    void SetState(CheckState state);
    bool AllowGrayed();
    void SetAllowGrayed(bool value);

    GsCheckBoxAppearance& Appearance() { return CheckBoxWidget().Appearance(); }
    void SetAppearance(const GsCheckBoxAppearance& appearance) { Appearance().Assign(appearance); }
    GsCheckBoxOuterGlowTextEffect& TextEffect() { return CheckBoxWidget().TextEffect(); }
    void SetTextEffect(GsCheckBoxOuterGlowTextEffect& effect) { TextEffect().Assign(effect); }

    // Toggles (unless the widget has NoToggle), then the usual click handling.
    void Click() override;

    // A check box; checked only when fully checked (a grayed box reads as unchecked).
    framework::AccessibleFacts Facts() override;

    // Fired after every real change of the check state, whatever changed it.
    framework::NotifyEvent OnChange;

protected:
    // Descendants with another widget type set it up themselves, once it can be made.
    enum class WidgetSetUp { Now, ByDescendant };
    GsCheckBox(framework::Component* owner, WidgetSetUp setUp);
    void SetUpWidget();

    bool CanAutoSize(int& width, int& height) override;
    void FontChanged() override;
    void KeyPress(char16_t& key) override;
};

// A container whose background image follows a checked state set by the program; it never
// toggles on click and keeps its last rendering until it is invalidated.
class GsPanel : public GsCustomButton {
public:
    explicit GsPanel(framework::Component* owner = nullptr);
    ~GsPanel() override;

    std::unique_ptr<gs::GsWidget> CreateWidget() override;
    gs::WdgCheckBox& CheckBoxWidget();

    GsCheckBoxAppearance& Appearance() { return CheckBoxWidget().Appearance(); }
    void SetAppearance(const GsCheckBoxAppearance& appearance) { Appearance().Assign(appearance); }
    bool Checked() { return CheckBoxWidget().GetChecked(); }
    void SetChecked(bool checked);
    bool Scrollable() const { return m_Scrollable; }
    void SetScrollable(bool value) { m_Scrollable = value; }
    bool Dirty() const { return m_Dirty; }
    const graphics::Bitmap& Cache() const { return m_Cache; }

    // Invalidates the children too and drops the cache.
    void Invalidate() override;
    // From the cache while it is valid.
    void RenderTo(graphics::Bitmap* bitmap) override;
    void RenderControl(graphics::Bitmap* bitmap, RenderMode mode) override;
    void EraseBackground() override;

protected:
    bool CanAutoSize(int& width, int& height) override;
    void Paint() override;

private:
    graphics::Bitmap m_Cache{0, 0, graphics::pf24bit};
    bool m_Dirty = false;
    bool m_Scrollable = false;
    bool m_Invalidating = false;
};

// A check box whose images form a bullet, with the caption drawn by a label widget beside it in
// the style of the bullet's state.
class GsBulledCheckBox : public GsCheckBox {
public:
    explicit GsBulledCheckBox(framework::Component* owner = nullptr);
    ~GsBulledCheckBox() override;

    std::unique_ptr<gs::GsWidget> CreateWidget() override;
    gs::WdgBulledCheckBox& BulledWidget();

    // The control always sizes itself; this switches whether the widget and the label follow
    // their content.
    bool AutoSize();
    void SetAutoSize(bool value);
    int TextSpace() { return BulledWidget().TextSpace(); }
    void SetTextSpace(int value) { BulledWidget().SetTextSpace(value); }
    int TextTop() { return BulledWidget().TextTop(); }
    void SetTextTop(int value) { BulledWidget().SetTextTop(value); }

protected:
    bool CanAutoSize(int& width, int& height) override;
    void CaptionChanged() override;
};
