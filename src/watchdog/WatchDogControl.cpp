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
    // The kick thread makes no calls to the UI thread; the wait still runs queued ones (it is
    // the platform's wait), which can only make the end come sooner.
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

std::int32_t WatchDogControl::StretchCountdown()
{
    if (!m_Running)
        return 0;
    // Hazard: a kick after the search would put the short countdown back.
    if (m_Thread && !EndKickThread())
        return 0;
    m_Running = false;
    return WriteLongestCountdown();
}

std::int32_t WatchDogControl::WriteLongestCountdown()
{
    // Drivers take countdowns up to a limit of their own and refuse longer ones (or round
    // them): the cap first, as most take it, then a binary search above the running countdown,
    // which the firmware took before. At most 17 writes, and one more to put back the longest
    // taken when the last was refused.
    const WatchdogItem::Lock held = m_Item.Hold();
    if (!held.owns_lock())
        return 0;
    std::int32_t longest = 0;
    bool lastTaken = false;
    std::int32_t low = m_RestartTime + 1;
    std::int32_t high = kLongestCountdown;
    for (std::int32_t next = high; low <= high; next = low + (high - low) / 2) {
        lastTaken = m_Item.Write(next, held) == ItemWrite::Written;
        if (lastTaken) {
            longest = next;
            low = next + 1;
        } else {
            high = next - 1;
        }
    }
    // Hazard: after a refused write the firmware may hold no countdown of ours at all.
    if (!lastTaken)
        lastTaken = m_Item.Write(longest ? longest : m_RestartTime, held) == ItemWrite::Written;
    return lastTaken ? longest : 0;
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
