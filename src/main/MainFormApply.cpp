// TMainForm: what the user does to the watchdog — the switch, Apply — and the lock-out of the
// service-window model, which gives the service program time to act on each change.

#include "main/MainForm.h"

#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/TolvScrollBar.h"
#include "platform/MessageBox.h"
#include "watchdog/CWatchDogControl.h"

namespace {

constexpr int kLockTicks = 9;

bool Confirmed()
{
    return platform::ShowMessageBox("Do you want turn On/Off the Watchdog Timer function.",
                                    "TOLV Watchdog Timer", platform::MB_OKCANCEL)
        == platform::IDOK;
}

} // namespace

void TMainForm::OnSwitchClick(framework::Component*)
{
    if (m_ModelTypeWMI) {
        if (!Confirmed()) {
            // The click has toggled the switch already; undo it without a second click.
            m_Switch->SetChecked(!m_Switch->Checked());
            return;
        }
        // Edits that were never applied are dropped.
        PutSlidersBack();
    }
    ApplySwitchState(m_Switch->Checked());
    if (m_ModelTypeWMI) {
        SetControlsEnabled(false);
        m_Timer1.SetEnabled(true);
    }
}

void TMainForm::OnApplyClick(framework::Component*)
{
    if (m_ModelTypeWMI && !Confirmed()) {
        PutSlidersBack();
        return;
    }
    CWatchDogControl* control = GetWatchDogControl();
    // The running watchdog is ended before it is re-timed; the service program re-times it
    // itself.
    if (!m_ModelTypeWMI)
        control->Close();
    ShowSliderNumbers();
    const std::int32_t restart = m_RebootSlider->Position();
    const std::int32_t reload = m_ResetSlider->Position();
    (void)control->SetTime(restart, reload);
    const std::string failure = control->TimeFailure();
    // A refused countdown leaves the times that were running; Start takes those up again.
    control->Start();
    if (!failure.empty()) {
        PutSlidersBack();
        m_ApplyButton->SetEnabled(false);
        Tell("The new times could not be applied; the watchdog keeps the times it had.\n\n" + failure);
        return;
    }
    m_AppliedRebootTime = static_cast<std::uint32_t>(restart);
    m_AppliedResetTime = static_cast<std::uint32_t>(reload);
    UpdateResetScale();
    Redraw();
    WatchdogChanged();
    WriteSettings(m_LastState, SettingsWrite::StateAndTimes);
    m_ApplyButton->SetEnabled(false);
    if (m_ModelTypeWMI) {
        SetControlsEnabled(false);
        m_Timer1.SetEnabled(true);
    }
}

void TMainForm::SetControlsEnabled(bool enable)
{
    // Each control goes straight to its final state (see EnableControlsFor).
    const bool effective = enable && m_Switch->Checked();
    for (framework::BaseControl* control : m_Controls) {
        if (control == m_MinimizeButton)
            control->SetEnabled(true);
        else if (control == m_Switch || control == m_CloseButton || control == m_StartupCheck)
            control->SetEnabled(enable);
        else
            control->SetEnabled(effective);
    }
    if (SetExitEnabled)
        SetExitEnabled(enable);
}

void TMainForm::Timer1Timer(framework::Component*)
{
    if (++m_LockTicks < kLockTicks)
        return;
    m_LockTicks = 0;
    m_Timer1.SetEnabled(false);
    SetControlsEnabled(true);
}
