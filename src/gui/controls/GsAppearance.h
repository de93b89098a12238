#pragma once

#include "gui/controls/GsLabel.h"
#include "gui/controls/GsWidget.h"
#include "gui/framework/Event.h"
#include "gui/graphics/Bitmap.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

// The per-state image sets and caption style sets of the kit's buttons and check boxes.

// A set of state images, and the listener told the index of every image that changed.
class GsCtrlAppearance : public framework::Component {
public:
    using ChangeEvent = framework::Event<int>;

    explicit GsCtrlAppearance(ChangeEvent onChange) : OnChange(std::move(onChange)) {}

    virtual graphics::Bitmap* GetImage(CheckState check, ButtonState state) = 0;

    ChangeEvent OnChange;
};

// Six images indexed by ButtonState. A missing image (empty bitmap) falls back: Sunken, Focused
// and Active to Hovered, Hovered and Disabled to Raised.
class GsButtonAppearance : public GsCtrlAppearance {
public:
    explicit GsButtonAppearance(ChangeEvent onChange = {});
    ~GsButtonAppearance() override;

    graphics::Bitmap* GetImage(CheckState check, ButtonState state) override;

    // The slot of one state (the set keeps owning it); index must be Raised..Active.
    graphics::Bitmap* Image(ButtonState index) const;
    // Copies bitmap into the slot of index, then notifies.
    void SetImage(ButtonState index, const graphics::Bitmap& bitmap);
    // Loads a PNG into the slot of index (empty when it cannot be read), then notifies. The
    // file is decoded when the slot is first read, so a state never shown costs nothing.
    void LoadImage(ButtonState index, const std::filesystem::path& path);
    // For code that changed a slot's pixels through Image(): tells the listener.
    void Changed(ButtonState index);

    graphics::Bitmap* Raised() const { return Image(ButtonState::Raised); }
    void SetRaised(const graphics::Bitmap& b) { SetImage(ButtonState::Raised, b); }
    graphics::Bitmap* Sunken() const { return Image(ButtonState::Sunken); }
    void SetSunken(const graphics::Bitmap& b) { SetImage(ButtonState::Sunken, b); }
    graphics::Bitmap* Hovered() const { return Image(ButtonState::Hovered); }
    void SetHovered(const graphics::Bitmap& b) { SetImage(ButtonState::Hovered, b); }
    graphics::Bitmap* Disabled() const { return Image(ButtonState::Disabled); }
    void SetDisabled(const graphics::Bitmap& b) { SetImage(ButtonState::Disabled, b); }
    graphics::Bitmap* Focused() const { return Image(ButtonState::Focused); }
    void SetFocused(const graphics::Bitmap& b) { SetImage(ButtonState::Focused, b); }
    graphics::Bitmap* Active() const { return Image(ButtonState::Active); }
    void SetActive(const graphics::Bitmap& b) { SetImage(ButtonState::Active, b); }

    // Copies the six images of source into this set's slots (notifying each index).
    void Assign(const GsButtonAppearance& source);

private:
    std::array<std::unique_ptr<graphics::Bitmap>, kButtonStateCount> m_Images;
    // The files given to LoadImage and not decoded yet, by slot.
    mutable std::array<std::optional<std::filesystem::path>, kButtonStateCount> m_Pending;
};

// A set of caption styles.
class GsCtrlTextEffect : public framework::Component {
public:
    virtual gs::GsOuterGlowTextEffectPainter* GetEffect(CheckState check, ButtonState state) = 0;

    // Called with the set as sender whenever one of its styles changes.
    framework::NotifyEvent OnChange;

protected:
    void Changed() { OnChange(this); }
};

// Six caption styles indexed by ButtonState. Raised exists from the start; the others are made
// on first access from Raised as it is at that moment (Sunken: Raised's font, offset (2, 2);
// Disabled: Raised in the gray-text colour; the rest: copies of Raised).
class GsButtonOuterGlowTextEffect : public GsCtrlTextEffect {
public:
    GsButtonOuterGlowTextEffect();
    ~GsButtonOuterGlowTextEffect() override;

    gs::GsOuterGlowTextEffectPainter* GetEffect(CheckState check, ButtonState state) override;

    // The style of one state, made first when missing; index must be Raised..Active.
    GsTextRadiationEffect& Effect(ButtonState index);
    // Copies the values of effect into the style of index unless it is that style.
    void SetEffect(ButtonState index, const GsTextRadiationEffect& effect);
    // Whether the style of index exists yet.
    bool HasEffect(ButtonState index) const;

    GsTextRadiationEffect& Raised() { return Effect(ButtonState::Raised); }
    GsTextRadiationEffect& Sunken() { return Effect(ButtonState::Sunken); }
    GsTextRadiationEffect& Hovered() { return Effect(ButtonState::Hovered); }
    GsTextRadiationEffect& Disabled() { return Effect(ButtonState::Disabled); }
    GsTextRadiationEffect& Focused() { return Effect(ButtonState::Focused); }
    GsTextRadiationEffect& Active() { return Effect(ButtonState::Active); }
    void SetRaised(const GsTextRadiationEffect& e) { SetEffect(ButtonState::Raised, e); }
    void SetSunken(const GsTextRadiationEffect& e) { SetEffect(ButtonState::Sunken, e); }
    void SetHovered(const GsTextRadiationEffect& e) { SetEffect(ButtonState::Hovered, e); }
    void SetDisabled(const GsTextRadiationEffect& e) { SetEffect(ButtonState::Disabled, e); }
    void SetFocused(const GsTextRadiationEffect& e) { SetEffect(ButtonState::Focused, e); }
    void SetActive(const GsTextRadiationEffect& e) { SetEffect(ButtonState::Active, e); }

    // Copies the six styles of source member by member (making them where missing).
    void Assign(GsButtonOuterGlowTextEffect& source);

private:
    std::unique_ptr<GsTextRadiationEffect> MakeDefault(ButtonState index);
    framework::NotifyEvent Forwarder();

    std::array<std::unique_ptr<GsTextRadiationEffect>, kButtonStateCount> m_Effects;
};

// Three image sets by check state; a missing checked or grayed image falls back to the unchecked
// set. The listener hears the combined index: image index + 0 (Unchecked), 6 (Checked) or 12
// (Gray).
class GsCheckBoxAppearance : public GsCtrlAppearance {
public:
    explicit GsCheckBoxAppearance(ChangeEvent onChange = {});
    ~GsCheckBoxAppearance() override;

    graphics::Bitmap* GetImage(CheckState check, ButtonState state) override;

    GsButtonAppearance& Unchecked() { return *m_Sets[0]; }
    GsButtonAppearance& Checked() { return *m_Sets[1]; }
    GsButtonAppearance& Gray() { return *m_Sets[2]; }
    void SetUnchecked(const GsButtonAppearance& set) { m_Sets[0]->Assign(set); }
    void SetChecked(const GsButtonAppearance& set) { m_Sets[1]->Assign(set); }
    void SetGray(const GsButtonAppearance& set) { m_Sets[2]->Assign(set); }

    void Assign(const GsCheckBoxAppearance& source);

private:
    std::array<std::unique_ptr<GsButtonAppearance>, 3> m_Sets;
};

// Three caption style sets by check state. Unchecked exists from the start; Checked is made on
// first access as a copy of Unchecked, Grayed as a copy whose Raised font is gray (0x808080).
class GsCheckBoxOuterGlowTextEffect : public GsCtrlTextEffect {
public:
    GsCheckBoxOuterGlowTextEffect();
    ~GsCheckBoxOuterGlowTextEffect() override;

    gs::GsOuterGlowTextEffectPainter* GetEffect(CheckState check, ButtonState state) override;

    GsButtonOuterGlowTextEffect& Unchecked() { return *m_Unchecked; }
    GsButtonOuterGlowTextEffect& Checked();
    GsButtonOuterGlowTextEffect& Grayed();
    void SetUnchecked(GsButtonOuterGlowTextEffect& set) { Copy(set, Unchecked()); }
    void SetChecked(GsButtonOuterGlowTextEffect& set) { Copy(set, Checked()); }
    void SetGrayed(GsButtonOuterGlowTextEffect& set) { Copy(set, Grayed()); }
    bool HasChecked() const { return m_Checked != nullptr; }
    bool HasGrayed() const { return m_Grayed != nullptr; }

    void Assign(GsCheckBoxOuterGlowTextEffect& source);

private:
    static void Copy(GsButtonOuterGlowTextEffect& from, GsButtonOuterGlowTextEffect& to);
    std::unique_ptr<GsButtonOuterGlowTextEffect> MakeMember();

    std::unique_ptr<GsButtonOuterGlowTextEffect> m_Unchecked;
    std::unique_ptr<GsButtonOuterGlowTextEffect> m_Checked;
    std::unique_ptr<GsButtonOuterGlowTextEffect> m_Grayed;
};
