// TMainForm: sleep, wake, the end of the session and close requests from other programs. The
// watchdog is closed before the machine sleeps or the session ends and armed again when the
// machine wakes, only if it was on before and the user has not switched it off since.

#include "main/MainForm.h"

#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/TolvScrollBar.h"
#include "gui/framework/FdWatch.h"
#include "system/common.h"
#include "watchdog/CWatchDogControl.h"

namespace {

enum PowerBroadcast { PBT_APMSUSPEND = 4, PBT_APMRESUMECRITICAL = 6, PBT_APMRESUMESUSPEND = 7,
                      PBT_APMRESUMEAUTOMATIC = 18 };

} // namespace

std::string TMainForm::CloseWatchdog()
{
    CWatchDogControl* control = GetWatchDogControl();
    control->Close();
    std::string failure = control->CloseFailure();
    if (!failure.empty() && failure != m_TracedCloseFailure)
        TraceLog("The watchdog cannot be switched off and keeps counting down: %s", failure.c_str());
    m_TracedCloseFailure = failure;
    return failure;
}

void TMainForm::WMPowerBroadcast(int wParam)
{
    switch (wParam) {
    case PBT_APMRESUMESUSPEND:
    case PBT_APMRESUMECRITICAL:
    case PBT_APMRESUMEAUTOMATIC:
        TraceLog("EnterResume from S3 or S4...");
        // A watchdog the user had switched off, before the sleep or since, stays off.
        if (!m_ModelTypeWMI && m_OnBeforeSuspend && m_Switch->Checked())
            (void)Arm(m_RebootSlider->Position(), m_ResetSlider->Position());
        m_OnBeforeSuspend = false;
        break;
    case PBT_APMSUSPEND:
        TraceLog("Enter S3 or S4...");
        m_OnBeforeSuspend = m_Switch->Checked();
        if (!m_ModelTypeWMI)
            (void)CloseWatchdog();
        TraceLog("Close");
        break;
    default:
        break;
    }
}

void TMainForm::QueryEndSession()
{
    TraceLog("Main UI shut down");
    m_OnBeforeShutdown = m_Switch->Checked();
    if (!m_ModelTypeWMI)
        (void)CloseWatchdog();
    TraceLog("Main UI Message.Result = 0;");
}

void TMainForm::ShutdownCancelled()
{
    if (m_ModelTypeWMI || !m_OnBeforeShutdown)
        return;
    m_OnBeforeShutdown = false;
    // Switched off during logind's delay: the window and the store say off, and so must the
    // watchdog.
    if (!m_Switch->Checked())
        return;
    if (Arm(static_cast<std::int32_t>(m_AppliedRebootTime), static_cast<std::int32_t>(m_AppliedResetTime)))
        TraceLog("Shutdown cancelled: the watchdog is on again");
}

void TMainForm::OnPowerEvent(platform::PowerEvent event)
{
    switch (event) {
    case platform::PowerEvent::Suspend:
        WMPowerBroadcast(PBT_APMSUSPEND);
        break;
    case platform::PowerEvent::Resume:
        WMPowerBroadcast(PBT_APMRESUMESUSPEND);
        break;
    case platform::PowerEvent::Shutdown:
        QueryEndSession();
        break;
    case platform::PowerEvent::ShutdownCancelled:
        ShutdownCancelled();
        break;
    case platform::PowerEvent::SessionEnd:
        // SIGTERM, SIGHUP, SIGINT or SIGQUIT: the session ends now, and the program with it.
        m_MustEnd = true;
        QueryEndSession();
        LeaveTheLongestCountdown();
        Close();
        break;
    }
}

void TMainForm::WMCloseRequest()
{
    m_MustEnd = true;
    Hide();
    (void)CloseWatchdog();
    LeaveTheLongestCountdown();
    Sleep(m_Options.closePause);
    Close();
}

void TMainForm::LeaveTheLongestCountdown()
{
    CWatchDogControl* control = GetWatchDogControl();
    if (control->CloseFailure().empty())
        return;
    // Hazard: nothing kicks the watchdog once the program has ended; the restart can only be
    // put off, as far as the device lets it.
    const std::int32_t seconds = control->StretchCountdown();
    if (seconds > 0)
        TraceLog("The program ends with a watchdog that cannot be switched off: its countdown "
                 "was set to %d s, the longest it takes; the machine restarts when it runs out",
                 static_cast<int>(seconds));
    else
        TraceLog("The program ends with a watchdog that cannot be switched off and its countdown "
                 "could not be lengthened; the machine restarts when it runs out");
}

void TMainForm::OnWindowMessage(const platform::WindowMessage& message)
{
    if (message.message == kCloseRequest)
        WMCloseRequest();
    else if (message.message == kShowRequest)
        RestoreWindow();
}

void TMainForm::StartMessageWindow()
{
    m_MessageWindow = std::make_unique<platform::MessageWindow>("TMainForm", "TOLV Watchdog Timer");
    if (m_MessageWindow->Create()) {
        m_MessageWatch = std::make_unique<framework::FdWatch>(m_MessageWindow->Fd(), [this] {
            (void)m_MessageWindow->ReadPending(
                [this](const platform::WindowMessage& message) { OnWindowMessage(message); });
        });
    } else {
        TraceLog("Close requests cannot be received: %s", m_MessageWindow->LastError().c_str());
    }
}

void TMainForm::StartPowerEvents()
{
    m_PowerEvents = std::make_unique<platform::PowerEvents>(
        [this](platform::PowerEvent event) { OnPowerEvent(event); });
    m_PowerEvents->SetLog([](const std::string& line) { TraceLog("%s", line.c_str()); });
    if (!m_PowerEvents->Open())
        TraceLog("No sleep or shutdown events: %s", m_PowerEvents->Status().c_str());
    WatchPowerEvents();
}

void TMainForm::WatchPowerEvents()
{
    // The source's descriptors change when the bus goes away; the watches follow them, after
    // the handler that noticed has returned.
    const std::vector<int> fds = m_PowerEvents->Fds();
    if (fds == m_PowerFds)
        return;
    m_PowerFds = fds;
    m_PowerWatches.clear();
    for (int fd : fds) {
        m_PowerWatches.push_back(std::make_unique<framework::FdWatch>(fd, [this] {
            m_PowerEvents->Dispatch();
            m_RewatchPower.Request();
        }));
    }
}
