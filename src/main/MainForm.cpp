// TMainForm: construction, the stored settings, the two transitions on and off, and the
// window's own commands.

#include "main/MainForm.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <thread>

#include "gui/controls/GsButton.h"
#include "gui/framework/FdWatch.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/GsImage.h"
#include "gui/controls/GsLabel.h"
#include "gui/controls/TolvScrollBar.h"
#include "gui/framework/Application.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/RealTime.h"
#include "platform/WindowMessages.h"
#include "readout/StoredSettings.h"
#include "system/WinRegistry.h"
#include "system/autostart.h"
#include "watchdog/CWatchDogControl.h"

namespace {

constexpr const char* kCaption = "TOLV Watchdog Timer";
constexpr const char* kSettingsKey = readout::kSettingsKey;
constexpr std::uint32_t kStateOn = 15;
constexpr std::uint32_t kStateOff = 0;

// The sliders' positions are signed 32-bit.
constexpr std::uint32_t kLongestPosition = std::numeric_limits<std::int32_t>::max();

// A stored time as a slider position: one beyond the positions stands at the slider's top.
std::int32_t SliderPosition(std::uint32_t stored)
{
    return static_cast<std::int32_t>(std::min(stored, kLongestPosition));
}

std::filesystem::path SettingsFile()
{
    return platform::RegistryFolder() / "HKEY_LOCAL_MACHINE" / "Software" / "TOLV"
        / "TOLV Watchdog Timer.reg";
}

} // namespace

TMainForm::TMainForm(MainFormOptions options)
    : m_Options(std::move(options))
    , m_RedrawRequest([this] { Redraw(); })
{
    SetCaption(kCaption);
    m_Timer1.SetInterval(1000);
    m_Timer1.SetEnabled(false);
    m_Timer1.SetOnTimer(framework::NotifyEvent(this, &TMainForm::Timer1Timer));

    // Nothing here waits on the kick thread's behalf, but a busy desktop must not starve the
    // window that switches the watchdog off before a sleep.
    platform::RaiseProcessPriority();

    m_LayeredWindow = std::make_unique<gs::TPerPixelLayeredWindowMaker>();
    m_LayeredWindow->SetUseConstantAlpha(1);
    m_LayeredWindow->SetConstantAlpha(255);
    m_LayeredWindow->SetUsePerPixelAlpha(1);

    // Above other windows, no taskbar entry, shown through the composed picture.
    std::uint32_t style = ExStyle() | framework::WS_EX_TOPMOST | framework::WS_EX_TOOLWINDOW
        | framework::WS_EX_LAYERED;
    SetExStyle(style & ~std::uint32_t{framework::WS_EX_APPWINDOW});

    m_ModelTypeWMI = IsModelTypeWMI();
    InitLimits();
    // A kick thread that died leaves the countdown running out: the user must know at once.
    SetKickFailureHandler([this](const std::string& failure) { Tell(failure); });
}

TMainForm::~TMainForm()
{
    SetKickFailureHandler({});
    m_Controls.clear();
    // Newest first: children and labels go before the background they were laid on.
    while (!m_Owned.empty())
        m_Owned.pop_back();
}

void TMainForm::InitLimits()
{
    m_MinGap = readout::MinimumGap(m_ModelTypeWMI);
    m_RebootMin = m_ModelTypeWMI ? 180 : 10;
    m_ResetMin = m_ModelTypeWMI ? 20 : 5;
    m_SavedResetTime = 40;
    m_SavedRebootTime = 60;
}

void TMainForm::DoCreate()
{
    CreateBackground();
    CreateWidgets();
    // Before anything can arm the watchdog: a signal that ends the session during start-up is
    // then only waiting for the event loop, which closes the watchdog for it; unwatched, it
    // would end the process with the countdown running and nobody to kick it.
    if (m_Options.systemEvents)
        StartPowerEvents();
    EnsureServiceRunning();
    LoadSettings();
    // Other programs find the window once it has taken the stored state.
    if (m_Options.systemEvents)
        StartMessageWindow();
    Form::DoCreate();
}

void TMainForm::Sleep(std::chrono::milliseconds period)
{
    if (m_Options.sleep)
        m_Options.sleep(period);
    else
        std::this_thread::sleep_for(period);
}

void TMainForm::Tell(const std::string& text)
{
    platform::ShowMessageBox(text, kCaption, platform::MB_OK | platform::MB_ICONWARNING);
}

void TMainForm::EnsureServiceRunning()
{
    if (!m_ModelTypeWMI)
        return;
    // The service program may itself be starting at log-on; give it time before starting a
    // second one, then give the one started here time to open its window.
    if (m_Options.hiddenSwitch)
        Sleep(m_Options.serviceWaitBefore);
    if (!platform::FindWindow("TMainForm", "WdtSVR")) {
        const std::filesystem::path service = platform::ProgramFolder() / "TolvWdtSVR";
        if (m_Options.startProgram)
            m_Options.startProgram(service);
        else
            (void)RunProgram(service, "", false, false); // RunProgram reports a failed start
    }
    Sleep(m_Options.hiddenSwitch ? m_Options.serviceWaitAfter : m_Options.serviceWaitShown);
}

void TMainForm::LoadSettings()
{
    RegistryKey key;
    bool on = false;
    if (key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting)
        && key.ReadDword("LAST_STATE", m_LastState)) {
        std::uint32_t restart = 0;
        std::uint32_t reload = 0;
        if (key.ReadDword("REBOOT_TIME", restart)) {
            (void)key.ReadDword("RESET_TIME", reload); // a missing reload time counts as 0
            m_RebootSlider->SetPosition(SliderPosition(restart));
            m_ResetSlider->SetPosition(SliderPosition(reload));
            m_SavedResetTime = reload;
            m_SavedRebootTime = restart;
        }
        // Values in range but beyond the sliders' ends are clamped by them.
        on = readout::CountsAsOn(m_LastState, restart, reload, m_MinGap);
        key.Flush();
    }
    key.Close();
    // Times that break the minimum gap bring the watchdog up off, and the switch says so.
    m_Switch->SetChecked(on);
    ApplySwitchState(on);
    if (on)
        m_ApplyButton->SetEnabled(false);
}

bool TMainForm::WatchdogOn() const
{
    return m_Switch && m_Switch->Checked();
}

void TMainForm::WatchdogChanged()
{
    if (OnWatchdogChange)
        OnWatchdogChange();
}

void TMainForm::EnableControlsFor(bool on)
{
    // Each control goes straight to its final state: one disabled for a moment would push the
    // keyboard focus off itself (the switch would lose it on every toggle).
    for (framework::BaseControl* control : m_Controls) {
        const bool windowControl = control == m_Switch || control == m_CloseButton || control == m_MinimizeButton;
        control->SetEnabled(on || windowControl);
    }
}

void TMainForm::ApplySwitchState(bool on)
{
    EnableControlsFor(on);
    if (on)
        (void)TurnOn();
    else
        TurnOff();
    WatchdogChanged();
}

bool TMainForm::Arm(std::int32_t restart, std::int32_t reload)
{
    CWatchDogControl* control = GetWatchDogControl();
    (void)control->SetTime(restart, reload);
    if (const std::string failure = control->TimeFailure(); !failure.empty()) {
        // Nothing was armed: the switch goes back to off and the store keeps what it held.
        m_Switch->SetChecked(false);
        EnableControlsFor(false);
        m_ArmFailed = true;
        WatchdogChanged();
        Tell("The watchdog could not be switched on.\n\n" + failure);
        return false;
    }
    control->Start();
    m_ArmFailed = false;
    WatchdogChanged();
    return true;
}

bool TMainForm::TurnOn()
{
    m_AppliedRebootTime = static_cast<std::uint32_t>(m_RebootSlider->Position());
    m_AppliedResetTime = static_cast<std::uint32_t>(m_ResetSlider->Position());
    ShowSliderNumbers();
    if (!Arm(static_cast<std::int32_t>(m_AppliedRebootTime), m_ResetSlider->Position()))
        return false;
    m_LastState = kStateOn;
    WriteSettings(kStateOn, SettingsWrite::StateAndTimes);
    m_ApplyButton->SetEnabled(false);
    return true;
}

void TMainForm::TurnOff()
{
    if (const std::string failure = CloseWatchdog(); !failure.empty()) {
        // The device keeps counting down whatever the program does; it stays on and kicked,
        // and the switch says so.
        m_Switch->SetChecked(true);
        for (framework::BaseControl* widget : m_Controls)
            widget->SetEnabled(true);
        m_ApplyButton->SetEnabled(false);
        Tell("This watchdog cannot be switched off while the machine runs; it stays on and is "
             "kept from running out.\n\n" + failure);
        return;
    }
    ShowSliderNumbers();
    m_ArmFailed = false;
    m_LastState = kStateOff;
    WriteSettings(kStateOff, SettingsWrite::StateOnly);
}

void TMainForm::WriteSettings(std::uint32_t lastState, SettingsWrite what)
{
    RegistryKey key;
    bool written = key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing);
    if (written) {
        written = key.WriteDword("LAST_STATE", lastState);
        if (what == SettingsWrite::StateAndTimes) {
            const auto restart = static_cast<std::uint32_t>(m_RebootSlider->Position());
            const auto reload = static_cast<std::uint32_t>(m_ResetSlider->Position());
            written = key.WriteDword("REBOOT_TIME", restart) && written;
            written = key.WriteDword("RESET_TIME", reload) && written;
            m_SavedResetTime = reload;
            m_SavedRebootTime = restart;
        }
        key.Flush();
    }
    if (written || m_StoreFailureTold)
        return;
    // The watchdog has already changed; the user must know it will not come back that way.
    m_StoreFailureTold = true;
    Tell("The settings could not be saved to " + SettingsFile().string() + ": "
         + DescribeRegistryResult(key.LastResult())
         + ".\n\nThe watchdog runs as shown, but the next start will not know it.");
}

void TMainForm::OnCloseClick(framework::Component*)
{
    if (const std::string failure = CloseWatchdog(); !failure.empty()) {
        StayForTheWatchdog(failure);
        return;
    }
    Hide();
    // After a failed arm the switch shows off, but the stored choice is still the user's.
    if (!m_ArmFailed)
        WriteSettings(m_Switch->Checked() ? kStateOn : kStateOff, SettingsWrite::StateOnly);
    Sleep(m_Options.closePause);
    Close();
}

void TMainForm::DoClose(framework::CloseAction& action)
{
    // A second Close after the handlers above finds nothing running. Any other close (the
    // window manager's) is refused while the watchdog cannot be switched off, unless the
    // program must end and has left the watchdog its longest countdown.
    if (!m_ModelTypeWMI) {
        if (const std::string failure = CloseWatchdog(); !failure.empty() && !m_MustEnd) {
            action = framework::caNone;
            StayForTheWatchdog(failure);
            return;
        }
    }
    Form::DoClose(action);
}

void TMainForm::StayForTheWatchdog(const std::string& failure)
{
    // Hazard: once the program ends nothing kicks the watchdog, and the machine restarts when
    // the countdown runs out. So the program stays, out of the way in the tray where it can.
    if (TrayHoldsIcon && TrayHoldsIcon())
        SetVisible(false);
    Tell("The watchdog cannot be switched off, so the program keeps running to kick it: if the "
         "program ended, the machine would restart when the countdown ran out.\n\n"
         + failure);
}

void TMainForm::OnMinimize(framework::Component*)
{
    MinimizeToTray();
}

void TMainForm::MinimizeToTray()
{
    // With an icon in the notification area the window is only hidden: iconified first, X
    // window managers map it back iconic and drop its stay-on-top state. Without the icon the
    // minimised window is the way back, so it must have a taskbar entry to be found by.
    if (TrayHoldsIcon && TrayHoldsIcon()) {
        SetVisible(false);
        return;
    }
    FollowTray(false);
    if (auto* app = framework::Application::Instance())
        app->Minimize();
}

void TMainForm::RestoreWindow()
{
    if (auto* app = framework::Application::Instance())
        app->Restore();
    Restore();
    SetVisible(true);
    // Without a tray the window keeps its taskbar entry: it is the one way back to it.
    if (TrayHoldsIcon && TrayHoldsIcon())
        FollowTray(true);
    BringToFront();
    Redraw();
}

void TMainForm::FollowTray(bool hasTray)
{
    const std::uint32_t tool = framework::WS_EX_TOOLWINDOW;
    const std::uint32_t app = framework::WS_EX_APPWINDOW;
    const std::uint32_t style = hasTray ? (ExStyle() | tool) & ~app : (ExStyle() | app) & ~tool;
    // Each write rebuilds the native window.
    if (style != ExStyle())
        SetExStyle(style);
}

void TMainForm::DoShow()
{
    Redraw();
    Form::DoShow();
}

void TMainForm::OnStartupCheckClick(framework::Component*)
{
    // The box shows what the registration tool really did, not what was asked of it.
    const bool wanted = m_StartupCheck->Checked();
    const std::string file = "TOLV-WatchDog-Timer.desktop";
    const std::string machine = (platform::AutostartFolder() / file).string();
    const std::string own = (platform::UserAutostartFolder().Folder() / file).string();
    if (wanted ? RegisterAutostartTask() : RemoveAutostartTask()) {
        // A system-wide entry that this user cannot remove still starts the program.
        if (wanted || !IsAutostartTaskRegistered())
            return;
        m_StartupCheck->SetChecked(true);
        Tell("Launch on startup stays on: the autostart entry " + machine + " starts the program "
             "for every user of this machine, and only an administrator can remove it.");
        return;
    }
    m_StartupCheck->SetChecked(!wanted);
    Tell(wanted ? "Launch on startup could not be turned on: TaskEnroll could write neither the "
                  "autostart entry for every user, " + machine + ", nor your own, " + own + "."
                : "Launch on startup could not be turned off: TaskEnroll could not remove the "
                  "autostart entry " + own + " or " + machine + ".");
}
