#include "GalleryForm.h"

#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/GsImage.h"
#include "gui/controls/GsLabel.h"
#include "gui/controls/TolvScrollBar.h"
#include "gui/graphics/image.h"

namespace {

using graphics::RGB;

constexpr graphics::TColor kBody = RGB(238, 240, 243);
constexpr graphics::TColor kHeader = RGB(44, 48, 54);
constexpr graphics::TColor kInk = RGB(78, 78, 78);
constexpr graphics::TColor kMuted = RGB(120, 124, 130);

// The column of a state: its caption stands under the control.
constexpr int kFirstColumn = 170;
constexpr int kColumnPitch = 120;

int Column(int index)
{
    return kFirstColumn + index * kColumnPitch;
}

std::filesystem::path Skin(const char* name)
{
    return graphics::SkinFolder() / name;
}

// Four images in the button's order Raised, Sunken, Hovered, Disabled.
void LoadButtonImages(GsButtonAppearance& looks, const char* raised, const char* sunken,
                      const char* hovered, const char* disabled)
{
    looks.LoadImage(ButtonState::Raised, Skin(raised));
    looks.LoadImage(ButtonState::Sunken, Skin(sunken));
    looks.LoadImage(ButtonState::Hovered, Skin(hovered));
    looks.LoadImage(ButtonState::Disabled, Skin(disabled));
}

// The states a control is shown in; each is reached through the control's own input handling.
enum class Look { Normal, Hovered, Pressed, Disabled };

void Apply(GsCustomControl& control, Look look)
{
    const int x = control.Width() / 2;
    const int y = control.Height() / 2;
    switch (look) {
    case Look::Normal:
        break;
    case Look::Hovered:
        control.MouseMove(0, x, y);
        break;
    case Look::Pressed:
        control.MouseMove(framework::ssLeft, x, y);
        control.MouseDown(framework::mbLeft, framework::ssLeft, x, y);
        break;
    case Look::Disabled:
        control.SetEnabled(false);
        break;
    }
}

const char* LookName(Look look)
{
    switch (look) {
    case Look::Normal:
        return "raised";
    case Look::Hovered:
        return "hovered";
    case Look::Pressed:
        return "pressed";
    case Look::Disabled:
        return "disabled";
    }
    return "";
}

constexpr Look kLooks[] = {Look::Normal, Look::Hovered, Look::Pressed, Look::Disabled};

// The program's window puts its minimise and close buttons side by side at the top of the dark
// title bar of the skin's background (y = 4); the light minimise glyph fades away on a light
// ground. The gallery stands them on this piece of that bar, at the same height in it.
constexpr graphics::Rect kTitleBarPiece{296, 2, 344, 30};
constexpr int kButtonTopOnBar = 4;
constexpr int kTitleBarInset = 4; // from the piece's left edge to the first button

// Copies the piece of the title bar under window buttons whose first stands at (left, top).
void PutTitleBarPiece(graphics::Canvas& canvas, graphics::Bitmap& skin, int left, int top)
{
    const int x = left - kTitleBarInset;
    const int y = top - (kButtonTopOnBar - kTitleBarPiece.Top);
    canvas.CopyRect({x, y, x + kTitleBarPiece.Width(), y + kTitleBarPiece.Height()},
                    skin.Canvas(), kTitleBarPiece);
}

} // namespace

TGalleryForm::TGalleryForm()
{
    SetCaption("TOLV control kit");
    SetExStyle(ExStyle() | framework::WS_EX_LAYERED);
    SetBounds(40, 40, kWidth, kHeight);
    m_Layered.SetUsePerPixelAlpha(1);
}

TGalleryForm::~TGalleryForm()
{
    // Controls first: their input widgets belong to this form's host.
    m_KitControls.clear();
    m_Labels.clear();
    m_Images.clear();
    // Children were made after their parents: the newest goes first.
    while (!m_Controls.empty())
        m_Controls.pop_back();
}

template <typename T>
T* TGalleryForm::Add(int left, int top)
{
    auto control = std::make_unique<T>(this);
    T* raw = control.get();
    raw->SetParent(this);
    raw->SetLeft(left);
    raw->SetTop(top);
    m_Controls.push_back(std::move(control));
    if constexpr (std::is_base_of_v<GsCustomControl, T>) {
        raw->OnAfterPaint = framework::NotifyEvent(this, &TGalleryForm::OnRedrawRequest);
        m_KitControls.push_back(raw);
    } else if constexpr (std::is_base_of_v<GsLabel, T>) {
        m_Labels.push_back(raw);
    } else if constexpr (std::is_base_of_v<GsImage, T>) {
        m_Images.push_back(raw);
    }
    return raw;
}

void TGalleryForm::DoCreate()
{
    PaintBackground();
    AddButtons(70);
    AddCheckBoxes(200);
    AddPanelLabelsAndImages(330);
    AddSliders(450);
    Form::DoCreate();
}

void TGalleryForm::PaintBackground()
{
    m_Background.SetSize(kWidth, kHeight);
    graphics::Canvas& canvas = m_Background.Canvas();
    canvas.Brush().Color = kBody;
    canvas.FillRect({0, 0, kWidth, kHeight});
    canvas.Brush().Color = kHeader;
    canvas.FillRect({0, 0, kWidth, 44});
    canvas.Brush().Style = graphics::bsClear;
    graphics::TFont title;
    title.Name = "Century Gothic";
    title.SetSize(16);
    title.Color = graphics::clWhite;
    canvas.SetFont(title);
    canvas.TextOut(20, 8, std::string("TOLV control kit on the default skin"));
}

void TGalleryForm::Caption(int x, int y, const std::string& text, bool heading)
{
    graphics::Canvas& canvas = m_Background.Canvas();
    graphics::TFont font;
    font.Name = heading ? "Candara" : "Arial";
    font.SetSize(heading ? 11 : 8);
    font.Bold = heading;
    font.Color = heading ? kInk : kMuted;
    canvas.SetFont(font);
    canvas.Brush().Style = graphics::bsClear;
    canvas.TextOut(x, y, text);
}

void TGalleryForm::AddButtons(int top)
{
    Caption(20, top + 4, "GsButton", true);
    for (int i = 0; i < 4; ++i) {
        auto* apply = Add<GsButton>(Column(i), top);
        LoadButtonImages(apply->Appearance(), "apply_n.png", "apply_d.png", "apply_o.png",
                         "apply_un.png");
        graphics::TFont font = apply->Font();
        font.Name = "Candara";
        font.SetSize(10);
        font.Color = RGB(0x3E, 0x3E, 0x3E);
        apply->SetFont(font);
        apply->SetCaption("Apply");
        Apply(*apply, kLooks[i]);
        Caption(Column(i), top + 32, LookName(kLooks[i]));
    }
    // The constant opacity every state image is composed with.
    auto* faded = Add<GsButton>(Column(4), top);
    LoadButtonImages(faded->Appearance(), "apply_n.png", "apply_d.png", "apply_o.png",
                     "apply_un.png");
    faded->SetCaption("Apply");
    faded->SetAlphaValue(110);
    Caption(Column(4), top + 32, "raised, AlphaValue 110");

    const int row = top + 60;
    Caption(20, row + 4, "window and arrows", true);
    graphics::Bitmap skin;
    graphics::LoadPngImagePlain(Skin("background2.png"), &skin);
    for (int i = 0; i < 4; ++i) {
        const int x = Column(i);
        PutTitleBarPiece(m_Background.Canvas(), skin, x, row);
        auto* minimize = Add<GsButton>(x, row);
        LoadButtonImages(minimize->Appearance(), "minimized_n.png", "minimized_d.png",
                         "minimized_o.png", "minimized_n.png");
        minimize->SetCaption(" ");
        auto* close = Add<GsButton>(x + 20, row);
        LoadButtonImages(close->Appearance(), "close_n.png", "close_d.png", "close_o.png",
                         "close_n.png");
        close->SetCaption(" ");
        auto* up = Add<GsButton>(x + 52, row - 2);
        LoadButtonImages(up->Appearance(), "arrowup_n.png", "arrowup_o.png", "arrowup_o.png",
                         "arrowup_un.png");
        auto* down = Add<GsButton>(x + 52, row + 21);
        LoadButtonImages(down->Appearance(), "arrowdown_n.png", "arrowdown_o.png",
                         "arrowdown_o.png", "arrowdown_un.png");
        for (GsButton* button : {minimize, close, up, down})
            Apply(*button, kLooks[i]);
        Caption(x, row + 46, LookName(kLooks[i]));
    }
}

namespace {

// Images of the mark box and of the switch: unchecked raised, hovered, disabled; checked
// raised, hovered, disabled.
struct CheckImages {
    const char* images[6];
};

constexpr CheckImages kMark{{"mark_n.png", "mark_o.png", "mark_n.png", "mark_d.png",
                             "mark_do.png", "mark_un.png"}};
constexpr CheckImages kSwitch{{"switch_OFF_n.png", "switch_OFF_o.png", "switch_OFF_n.png",
                               "switch_ON_n.png", "switch_ON_o.png", "switch_ON_n.png"}};

void LoadCheckImages(GsCheckBoxAppearance& looks, const CheckImages& files)
{
    looks.Unchecked().LoadImage(ButtonState::Raised, Skin(files.images[0]));
    looks.Unchecked().LoadImage(ButtonState::Hovered, Skin(files.images[1]));
    looks.Unchecked().LoadImage(ButtonState::Disabled, Skin(files.images[2]));
    looks.Checked().LoadImage(ButtonState::Raised, Skin(files.images[3]));
    looks.Checked().LoadImage(ButtonState::Hovered, Skin(files.images[4]));
    looks.Checked().LoadImage(ButtonState::Disabled, Skin(files.images[5]));
}

struct CheckLook {
    bool checked;
    Look look;
    const char* name;
};

constexpr CheckLook kCheckLooks[] = {
    {false, Look::Normal, "off"},       {false, Look::Hovered, "off, hovered"},
    {true, Look::Normal, "on"},         {true, Look::Hovered, "on, hovered"},
    {true, Look::Disabled, "on, disabled"}, {false, Look::Disabled, "off, disabled"},
};

constexpr int kCheckPitch = 110;

} // namespace

void TGalleryForm::AddCheckBoxes(int top)
{
    Caption(20, top + 4, "GsCheckBox", true);
    for (int i = 0; i < 6; ++i) {
        const int x = kFirstColumn + i * kCheckPitch;
        auto* mark = Add<GsCheckBox>(x, top);
        LoadCheckImages(mark->Appearance(), kMark);
        mark->SetChecked(kCheckLooks[i].checked);
        Apply(*mark, kCheckLooks[i].look);

        auto* toggle = Add<GsCheckBox>(x + 26, top - 4);
        LoadCheckImages(toggle->Appearance(), kSwitch);
        toggle->SetChecked(kCheckLooks[i].checked);
        Apply(*toggle, kCheckLooks[i].look);
        Caption(x, top + 28, kCheckLooks[i].name);
    }

    const int row = top + 56;
    Caption(20, row + 4, "GsBulledCheckBox", true);
    for (int i = 0; i < 6; ++i) {
        const int x = kFirstColumn + i * kCheckPitch;
        auto* bulled = Add<GsBulledCheckBox>(x, row);
        LoadCheckImages(bulled->Appearance(), kMark);
        GsButtonOuterGlowTextEffect& styles = bulled->TextEffect().Unchecked();
        graphics::TFont font = styles.Raised().Font();
        font.Name = "Candara";
        font.SetSize(9);
        font.Color = RGB(0x3E, 0x3E, 0x3E);
        styles.Raised().SetFont(font);
        styles.Hovered().SetColor(RGB(0x5A, 0xC8, 0xFA));
        styles.Hovered().SetRadius(2);
        styles.Hovered().SetOpacity(70);
        bulled->TextEffect().Checked().Assign(styles);
        bulled->SetTextSpace(6);
        bulled->SetTextTop(2);
        bulled->SetCaption("Startup");
        bulled->SetChecked(kCheckLooks[i].checked);
        Apply(*bulled, kCheckLooks[i].look);
        Caption(x, row + 28, kCheckLooks[i].name);
    }
}

void TGalleryForm::AddPanelLabelsAndImages(int top)
{
    Caption(20, top + 4, "GsPanel", true);
    // A panel showing the well behind the big numbers, unchecked and checked, each holding a
    // button and a check box of its own.
    for (int i = 0; i < 2; ++i) {
        const int x = kFirstColumn + i * 130;
        auto* panel = Add<GsPanel>(x, top);
        panel->Appearance().Unchecked().LoadImage(ButtonState::Raised, Skin("apply_un.png"));
        panel->Appearance().Checked().LoadImage(ButtonState::Raised, Skin("apply_n.png"));
        panel->SetChecked(i == 1);
        auto owned = std::make_unique<GsCheckBox>(this);
        GsCheckBox* inner = owned.get();
        m_Controls.push_back(std::move(owned));
        inner->SetParent(panel);
        LoadCheckImages(inner->Appearance(), kMark);
        inner->SetChecked(i == 1);
        inner->SetLeft(4);
        inner->SetTop(3);
        Caption(x, top + 30, i == 0 ? "unchecked, with a child" : "checked, with a child");
    }

    const int labels = top;
    Caption(470, labels + 4, "GsLabel", true);
    struct LabelLook {
        const char* text;
        int size;
        graphics::TColor glow;
        std::uint32_t radius;
        bool enabled;
        const char* name;
    };
    const LabelLook looks[] = {
        {"60", 28, graphics::clBlack, 0, true, "no glow"},
        {"60", 28, graphics::clBlack, 3, true, "shadow glow"},
        {"60", 28, RGB(0x5A, 0xC8, 0xFA), 4, true, "accent glow"},
        {"60", 28, graphics::clBlack, 3, false, "disabled"},
    };
    for (int i = 0; i < 4; ++i) {
        const int x = 560 + i * 90;
        auto* label = Add<GsLabel>(x, labels - 8);
        graphics::TFont font = label->Font();
        font.Name = "Century Gothic";
        font.SetSize(looks[i].size);
        font.Color = kInk;
        label->SetFont(font);
        label->SetTransparent(true);
        label->Radiation().SetRadius(looks[i].radius);
        label->Radiation().SetColor(looks[i].glow);
        label->SetCaption(looks[i].text);
        label->SetEnabled(looks[i].enabled);
        Caption(x, labels + 44, looks[i].name);
    }

    const int images = top + 70;
    Caption(20, images + 4, "GsImage", true);
    const char* files[] = {"tray.png", "ball_n.png", "ball_d.png", "ball_un.png", "mark_do.png"};
    for (int i = 0; i < 5; ++i) {
        const int x = kFirstColumn + i * 60;
        auto* image = Add<GsImage>(x, images);
        graphics::Bitmap picture;
        graphics::LoadPngImagePlain(Skin(files[i]), &picture);
        image->SetAutoSize(true);
        image->SetPicture(picture);
        Caption(x, images + 36, files[i]);
    }
}

void TGalleryForm::AddSliders(int top)
{
    Caption(20, top + 4, "OcHMSlider", true);
    struct Row {
        int position;
        Look look;
        const char* name;
    };
    const Row rows[] = {
        {10, Look::Normal, "minimum (10)"},     {132, Look::Normal, "middle (132)"},
        {255, Look::Normal, "maximum (255)"},    {60, Look::Hovered, "hovered, 60"},
        {200, Look::Disabled, "disabled, 200"}, {40, Look::Pressed, "thumb held, 40"},
    };
    for (int i = 0; i < 6; ++i) {
        const int x = i % 2 == 0 ? kFirstColumn : kFirstColumn + 380;
        const int y = top + (i / 2) * 66;
        auto* slider = Add<OcHMSlider>(x, y);
        slider->SetMax(255);
        slider->SetMin(10);
        slider->SetPosition(rows[i].position);
        if (rows[i].look == Look::Pressed) {
            // Press on the thumb itself.
            const int thumbX = slider->MinorSlider().GetThumbPos() + 10;
            slider->MouseMove(framework::ssLeft, thumbX, 11);
            slider->MouseDown(framework::mbLeft, framework::ssLeft, thumbX, 11);
        } else {
            Apply(*slider, rows[i].look);
        }
        Caption(x, y + 44, rows[i].name);
    }
}

void TGalleryForm::Compose(graphics::Bitmap& frame)
{
    frame.Assign(m_Background);
    frame.SetPixelFormat(graphics::pf32bit);
    for (GsCustomControl* control : m_KitControls)
        control->DrawInto(&frame, DrawScope::WithChildren, WhenHidden::Skip);
    for (GsLabel* label : m_Labels)
        if (label->Visible())
            label->DrawInto(&frame);
    for (GsImage* image : m_Images)
        if (image->Visible())
            image->DrawInto(&frame);
}

void TGalleryForm::Present()
{
    if (m_Composing)
        return;
    m_Composing = true;
    graphics::Bitmap frame;
    Compose(frame);
    m_Layered.UpdateWindowImage(this, &frame);
    m_Composing = false;
}

void TGalleryForm::OnRedrawRequest(framework::Component*)
{
    Present();
}
