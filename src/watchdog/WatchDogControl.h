#pragma once

#include "platform/UiThread.h"
#include "tolv/BiosInterface.h"
#include "watchdog/CWatchDogControl.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>

using tolv::WatchdogItemId;

class WatchDogThread;

// State of the direct backend, one copy per process. KickThread is touched only by the UI
// thread; StopFlag is written by the UI thread and read by the kick thread once per pass;
// ExitFlag is set by Close and read-and-cleared by the kick thread, only with exchanges.
extern WatchDogThread* KickThread;
extern std::atomic<std::uint8_t> StopFlag;
extern std::atomic<std::int32_t> ExitFlag;

// The direct backend: writes the countdown into the firmware's watchdog item and keeps it from
// running out with a kick thread of its own.
class WatchDogControl : public CWatchDogControl {
public:
    WatchDogControl();

    // Only when not running: creates the kick thread (if none) with the stored times, clears
    // StopFlag and lets the thread run. Also locks the process's memory, once, when permitted.
    void Start() override;
    // Sets StopFlag and suspends the kick thread (it writes 0 and then holds at its next
    // pause). Does nothing without a kick thread.
    void Stop() override;
    // Only when running: ends and destroys the kick thread, then writes 0. When the firmware
    // refuses the 0 (a device that cannot be stopped), a new kick thread keeps the countdown
    // from running out, the backend stays running and CloseFailure says why.
    void Close() override;
    std::string CloseFailure() const override { return m_CloseFailure; }
    // Writes the restart countdown at once; only when that succeeds are both times stored, and
    // a running kick thread takes them up at its next pass. Answers 0.
    int SetTime(std::int32_t restartSeconds, std::int32_t reloadSeconds) override;
    std::string TimeFailure() const override { return m_TimeFailure; }
    bool WriteTimer(std::int32_t seconds) override;

    bool IsRunning() const { return m_Running; }
    std::int32_t ReloadTime() const { return m_ReloadTime; }
    std::int32_t RestartTime() const { return m_RestartTime; }

private:
    bool m_Running = false;
    std::int32_t m_ReloadTime = 55;
    std::int32_t m_RestartTime = 60;
    std::string m_TimeFailure;
    std::string m_CloseFailure;
};

// The kick thread: arms the firmware with its timer value and writes it again whenever the
// reload period has passed. Its first write and its writes of 0 run on the UI thread; the
// kicks run here, at time-critical priority.
class WatchDogThread : public platform::Thread {
public:
    // Created suspended; Resume starts it.
    WatchDogThread(std::int32_t timerValue, std::int32_t reloadSeconds);
    ~WatchDogThread() override;

    // New times for the running loop, taken up at its next pass (or by its first write when
    // that has not run yet). UI thread.
    void Retime(std::int32_t restartSeconds, std::int32_t reloadSeconds);

protected:
    void Execute() override;

private:
    // Stores value as the timer value and writes it, as a call on the UI thread.
    void WriteOnUiThread(std::int32_t value);
    // Through the shared controller; the result is not needed (a failed kick is retried by the
    // next one).
    void WriteTimerValue();
    // Applies times handed over by Retime; answers whether there were any.
    bool TakeNewTimes();

    std::int32_t m_TimerValue;
    std::int32_t m_ReloadTime;
    std::mutex m_NewTimesMutex;
    std::optional<std::pair<std::int32_t, std::int32_t>> m_NewTimes;
};

// Testing only: makes control the shared controller that GetWatchDogControl answers (null: the
// next call chooses a backend again) and hands back the previous one, which the caller then
// owns. The program itself never replaces its controller.
CWatchDogControl* ExchangeWatchDogControlForTesting(CWatchDogControl* control);
