// TMainForm: the keyboard. Tab and Shift+Tab walk the focus order; Space toggles a focused check
// box (the kit's own rule); Up, Down, Page Up and Page Down move a focused time field as its
// arrows do; Return presses Apply when it is enabled (or the focused minimise or close button);
// Escape minimises. Once the keyboard is in use the focused control carries a mark in the
// skin's accent colour. Assistive technology reads the controls by the names given here.

#include "main/MainForm.h"

#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/TolvScrollBar.h"
#include "gui/framework/FocusChain.h"

namespace {

// Seconds a Page Up or Page Down moves a field.
constexpr std::int32_t kPageStep = 10;

// The skin's accent colour, in the frame's B, G, R, A order.
constexpr std::array<std::uint8_t, 4> kAccent = {0xE0, 0x96, 0x16, 0xFF};
// The mark's three rings, outside in: a soft outer glow, the line, a faint inner glow. The line
// runs kMarkGap pixels outside the control.
constexpr std::array<std::uint8_t, 3> kRingAlpha = {60, 220, 40};
constexpr int kMarkGap = 3;

// "Over" of the accent at alpha onto one premultiplied pixel.
void BlendAccent(std::uint8_t* pixel, std::uint8_t alpha)
{
    const int keep = 255 - alpha;
    for (std::size_t i = 0; i < kAccent.size(); ++i)
        pixel[i] = static_cast<std::uint8_t>((kAccent[i] * alpha + pixel[i] * keep + 127) / 255);
}

// The outline of r (exclusive right and bottom edges) without its corner pixels, which rounds
// the mark; what lies outside the frame is left out.
void BlendRing(graphics::Bitmap& frame, const graphics::Rect& r, std::uint8_t alpha)
{
    auto put = [&frame, alpha](int x, int y) {
        if (x >= 0 && y >= 0 && x < frame.Width() && y < frame.Height())
            BlendAccent(frame.ScanLine(y) + 4 * x, alpha);
    };
    for (int x = r.Left + 1; x < r.Right - 1; ++x) {
        put(x, r.Top);
        put(x, r.Bottom - 1);
    }
    for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
        put(r.Left, y);
        put(r.Right - 1, y);
    }
}

// What the mark surrounds: the control, or for a check box without a caption its bullet only
// (the switch is wider than its picture).
graphics::Rect MarkedArea(framework::Control* control)
{
    graphics::Rect area = control->BoundsRect();
    auto* box = dynamic_cast<GsCheckBox*>(control);
    if (box && box->Caption().find_first_not_of(' ') == std::string::npos) {
        int width = 0;
        int height = 0;
        box->GetBulletSize(width, height);
        if (width > 0 && height > 0)
            area = {area.Left, area.Top, area.Left + width, area.Top + height};
    }
    return area;
}

std::int32_t FieldStep(std::uint16_t key)
{
    switch (key) {
    case framework::VK_UP:
        return 1;
    case framework::VK_DOWN:
        return -1;
    case framework::VK_PRIOR:
        return kPageStep;
    case framework::VK_NEXT:
        return -kPageStep;
    default:
        return 0;
    }
}

} // namespace

std::vector<framework::Control*> TMainForm::FocusOrder() const
{
    return {m_Switch, m_RebootSlider, m_ResetSlider, m_StartupCheck,
            m_ApplyButton, m_MinimizeButton, m_CloseButton};
}

void TMainForm::SetUpKeyboard()
{
    m_Switch->SetAccessibleName("Watchdog Timer");
    m_RebootSlider->SetAccessibleName("System restart time");
    m_ResetSlider->SetAccessibleName("Reload system restart time");
    m_StartupCheck->SetAccessibleName("Launch on startup");
    m_MinimizeButton->SetAccessibleName("Minimize");
    m_CloseButton->SetAccessibleName("Close");
    constexpr std::array<const char*, 4> arrowNames = {"System restart time up", "System restart time down",
                                                       "Reload time up", "Reload time down"};
    for (std::size_t i = 0; i < m_ArrowButtons.size(); ++i)
        m_ArrowButtons[i]->SetAccessibleName(arrowNames[i]);
    framework::SetFocusOrder(FocusOrder());
    OnKeyDown = framework::KeyEvent(this, &TMainForm::OnFormKeyDown);
}

void TMainForm::OnFormKeyDown(framework::Component*, std::uint16_t& key, framework::ShiftState shift)
{
    if (shift & (framework::ssCtrl | framework::ssAlt))
        return;
    framework::Control* focused = framework::FocusedControl(*this);
    OcHMSlider* field = focused == m_RebootSlider ? m_RebootSlider
        : focused == m_ResetSlider                ? m_ResetSlider
                                                  : nullptr;
    const std::int32_t step = FieldStep(key);
    if (step != 0 && field) {
        StepField(field, step);
    } else if (key == framework::VK_RETURN && (focused == m_MinimizeButton || focused == m_CloseButton)) {
        focused->Click();
    } else if (key == framework::VK_RETURN && m_ApplyButton->Enabled()) {
        m_ApplyButton->Click();
    } else if (key == framework::VK_ESCAPE) {
        // The minimise button's own path: to the tray, or to the taskbar without one.
        m_MinimizeButton->Click();
    } else {
        return;
    }
    key = 0;
}

void TMainForm::DrawFocusMark(graphics::Bitmap& frame)
{
    framework::Control* focused = FocusCues() ? framework::FocusedControl(*this) : nullptr;
    if (!focused || !focused->Showing() || frame.PixelFormat() != graphics::pf32bit)
        return;
    const graphics::Rect area = MarkedArea(focused);
    for (std::size_t ring = 0; ring < kRingAlpha.size(); ++ring) {
        const int out = kMarkGap + 1 - static_cast<int>(ring);
        BlendRing(frame, {area.Left - out, area.Top - out, area.Right + out, area.Bottom + out},
                  kRingAlpha[ring]);
    }
}
