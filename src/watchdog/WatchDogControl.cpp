#include "watchdog/WatchDogControl.h"

#include "platform/RealTime.h"
#include "system/common.h"

WatchDogControl::WatchDogControl(std::chrono::milliseconds closeWait)
    : m_CloseWait(closeWait)
    , m_Item(closeWait)
{
}

WatchDogControl::~WatchDogControl() = default;

void WatchDogControl::Start()
{
    if (m_Running)
        return;
    if (!m_Thread) {
        try {
            m_Thread = std::make_unique<WatchDogThread>(m_Item, m_RestartTime, m_ReloadTime);
        } catch (...) {
            // Hazard: SetTime has armed the countdown and no thread would kick it, so a healthy
            // machine would restart. Off is the lesser harm; the caller reports the failure.
            (void)m_Item.Write(0);
            throw;
        }
    }
    (void)platform::LockProcessMemory();  // best effort: kicks are only less sure to be punctual
    m_Thread->Resume();
    m_Running = true;
}

void WatchDogControl::Stop()
{
    if (m_Thread)
        m_Thread->RequestStop();
}

void WatchDogControl::Close()
{
    if (!m_Running)
        return;
    m_CloseFailure.clear();
    if (m_Thread && !EndKickThread())
        return;
    m_Running = false;
    // Hazard: this write switches the watchdog off; until it lands the countdown still runs.
    // Without the item nothing of ours is armed; a refused 0 means the device keeps counting
    // down, and left unkicked it would restart a healthy machine.
    std::string failure;
    const ItemWrite off = m_Item.Write(0, &failure);
    if (off == ItemWrite::Refused || off == ItemWrite::Busy) {
        m_CloseFailure =
            failure.empty() ? "The firmware refused to switch the watchdog off." : failure;
        Start();
    }
}

bool WatchDogControl::EndKickThread()
{
    m_Thread->RequestExit();
    // Waiting runs the thread's calls to the UI thread, so a pending first write cannot block
    // the end.
    if (!m_Thread->WaitFor(m_CloseWait) && m_Thread->CancelExit()) {
        const char* doing = DescribeKickActivity(m_Thread->CurrentActivity());
        const long long waited = static_cast<long long>(m_CloseWait.count());
        TraceLog("Watchdog: the kick thread did not end within %lld ms, it was %s; the watchdog "
                 "stays on and kicked",
                 waited, doing);
        m_CloseFailure = "The watchdog could not be switched off: its kick thread was still "
                         + std::string(doing) + " after " + std::to_string(waited)
                         + " ms. The watchdog stays on and is kicked as before.";
        return false;
    }
    // Ended, or leaving with nothing left to write: the wait for the end is short.
    m_Thread.reset();
    return true;
}

int WatchDogControl::SetTime(std::int32_t restartSeconds, std::int32_t reloadSeconds)
{
    // One hold for the write and the hand-over to the thread: a kick lands either before the
    // new countdown or with it, never after it with the old one.
    const WatchdogItem::Lock held = m_Item.Hold();
    std::string failure;
    if (m_Item.Write(restartSeconds, held, &failure) != ItemWrite::Written) {
        m_TimeFailure = failure.empty()
            ? "The firmware has no watchdog item, or it refused the countdown." : failure;
        return 0;
    }
    m_TimeFailure.clear();
    m_ReloadTime = reloadSeconds;
    m_RestartTime = restartSeconds;
    if (m_Thread)
        m_Thread->Retime(restartSeconds, reloadSeconds);
    return 0;
}

std::string WatchDogControl::KickFailure() const
{
    return m_Thread ? m_Thread->Failure() : std::string();
}

bool WatchDogControl::WriteTimer(std::int32_t seconds)
{
    return m_Item.Write(seconds) == ItemWrite::Written;
}
