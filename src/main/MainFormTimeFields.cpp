// TMainForm: the two time fields. The restart time (upper) and the reload time (lower) are
// sliders with a big number, arrows that step by one and a scale; the reload time never comes
// closer than m_MinGap seconds to the restart time.

#include "main/MainForm.h"

#include <algorithm>

#include "gui/controls/GsButton.h"
#include "gui/controls/GsImage.h"
#include "gui/controls/GsLabel.h"
#include "gui/controls/TolvScrollBar.h"

namespace {

constexpr std::int32_t kRebootMax = 255;
constexpr std::array<const char*, 4> kUpImages = {"arrowup_n.png", "arrowup_o.png", "arrowup_o.png",
                                                  "arrowup_un.png"};
constexpr std::array<const char*, 4> kDownImages = {"arrowdown_n.png", "arrowdown_o.png",
                                                    "arrowdown_o.png", "arrowdown_un.png"};
enum Arrow { RebootUp = 0, RebootDown = 1, ResetUp = 2, ResetDown = 3 };

} // namespace

void TMainForm::CreateTimeFields()
{
    // The events are bound only after the initial values, so that start-up runs no handler.
    auto makeSlider = [this](int top, std::int32_t max, std::int32_t min, std::int32_t position) {
        OcHMSlider* slider = Own(std::make_unique<OcHMSlider>(this));
        slider->SetLeft(34);
        slider->SetTop(top);
        slider->SetHeight(100);
        slider->SetInputBkgnd(&m_Background->EditPicture());
        slider->SetVisible(true);
        slider->SetMax(max);
        slider->SetMin(min);
        slider->SetPosition(position);
        slider->OnAfterPaint = framework::NotifyEvent(this, &TMainForm::OnRedrawRequest);
        slider->SetEnabled(true);
        m_Controls.push_back(slider);
        return slider;
    };
    m_RebootSlider = makeSlider(190, kRebootMax, m_RebootMin, 60);
    m_RebootSlider->OnClick = framework::NotifyEvent(this, &TMainForm::OnRebootClick);
    m_RebootSlider->OnDragThumb = gs::ThumbDragEvent(this, &TMainForm::OnRebootTrack);
    m_RebootSlider->OnChange = framework::NotifyEvent(this, &TMainForm::OnRebootChange);
    m_ResetSlider = makeSlider(381, m_RebootSlider->Position() - m_MinGap, m_ResetMin, 40);
    m_ResetSlider->OnClick = framework::NotifyEvent(this, &TMainForm::OnResetClick);
    m_ResetSlider->OnChange = framework::NotifyEvent(this, &TMainForm::OnResetChange);
    m_ResetSlider->OnDragThumb = gs::ThumbDragEvent(this, &TMainForm::OnResetTrack);

    const int left = m_RebootSlider->Left() + 228;
    m_ArrowButtons[RebootUp] = CreateSkinButton(left, m_RebootSlider->Top() - 49, kUpImages, nullptr, nullptr);
    m_ArrowButtons[ResetUp] = CreateSkinButton(left, m_ResetSlider->Top() - 49, kUpImages, nullptr, nullptr);
    m_ArrowButtons[RebootDown] =
        CreateSkinButton(left, m_ArrowButtons[RebootUp]->Top() + 23, kDownImages, nullptr, nullptr);
    m_ArrowButtons[ResetDown] =
        CreateSkinButton(left, m_ArrowButtons[ResetUp]->Top() + 23, kDownImages, nullptr, nullptr);
    for (GsButton* arrow : m_ArrowButtons) {
        arrow->OnClick = framework::NotifyEvent(this, &TMainForm::OnArrowClick);
        m_Controls.push_back(arrow);
    }
}

void TMainForm::SetNumber(GsLabel* label, std::int32_t value)
{
    const std::string text = std::to_string(value);
    if (label->Caption() == text)
        return;
    label->SetCaption(text);
    // Labels are windowless and sit on the form: the window's picture shows them.
    OnRedrawRequest(label);
}

void TMainForm::ShowSliderNumbers()
{
    SetNumber(m_ResetLabel, m_ResetSlider->Position());
    SetNumber(m_RebootLabel, m_RebootSlider->Position());
}

void TMainForm::UpdateResetScale()
{
    const std::int32_t max = m_ResetSlider->Max();
    SetNumber(m_ScaleLabels[4], (max + m_ResetMin) / 2);
    SetNumber(m_ScaleLabels[5], max);
}

void TMainForm::FollowRebootPosition()
{
    SetNumber(m_RebootLabel, m_RebootSlider->Position());
    // A new maximum re-clamps the reload value and reports it through OnResetChange.
    m_ResetSlider->SetMax(m_RebootSlider->Position() - m_MinGap);
    if (m_ResetSlider->Position() > m_ResetSlider->Max()) {
        m_ResetSlider->SetPosition(m_ResetSlider->Max());
        SetNumber(m_ResetLabel, m_ResetSlider->Position());
    }
}

void TMainForm::OnRebootChange(framework::Component*)
{
    FollowRebootPosition();
    UpdateResetScale();
    m_ApplyButton->SetEnabled(true);
}

void TMainForm::OnRebootTrack(framework::Component*, double)
{
    FollowRebootPosition();
}

void TMainForm::OnRebootClick(framework::Component*)
{
    FollowRebootPosition();
    m_ApplyButton->SetEnabled(true);
}

void TMainForm::OnResetChange(framework::Component*)
{
    SetNumber(m_ResetLabel, m_ResetSlider->Position());
    m_ApplyButton->SetEnabled(true);
}

void TMainForm::OnResetTrack(framework::Component*, double)
{
    SetNumber(m_ResetLabel, m_ResetSlider->Position());
}

void TMainForm::OnResetClick(framework::Component*)
{
    SetNumber(m_ResetLabel, m_ResetSlider->Position());
    m_ApplyButton->SetEnabled(true);
}

void TMainForm::StepField(OcHMSlider* slider, std::int32_t delta)
{
    // A field already at its limit does not move, so OnChange does not fire and Apply keeps
    // its state. The restart field's upper limit is its slider's maximum, 255.
    const std::int32_t position = slider->Position();
    if (delta > 0 && position < slider->Max())
        slider->SetPosition(std::min(position + delta, slider->Max()));
    else if (delta < 0 && position > slider->Min())
        slider->SetPosition(std::max(position + delta, slider->Min()));
}

void TMainForm::OnArrowClick(framework::Component* sender)
{
    // The slider reports the step through its OnChange; the labels and Apply follow from there.
    if (sender == m_ArrowButtons[RebootDown])
        StepField(m_RebootSlider, -1);
    else if (sender == m_ArrowButtons[RebootUp])
        StepField(m_RebootSlider, 1);
    else if (sender == m_ArrowButtons[ResetDown])
        StepField(m_ResetSlider, -1);
    else if (sender == m_ArrowButtons[ResetUp])
        StepField(m_ResetSlider, 1);
}

void TMainForm::PutSlidersBack()
{
    m_RebootSlider->SetPosition(static_cast<std::int32_t>(m_SavedRebootTime));
    m_ResetSlider->SetPosition(static_cast<std::int32_t>(m_SavedResetTime));
}
