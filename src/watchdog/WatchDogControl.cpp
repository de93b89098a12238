#include "watchdog/WatchDogControl.h"

#include "platform/KickClock.h"
#include "platform/RealTime.h"

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;

// Owned by the running backend (Start creates it, Close destroys it). Deliberately a plain
// pointer: nothing at process exit may wait for a kick thread.
WatchDogThread* KickThread = nullptr;
std::atomic<std::uint8_t> StopFlag{0};
std::atomic<std::int32_t> ExitFlag{0};

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

constexpr auto CloseWait = 3000ms;

} // namespace

WatchDogControl::WatchDogControl()
{
    KickThread = nullptr;
    StopFlag = 0;
}

void WatchDogControl::Start()
{
    if (m_Running)
        return;
    (void)platform::LockProcessMemory();  // best effort: kicks are only less sure to be punctual
    if (!KickThread)
        KickThread = new WatchDogThread(m_RestartTime, m_ReloadTime);
    StopFlag = 0;
    KickThread->Resume();
    m_Running = true;
}

void WatchDogControl::Stop()
{
    if (!KickThread)
        return;
    StopFlag = 1;
    KickThread->Suspend();
}

void WatchDogControl::Close()
{
    if (!m_Running)
        return;
    if (WatchDogThread* thread = KickThread) {
        ExitFlag.exchange(1);
        thread->Wake();  // the exit is seen now, not after the rest of the pause
        StopFlag = 0;
        thread->Resume();
        if (!thread->WaitFor(CloseWait))
            thread->Terminate();
        delete thread;  // waits for the end, running the thread's calls to the UI thread
        KickThread = nullptr;
    }
    m_Running = false;
    m_CloseFailure.clear();
    // Hazard: this write switches the watchdog off; until it lands the countdown still runs.
    // Without the item nothing of ours is armed; a refused 0 means the device keeps counting
    // down, and left unkicked it would restart a healthy machine.
    if (tolv::ItemExists(WatchdogItemId)
        && !tolv::WriteItem(WatchdogItemId, 0, tolv::WatchdogWriteMode)) {
        m_CloseFailure = tolv::LastFirmwareError();
        if (m_CloseFailure.empty())
            m_CloseFailure = "The firmware refused to switch the watchdog off.";
        Start();
    }
}

int WatchDogControl::SetTime(std::int32_t restartSeconds, std::int32_t reloadSeconds)
{
    if (!WriteTimer(restartSeconds)) {
        m_TimeFailure = tolv::LastFirmwareError();
        if (m_TimeFailure.empty())
            m_TimeFailure = "The firmware has no watchdog item, or it refused the countdown.";
        return 0;
    }
    m_TimeFailure.clear();
    m_ReloadTime = reloadSeconds;
    m_RestartTime = restartSeconds;
    // The firmware now counts down the new time; a thread kicking at the old period could let
    // a shorter countdown run out on a healthy machine.
    if (KickThread)
        KickThread->Retime(restartSeconds, reloadSeconds);
    return 0;
}

bool WatchDogControl::WriteTimer(std::int32_t seconds)
{
    if (!tolv::ItemExists(WatchdogItemId))
        return false;
    return tolv::WriteItem(WatchdogItemId, static_cast<std::uint32_t>(seconds),
                           tolv::WatchdogWriteMode);
}

WatchDogThread::WatchDogThread(std::int32_t timerValue, std::int32_t reloadSeconds)
    : m_TimerValue(timerValue)
    , m_ReloadTime(reloadSeconds)
{
    SetTimeCritical();
}

WatchDogThread::~WatchDogThread()
{
    EndAndWait();
}

void WatchDogThread::Retime(std::int32_t restartSeconds, std::int32_t reloadSeconds)
{
    std::lock_guard lock(m_NewTimesMutex);
    m_NewTimes = std::pair{restartSeconds, reloadSeconds};
}

bool WatchDogThread::TakeNewTimes()
{
    std::optional<std::pair<std::int32_t, std::int32_t>> times;
    {
        std::lock_guard lock(m_NewTimesMutex);
        times.swap(m_NewTimes);
    }
    if (!times)
        return false;
    m_TimerValue = times->first;
    m_ReloadTime = times->second;
    return true;
}

void WatchDogThread::WriteTimerValue()
{
    (void)GetWatchDogControl()->WriteTimer(m_TimerValue);
}

void WatchDogThread::WriteOnUiThread(std::int32_t value)
{
    Synchronize([this, value] {
        m_TimerValue = value;
        WriteTimerValue();
    });
}

void WatchDogThread::Execute()
{
    tolv::AcpiThreadInit();
    // The first write arms the watchdog; times set since Start replace the ones this thread
    // was made with, or it would arm the firmware with a stale countdown.
    Synchronize([this] {
        (void)TakeNewTimes();
        WriteTimerValue();
    });
    platform::KickClock& clock = platform::GetKickClock();
    std::uint32_t threshold = KickThreshold(m_ReloadTime);
    std::uint32_t start = clock.NowMs();
    const platform::KickClock::Wait wait = [this](std::chrono::milliseconds timeout) {
        return Pause(timeout);
    };
    for (;;) {
        if (ExitFlag.exchange(0) != 0)
            break;
        clock.Pause(1000ms, wait);
        if (TakeNewTimes())
            threshold = KickThreshold(m_ReloadTime);
        const std::uint32_t elapsed = clock.NowMs() - start;
        if (elapsed >= threshold) {
            WriteTimerValue();
            start = clock.NowMs();
        }
        if (StopFlag.load() != 0)
            WriteOnUiThread(0);
    }
}
