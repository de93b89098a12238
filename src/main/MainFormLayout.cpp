// TMainForm: the background, every widget with its place and look, and the composition of the
// window's picture. Positions are pixels of the window's client area; colours are RGB.

#include "main/MainForm.h"

#include <QImage>
#include <algorithm>
#include <optional>

#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/GsImage.h"
#include "gui/controls/GsLabel.h"
#include "gui/controls/TolvScrollBar.h"
#include "gui/framework/Application.h"
#include "gui/framework/Control.h"
#include "gui/graphics/Canvas.h"
#include "gui/graphics/image.h"
#include "system/autostart.h"

using graphics::RGB;

namespace {

std::filesystem::path Skin(const char* name)
{
    return graphics::SkinFolder() / name;
}

// The check images of the mark box (0-5) and the switch (6-11), in the order of kCheckSlots.
constexpr std::array<const char*, 12> kCheckImageFiles = {
    "mark_n.png",       "mark_o.png",       "mark_d.png",      "mark_do.png",
    "mark_un.png",      "mark_n.png",       "switch_OFF_n.png", "switch_OFF_o.png",
    "switch_ON_n.png",  "switch_ON_o.png",  "switch_ON_n.png",  "switch_OFF_n.png",
};

// Whether a window point lies on one of the shown controls that take input. A disabled one
// passes its press on to the window, and that press is no press on the background. Labels
// take no input: they are text on the background and drag like it.
bool OnAControl(const std::vector<framework::BaseControl*>& controls, int x, int y)
{
    return std::any_of(controls.begin(), controls.end(), [x, y](const framework::BaseControl* c) {
        return dynamic_cast<const framework::Control*>(c) && c->Visible() && x >= c->Left()
            && x < c->Left() + c->Width() && y >= c->Top() && y < c->Top() + c->Height();
    });
}

// Where each of a check box's six table images goes: (checked, state).
struct CheckSlot {
    bool checked;
    ButtonState state;
};
constexpr std::array<CheckSlot, 6> kCheckSlots = {{
    {false, ButtonState::Raised},
    {false, ButtonState::Hovered},
    {true, ButtonState::Raised},
    {true, ButtonState::Hovered},
    {true, ButtonState::Disabled},
    {false, ButtonState::Disabled},
}};

graphics::TFont FontOf(const char* face, int height, graphics::TColor color)
{
    graphics::TFont font;
    font.Name = face;
    font.Height = height;
    font.Color = color;
    return font;
}

} // namespace

void TMainForm::CreateBackground()
{
    graphics::Bitmap picture;
    graphics::LoadPngImage(Skin("background2.png"), &picture);
    picture.SetPixelFormat(graphics::pf32bit);
    m_Background = Own(std::make_unique<GsImage>(this));
    m_Background->SetAutoSize(true);
    m_Background->SetPicture(picture);
    // The background is windowless: a press anywhere outside the controls reaches the form.
    OnMouseDown = framework::MouseEvent(this, &TMainForm::OnBackgroundMouseDown);
    const int width = picture.Width();
    const int height = picture.Height();
    const framework::WorkArea place =
        framework::CentredIn(framework::Application::PrimaryWorkArea(), width, height);
    SetBounds(place.left, place.top, width, height);
}

void TMainForm::OnBackgroundMouseDown(framework::Component*, framework::MouseButton button,
                                      framework::ShiftState, int x, int y)
{
    if (button == framework::mbLeft && !OnAControl(m_Controls, x, y))
        StartWindowDrag();
}

void TMainForm::CreateWidgets()
{
    CreateButtons();
    CreateCheckBoxes();
    CreateTimeFields();
    CreateLabels();
    SetUpKeyboard();
}

GsButton* TMainForm::CreateSkinButton(int left, int top, const std::array<const char*, 4>& images,
                                      const char* caption, const char* hint)
{
    GsButton* button = Own(std::make_unique<GsButton>(this));
    button->SetLeft(left);
    button->SetTop(top);
    constexpr ButtonState order[] = {ButtonState::Raised, ButtonState::Sunken,
                                     ButtonState::Hovered, ButtonState::Disabled};
    for (std::size_t i = 0; i < images.size(); ++i)
        button->Appearance().LoadImage(order[i], Skin(images[i]));
    if (const graphics::Bitmap* raised = button->Appearance().Raised()) {
        button->SetWidth(raised->Width());
        button->SetHeight(raised->Height());
    }
    button->SetFont(FontOf("Candara", 16, RGB(0xDE, 0xDE, 0xDE)));
    button->SetInputBkgnd(&m_Background->EditPicture());
    GsButtonOuterGlowTextEffect& effects = button->TextEffect();
    auto setColor = [](GsTextRadiationEffect& effect, graphics::TColor color) {
        graphics::TFont font = effect.Font();
        font.Color = color;
        effect.SetFont(font);
    };
    setColor(effects.Hovered(), RGB(0xFF, 0xFF, 0xFF));
    setColor(effects.Disabled(), RGB(0x8B, 0x8B, 0x8B));
    setColor(effects.Sunken(), RGB(0x90, 0x8F, 0x8F));
    effects.Sunken().SetOffsetX(1);
    effects.Sunken().SetOffsetY(1);
    if (caption && *caption)
        button->SetCaption(caption);
    if (hint && *hint) {
        button->SetHint(hint);
        button->SetShowHint(true);
    }
    button->SetVisible(true);
    button->OnAfterPaint = framework::NotifyEvent(this, &TMainForm::OnRedrawRequest);
    return button;
}

void TMainForm::CreateButtons()
{
    m_CloseButton = CreateSkinButton(394, 4, {"close_n.png", "close_d.png", "close_o.png", "close_n.png"},
                                     nullptr, nullptr);
    m_CloseButton->SetCaption(" ");
    m_CloseButton->OnClick = framework::NotifyEvent(this, &TMainForm::OnCloseClick);
    m_Controls.push_back(m_CloseButton);

    m_MinimizeButton = CreateSkinButton(
        374, 4, {"minimized_n.png", "minimized_d.png", "minimized_o.png", "minimized_n.png"},
        nullptr, nullptr);
    m_MinimizeButton->SetCaption(" ");
    m_MinimizeButton->OnClick = framework::NotifyEvent(this, &TMainForm::OnMinimize);
    m_Controls.push_back(m_MinimizeButton);

    m_ApplyButton = CreateSkinButton(304, 501, {"apply_n.png", "apply_d.png", "apply_o.png", "apply_un.png"},
                                     "Apply", "Apply");
    m_ApplyButton->OnClick = framework::NotifyEvent(this, &TMainForm::OnApplyClick);
    m_Controls.push_back(m_ApplyButton);
    graphics::TFont font = m_ApplyButton->Font();
    font.Color = RGB(0x3E, 0x3E, 0x3E);
    font.Name = "Candara";
    m_ApplyButton->SetFont(font);
}

GsBulledCheckBox* TMainForm::CreateCheckBox(int left, int top, int firstImage)
{
    GsBulledCheckBox* box = Own(std::make_unique<GsBulledCheckBox>(this));
    box->SetLeft(left);
    box->SetTop(top);
    for (std::size_t i = 0; i < kCheckSlots.size(); ++i) {
        const CheckSlot slot = kCheckSlots[i];
        GsButtonAppearance& set = slot.checked ? box->Appearance().Checked() : box->Appearance().Unchecked();
        set.LoadImage(slot.state, Skin(kCheckImageFiles[static_cast<std::size_t>(firstImage) + i]));
    }
    box->SetInputBkgnd(&m_Background->EditPicture());
    box->SetFont(FontOf("Arial", 15, RGB(0xD2, 0xD2, 0xD2)));
    box->SetAutoSize(false);
    box->SetWidth(200);
    box->SetTextSpace(15);
    return box;
}

void TMainForm::FinishCheckBox(GsBulledCheckBox* box)
{
    GsButtonOuterGlowTextEffect& styles = box->TextEffect().Unchecked();
    for (ButtonState state : {ButtonState::Raised, ButtonState::Sunken, ButtonState::Hovered}) {
        graphics::TFont font = styles.Effect(state).Font();
        if (state == ButtonState::Raised)
            font.Color = RGB(0xDE, 0xDE, 0xDE);
        if (state == ButtonState::Hovered)
            font.Color = RGB(0x70, 0xE2, 0xFF);
        font.Height = 16;
        styles.Effect(state).SetFont(font);
    }
    box->SetVisible(true);
    box->SetTextTop(3);
}

GsBulledCheckBox* TMainForm::CreateMarkCheckBox(int left, int top, const char* caption, const char* hint)
{
    GsBulledCheckBox* box = CreateCheckBox(left, top, 0);
    if (caption && *caption)
        box->SetCaption(caption);
    if (hint && *hint) {
        box->SetHint(hint);
        box->SetShowHint(true);
    }
    FinishCheckBox(box);
    return box;
}

GsBulledCheckBox* TMainForm::CreateSwitch(int left, int top)
{
    GsBulledCheckBox* box = CreateCheckBox(left, top, 6);
    FinishCheckBox(box);
    return box;
}

void TMainForm::CreateCheckBoxes()
{
    m_StartupCheck = CreateMarkCheckBox(78, 450, nullptr, nullptr);
    m_StartupCheck->SetTextTop(2);
    m_StartupCheck->SetTextSpace(3);
    m_StartupCheck->SetChecked(IsAutostartTaskRegistered());
    m_StartupCheck->SetWidth(20);
    m_StartupCheck->SetHint("Launch on startup");
    m_StartupCheck->SetShowHint(true);
    m_StartupCheck->OnClick = framework::NotifyEvent(this, &TMainForm::OnStartupCheckClick);
    m_StartupCheck->OnAfterPaint = framework::NotifyEvent(this, &TMainForm::OnRedrawRequest);
    m_StartupCheck->SendToBack();
    m_Controls.push_back(m_StartupCheck);

    m_Switch = CreateSwitch(307, 27);
    m_Switch->SetTextTop(2);
    m_Switch->SetTextSpace(3);
    m_Switch->SetChecked(false);
    m_Switch->SetWidth(200);
    m_Switch->OnClick = framework::NotifyEvent(this, &TMainForm::OnSwitchClick);
    m_Switch->OnAfterPaint = framework::NotifyEvent(this, &TMainForm::OnRedrawRequest);
    m_Switch->SetShowHint(true);
    m_Switch->SetHint("Turn On/Off the Watchdog Timer function.");
    m_Switch->SendToBack();
    m_Controls.push_back(m_Switch);
}

GsLabel* TMainForm::CreateSkinLabel(const std::string& text, int left, int top, std::uint32_t color)
{
    GsLabel* label = Own(std::make_unique<GsLabel>(this));
    label->SetLeft(left);
    label->SetTop(top);
    label->SetCaption(text);
    label->SetFont(FontOf("Arial", 15, color));
    label->SetTransparent(true);
    label->SetAutoSize(false);
    label->SetVisible(false);
    label->SetAlignment(framework::taLeftJustify);
    label->SetWordWrap(true);
    label->Radiation().SetRadius(0);
    label->Radiation().SetSpread(0);
    return label;
}

GsLabel* TMainForm::AddLabel(const std::string& text, int left, int top, int width, int height,
                             int points, std::uint32_t color, const char* face)
{
    GsLabel* label = CreateSkinLabel("", left, top, color);
    label->SetVisible(true);
    graphics::TFont font = label->Font();
    font.SetSize(points);
    if (face)
        font.Name = face;
    label->SetFont(font);
    label->SetWidth(width);
    label->SetHeight(height);
    label->SetCaption(text);
    m_Controls.push_back(label);
    return label;
}

namespace {

// A wrapped text must be readable to its last line in the fonts at hand: a label grows down to
// the height its text needs, never shrinks, and moves nothing else.
void FitHeightToText(GsLabel* label)
{
    graphics::Bitmap scratch(1, 1);
    graphics::Canvas& canvas = scratch.Canvas();
    canvas.SetFont(label->Font());
    graphics::Rect rect{0, 0, label->Width(), 0};
    label->DoDrawText(canvas, rect, label->TextFlags() | graphics::DT_CALCRECT);
    label->SetHeight(std::max(label->Height(), rect.Height()));
}

} // namespace

void TMainForm::CreateLabels()
{
    const graphics::TColor title = RGB(0, 0, 0);
    const graphics::TColor note = RGB(0x8B, 0x8B, 0x8B);
    AddLabel("System restart time", 30, 73, 126, 60, 13, title, "Candara");
    AddLabel("Reload system restart time", 30, 238, 126, 60, 13, title, "Candara");
    GsLabel* explanations[] = {
        AddLabel("When the system crashes or runs abnormally, the system automatically restarts "
                 "when this countdown timer reaches zero.",
                 155, 77, 250, 60, 9, note, "Candara"),
        AddLabel("When the system runs normally, the countdown time for system restart is "
                 "automatically reset when this timer reaches zero. The countdown stops and the "
                 "system automatically restarts when the system crashes.",
                 155, 241, 250, 70, 9, note, "Candara"),
        AddLabel("Automatically launch Watchdog Timer on system startup.", 155, 447, 250, 45, 9,
                 note, "Candara"),
    };
    for (GsLabel* label : explanations)
        FitHeightToText(label);

    const graphics::TColor seconds = RGB(0x5B, 0x5B, 0x5B);
    AddLabel("seconds", 342, 167, 45, 20, 9, seconds, "Candara");
    AddLabel("seconds", 342, 359, 45, 20, 9, seconds, "Candara");

    const graphics::TColor number = RGB(0x4E, 0x4E, 0x4E);
    m_RebootLabel = AddLabel(std::to_string(m_RebootSlider->Position()), 170, 125, 85, 80, 40,
                             number, "Century Gothic");
    m_ResetLabel = AddLabel(std::to_string(m_ResetSlider->Position()), 170, 316, 85, 80, 40,
                            number, "Century Gothic");
    for (GsLabel* label : {m_RebootLabel, m_ResetLabel})
        label->SetAlignment(framework::taRightJustify);

    const std::int32_t resetMax = m_ResetSlider->Max();
    struct Scale {
        std::int32_t value;
        int left, top, width, height;
        bool right;
    };
    const Scale scales[] = {
        {m_RebootMin, 34, 214, 25, 25, false},
        {(m_RebootMin + 255) / 2, 200, 214, 25, 25, false},
        {255, 368, 214, 25, 25, false},
        {m_ResetMin, 37, 405, 25, 25, false},
        {(resetMax + m_ResetMin) / 2, 192, 405, 25, 20, true},
        {resetMax, 364, 405, 20, 25, true},
    };
    for (std::size_t i = 0; i < std::size(scales); ++i) {
        const Scale& s = scales[i];
        GsLabel* label = AddLabel(std::to_string(s.value), s.left, s.top, s.width, s.height, 8,
                                  number, nullptr);
        if (s.right)
            label->SetAlignment(framework::taRightJustify);
        m_ScaleLabels[i] = label;
    }
}

void TMainForm::OnRedrawRequest(framework::Component*)
{
    if (!m_Composing)
        m_RedrawRequest.Request();
}

void TMainForm::Redraw()
{
    // Paints the controls still owe run now, so that their requests do not bring a second
    // composition of the same event; a direct Redraw makes a pending request needless.
    // A first paint may ask for another (a button takes its caption then), so this runs until
    // nothing is owed, a few rounds at most.
    m_Composing = true;
    for (int round = 0; round < 3; ++round) {
        bool owed = false;
        for (framework::BaseControl* control : m_Controls) {
            auto* windowed = dynamic_cast<framework::Control*>(control);
            if (windowed && windowed->PaintPending()) {
                windowed->Update();
                owed = true;
            }
        }
        if (!owed)
            break;
    }
    m_Composing = false;
    m_RedrawRequest.Cancel();
    const graphics::Bitmap& background = m_Background->Picture();
    graphics::Bitmap layer(background.Width(), background.Height(), graphics::pf32bit);
    m_Frame.Assign(background);
    m_Frame.SetWidth(Width());
    // On a scaled screen the labels draw into a layer of device pixels, so that their text is
    // as sharp as the screen allows; the host scales the rest up and lays that layer over it.
    // The labels come after every control in the list, so they stay on top either way.
    const double scale = DeviceScale();
    std::optional<graphics::Bitmap> text;
    if (scale != 1.0) {
        text.emplace(framework::DevicePixels(m_Frame.Width(), scale),
                     framework::DevicePixels(m_Frame.Height(), scale), graphics::pf32bit);
        text->Image().setDevicePixelRatio(scale);
    }
    for (framework::BaseControl* control : m_Controls) {
        if (!control->Visible())
            continue;
        if (auto* kit = dynamic_cast<GsCustomControl*>(control))
            kit->DrawInto(&layer, DrawScope::WithChildren, WhenHidden::Skip);
        else if (auto* label = dynamic_cast<GsLabel*>(control))
            label->DrawInto(text ? &*text : &layer);
    }
    graphics::BlendLayer(&m_Frame, {0, 0, m_Frame.Width(), m_Frame.Height()}, &layer, {0, 0}, 255);
    DrawFocusMark(m_Frame);
    SetDetailLayer(text ? text->Image() : QImage());
    m_LayeredWindow->UpdateWindowImage(this, &m_Frame);
    ++m_RedrawCount;
}
