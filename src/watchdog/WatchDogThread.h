#pragma once

#include "platform/UiThread.h"
#include "tolv/BiosInterface.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

// What became of one write of the firmware's watchdog item.
enum class ItemWrite {
    Written,
    Missing,  // the firmware lists no watchdog item: nothing written, nothing of ours armed
    Refused,  // the library answered failure
    Busy,     // the write before did not end within the bound (a device call stuck in the kernel)
};

// The firmware's watchdog item as the UI thread and the kick thread share it. Writes go one at
// a time, each waiting a bounded time for the one before: a kick can then never land a countdown
// that SetTime has just replaced, and a write stuck in the kernel never holds the other thread
// for good.
class WatchdogItem {
public:
    using Lock = std::unique_lock<std::timed_mutex>;

    explicit WatchdogItem(std::chrono::milliseconds wait)
        : m_Wait(wait)
    {
    }

    // Waits up to the bound for the write in progress; the lock owns nothing when it did not end.
    [[nodiscard]] Lock Hold();
    // Writes seconds (0 switches the watchdog off) under a lock from Hold, looking the item up
    // afresh. When the write did not happen, failure (if given) says why in words: the
    // firmware's own, or empty when it gives none.
    ItemWrite Write(std::int32_t seconds, const Lock& held, std::string* failure = nullptr);
    // Hold and Write in one.
    ItemWrite Write(std::int32_t seconds, std::string* failure = nullptr);

    // Writes waiting in Hold at this moment (a test holding a write in the firmware looks
    // whether the next one waits for it).
    int Waiting() const { return m_Waiting.load(); }

private:
    const std::chrono::milliseconds m_Wait;
    std::timed_mutex m_Mutex;
    std::atomic<int> m_Waiting{0};
};

// The kick thread: arms the firmware with its timer value and writes it again whenever the
// reload period has passed. Every write (the first, the kicks, the 0 after Stop) runs here, at
// time-critical priority, on a small stack of its own, under the item's bounded hold; the thread
// never waits for the UI thread, which may be blocked (a message box, a busy settings store)
// while the countdown runs. It writes only with the item it is given and never reaches back into
// the backend.
class WatchDogThread : public platform::Thread {
public:
    // What the thread is doing; Close names it when the thread does not end in time.
    enum class Activity { Starting, Arming, Pausing, Kicking, Stopping, Holding, Ended };

    // Created suspended; Resume starts it. The item must outlive the thread.
    WatchDogThread(WatchdogItem& item, std::int32_t timerValue, std::int32_t reloadSeconds);
    ~WatchDogThread() override;

    // New times, written at the next pass and measured from there (or taken by the first write
    // when that has not run yet). Call while holding the item, right after writing the new
    // countdown under that same hold. Ends a Stop: the firmware counts down again. UI thread.
    void Retime(std::int32_t restartSeconds, std::int32_t reloadSeconds);
    // Cuts the pause short; the thread writes 0 and then holds until it is asked to end or given
    // new times. When the firmware refuses the 0, or new times came first, the thread goes on
    // kicking instead.
    void RequestStop();
    // Asks the thread to end (lifting a hold) and cuts its pause short.
    void RequestExit();
    // Withdraws an exit request the thread has not acted on yet, so that it goes on kicking;
    // false when it is already leaving or has ended.
    bool CancelExit();
    bool ExitRequested() const;

    Activity CurrentActivity() const { return m_Activity.load(); }
    // Why an error ended the thread, in words for the user; empty while it lives.
    std::string Failure() const;

protected:
    void Execute() override;

private:
    void KickUntilAskedToEnd();
    // The first write: arms the firmware.
    void Arm();
    // Takes up new times and writes the countdown under one hold of the item; false when the
    // item stayed busy (the next pass tries again).
    bool Kick();
    // Writes 0 and holds until asked to end, unless the 0 was refused or new times came first.
    void StopKicking();
    // Consumes an exit request: true from then on.
    bool Leaving();
    bool StopRequested() const;
    bool HasNewTimes() const;
    void TakeNewTimes();
    void Die(const std::string& what);

    WatchdogItem& m_Item;
    std::int32_t m_TimerValue;
    std::int32_t m_ReloadTime;
    std::uint32_t m_Threshold;
    std::atomic<Activity> m_Activity{Activity::Starting};

    mutable std::mutex m_StateMutex;
    std::condition_variable m_StateChanged;
    std::optional<std::pair<std::int32_t, std::int32_t>> m_NewTimes;
    bool m_StopRequested = false;
    bool m_ExitRequested = false;
    bool m_Leaving = false;
    std::string m_Failure;
};

// In words, for the trace log: "writing the countdown to the firmware".
const char* DescribeKickActivity(WatchDogThread::Activity activity);
