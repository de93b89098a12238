#include "watchdog/WatchDogThread.h"

#include "platform/KickClock.h"
#include "watchdog/CWatchDogControl.h"

#include <algorithm>
#include <exception>

using namespace std::chrono_literals;

namespace {

// Sampled once a second, the kick falls on the first pass at or after reload - 0.5 s. Kept in
// 32 bits, as the elapsed time it is compared with. A reload below 1 s would wrap the threshold
// beyond any elapsed time and the thread would never kick, so it counts as 1 s (a kick every
// pass); one above the 32-bit millisecond range counts as the longest period that fits.
std::uint32_t KickThreshold(std::int32_t reloadSeconds)
{
    constexpr std::int32_t longest = 4'294'967;  // 4294967 * 1000 still fits in 32 bits
    const std::int32_t seconds = reloadSeconds < 1 ? 1 : std::min(reloadSeconds, longest);
    return static_cast<std::uint32_t>(seconds) * 1000u - 500u;
}

// The kick path needs little: firmware calls, a few small frames. A small stack also keeps a
// memory lock cheap and within a modest RLIMIT_MEMLOCK.
constexpr std::size_t KickStackBytes = 512 * 1024;

} // namespace

WatchdogItem::Lock WatchdogItem::Hold()
{
    ++m_Waiting;
    Lock lock(m_Mutex, std::defer_lock);
    (void)lock.try_lock_for(m_Wait);  // owns_lock() tells the caller
    --m_Waiting;
    return lock;
}

ItemWrite WatchdogItem::Write(std::int32_t seconds, const Lock& held, std::string* failure)
{
    if (!held.owns_lock()) {
        if (failure)
            *failure = "The watchdog firmware did not finish its previous write within "
                       + std::to_string(m_Wait.count()) + " ms.";
        return ItemWrite::Busy;
    }
    ItemWrite result = ItemWrite::Written;
    if (!tolv::ItemExists(tolv::WatchdogItemId))
        result = ItemWrite::Missing;
    else if (!tolv::WriteItem(tolv::WatchdogItemId, static_cast<std::uint32_t>(seconds),
                              tolv::WatchdogWriteMode))
        result = ItemWrite::Refused;
    // Read under the hold: the library keeps one last error for the whole process.
    if (result != ItemWrite::Written && failure)
        *failure = tolv::LastFirmwareError();
    return result;
}

ItemWrite WatchdogItem::Write(std::int32_t seconds, std::string* failure)
{
    const Lock held = Hold();
    return Write(seconds, held, failure);
}

const char* DescribeKickActivity(WatchDogThread::Activity activity)
{
    using Activity = WatchDogThread::Activity;
    switch (activity) {
    case Activity::Starting: return "starting up in the firmware library";
    case Activity::Arming: return "writing the first countdown to the firmware";
    case Activity::Pausing: return "pausing between kicks";
    case Activity::Kicking: return "writing the countdown to the firmware";
    case Activity::Stopping: return "writing 0 to the firmware";
    case Activity::Holding: return "holding after Stop";
    case Activity::Ended: return "ended";
    }
    return "in an unknown state";
}

WatchDogThread::WatchDogThread(WatchdogItem& item, std::int32_t timerValue,
                               std::int32_t reloadSeconds)
    : platform::Thread(KickStackBytes)
    , m_Item(item)
    , m_TimerValue(timerValue)
    , m_ReloadTime(reloadSeconds)
    , m_Threshold(KickThreshold(reloadSeconds))
{
    SetTimeCritical();
}

WatchDogThread::~WatchDogThread()
{
    RequestExit();
    EndAndWait();
}

void WatchDogThread::Retime(std::int32_t restartSeconds, std::int32_t reloadSeconds)
{
    {
        std::lock_guard lock(m_StateMutex);
        m_NewTimes = std::pair{restartSeconds, reloadSeconds};
        // The countdown has just been armed again: a thread held by Stop must kick it.
        m_StopRequested = false;
    }
    m_StateChanged.notify_all();
}

void WatchDogThread::RequestStop()
{
    {
        std::lock_guard lock(m_StateMutex);
        m_StopRequested = true;
    }
    Wake();
}

void WatchDogThread::RequestExit()
{
    {
        std::lock_guard lock(m_StateMutex);
        m_ExitRequested = true;
        m_StopRequested = false;
    }
    m_StateChanged.notify_all();
    Wake();
}

bool WatchDogThread::CancelExit()
{
    std::lock_guard lock(m_StateMutex);
    if (m_Leaving)
        return false;
    m_ExitRequested = false;
    return true;
}

bool WatchDogThread::ExitRequested() const
{
    std::lock_guard lock(m_StateMutex);
    return m_ExitRequested;
}

std::string WatchDogThread::Failure() const
{
    std::lock_guard lock(m_StateMutex);
    return m_Failure;
}

bool WatchDogThread::Leaving()
{
    std::lock_guard lock(m_StateMutex);
    if (m_ExitRequested)
        m_Leaving = true;
    return m_Leaving;
}

bool WatchDogThread::StopRequested() const
{
    std::lock_guard lock(m_StateMutex);
    return m_StopRequested;
}

bool WatchDogThread::HasNewTimes() const
{
    std::lock_guard lock(m_StateMutex);
    return m_NewTimes.has_value();
}

void WatchDogThread::TakeNewTimes()
{
    std::optional<std::pair<std::int32_t, std::int32_t>> times;
    {
        std::lock_guard lock(m_StateMutex);
        times.swap(m_NewTimes);
    }
    if (!times)
        return;
    m_TimerValue = times->first;
    m_ReloadTime = times->second;
    m_Threshold = KickThreshold(m_ReloadTime);
}

void WatchDogThread::Execute()
{
    try {
        KickUntilAskedToEnd();
    } catch (const std::exception& error) {
        Die(error.what());
    } catch (...) {
        Die("an unknown error");
    }
    m_Activity = Activity::Ended;
}

void WatchDogThread::KickUntilAskedToEnd()
{
    m_Activity = Activity::Starting;
    tolv::AcpiThreadInit();
    Arm();
    platform::KickClock& clock = platform::GetKickClock();
    std::uint32_t start = clock.NowMs();
    const platform::KickClock::Wait wait = [this](std::chrono::milliseconds timeout) {
        return Pause(timeout);
    };
    while (!Leaving()) {
        if (StopRequested()) {
            StopKicking();
            continue;
        }
        m_Activity = Activity::Pausing;
        clock.Pause(1000ms, wait);
        // New times are written at once: the new reload period counts from a kick of the new
        // countdown, never from one of the old.
        if ((HasNewTimes() || clock.NowMs() - start >= m_Threshold) && Kick())
            start = clock.NowMs();
    }
}

void WatchDogThread::Arm()
{
    m_Activity = Activity::Arming;
    const WatchdogItem::Lock held = m_Item.Hold();
    if (!held.owns_lock())
        return;  // the next pass writes the countdown
    // Times set since Start replace the ones this thread was made with, or it would arm the
    // firmware with a stale countdown.
    TakeNewTimes();
    (void)m_Item.Write(m_TimerValue, held);  // a failed first write is retried by the kicks
}

bool WatchDogThread::Kick()
{
    m_Activity = Activity::Kicking;
    const WatchdogItem::Lock held = m_Item.Hold();
    if (!held.owns_lock())
        return false;
    TakeNewTimes();
    (void)m_Item.Write(m_TimerValue, held);  // a refused kick is retried by the next one
    return true;
}

void WatchDogThread::StopKicking()
{
    m_Activity = Activity::Stopping;
    // Hazard: the countdown runs until this 0 lands, so the thread holds only after it. A
    // device that cannot be stopped refuses it, and an unkicked countdown would restart a
    // healthy machine: then the thread goes on kicking.
    ItemWrite off = ItemWrite::Refused;
    {
        const WatchdogItem::Lock held = m_Item.Hold();
        // SetTime may have armed the countdown again while this thread waited for the hold;
        // it withdrew the stop under that same hold, and its countdown must stay.
        if (held.owns_lock() && !StopRequested())
            return;
        off = m_Item.Write(0, held);
        if (off == ItemWrite::Written)
            m_TimerValue = 0;
    }
    std::unique_lock lock(m_StateMutex);
    if (off == ItemWrite::Refused || off == ItemWrite::Busy) {
        m_StopRequested = false;
        return;
    }
    m_Activity = Activity::Holding;
    m_StateChanged.wait(lock, [this] { return !m_StopRequested || m_ExitRequested; });
}

void WatchDogThread::Die(const std::string& what)
{
    const std::string failure =
        "The watchdog is no longer being kicked: its kick thread stopped (" + what
        + "). Unless the watchdog is switched off or set again, the machine restarts when the "
          "countdown runs out.";
    {
        std::lock_guard lock(m_StateMutex);
        m_Leaving = true;
        m_Failure = failure;
    }
    // Posted, not synchronised: the UI thread may be waiting for this thread's end inside a
    // call that a synchronised report would have to wait for.
    platform::PostToUiThread([failure] { ReportKickFailure(failure); });
}
