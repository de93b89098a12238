#pragma once

#include "FakeFirmware.h"
#include "FakeKickClock.h"
#include "platform/UiThread.h"
#include "tolv/BiosInterface.h"
#include "watchdog/WatchDogControl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Shared pieces of the direct backend's tests: a record of the firmware writes with the fake
// time they were made at, and a model of the firmware's countdown over that record.
namespace watchdogtest {

struct TimedWrite {
    std::uint64_t atMs;  // fake milliseconds since the clock's start
    std::uint32_t value;
    std::thread::id thread;
};

// Puts a copy of the firmware table in force in its place for as long as it lives, for a test to
// replace ordinals of (then Install); the replacements reach the object through Self() and the
// table below through m_Installed. Lives inside the lifetime of the table it wraps.
template <typename Derived>
class WrappedFirmware {
public:
    WrappedFirmware(const WrappedFirmware&) = delete;
    WrappedFirmware& operator=(const WrappedFirmware&) = delete;

protected:
    WrappedFirmware()
        : m_Installed(tolv::GetAcpiFunctions())
        , m_Table(*m_Installed)
    {
    }
    ~WrappedFirmware()
    {
        tolv::SetAcpiFunctionsForTesting(m_Installed);
        s_Instance = nullptr;
    }
    void Install()
    {
        s_Instance = static_cast<Derived*>(this);
        tolv::SetAcpiFunctionsForTesting(&m_Table);
    }
    static Derived& Self() { return *s_Instance; }

    const tolv::AcpiFunctions* m_Installed;
    tolv::AcpiFunctions m_Table;

private:
    static inline Derived* s_Instance = nullptr;
};

// Wraps the installed fake firmware's write so each write of the watchdog item is stamped with
// the fake clock's time. Lives inside the fake firmware's lifetime.
class WriteTimes : public WrappedFirmware<WriteTimes> {
public:
    explicit WriteTimes(FakeKickClock& clock)
        : m_Clock(clock)
    {
        m_Table.Ordinal2 = &Write;
        Install();
    }

    std::vector<TimedWrite> Writes() const
    {
        std::lock_guard lock(m_Mutex);
        return m_Writes;
    }

private:
    static std::int32_t Write(std::uint32_t item, std::uint32_t value, std::uint32_t mode)
    {
        WriteTimes& self = Self();
        const std::int32_t result = self.m_Installed->Ordinal2(item, value, mode);
        if (item == tolv::WatchdogItemId && result != 0) {
            std::lock_guard lock(self.m_Mutex);
            self.m_Writes.push_back({self.m_Clock.Elapsed(), value, std::this_thread::get_id()});
        }
        return result;
    }

    FakeKickClock& m_Clock;
    mutable std::mutex m_Mutex;
    std::vector<TimedWrite> m_Writes;
};

// Holds every thread that sets up the firmware library (the kick thread's first step, before
// its first write) until Release. Lives inside the lifetime of the table it wraps.
class HeldThreadStart : public WrappedFirmware<HeldThreadStart> {
public:
    HeldThreadStart()
    {
        m_Table.Ordinal1 = &ThreadInit;
        Install();
    }
    ~HeldThreadStart() { Release(); }

    // Whether a thread has come to the hold within a generous bound.
    bool WaitUntilHeld()
    {
        std::unique_lock lock(m_Mutex);
        return m_Changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_Held > 0; });
    }
    void Release()
    {
        {
            std::lock_guard lock(m_Mutex);
            m_Released = true;
        }
        m_Changed.notify_all();
    }

private:
    static void ThreadInit()
    {
        HeldThreadStart& self = Self();
        {
            std::unique_lock lock(self.m_Mutex);
            ++self.m_Held;
            self.m_Changed.notify_all();
            self.m_Changed.wait(lock, [&] { return self.m_Released; });
        }
        self.m_Installed->Ordinal1();
    }

    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    int m_Held = 0;
    bool m_Released = false;
};

// A driver with a longest countdown of its own: the watchdog item refuses any longer one (as
// the device refuses it with EINVAL) without passing it on, so the firmware below only sees the
// countdowns it took. Every countdown asked for is kept, taken or not. Lives inside the
// lifetime of the table it wraps.
class CountdownLimit : public WrappedFirmware<CountdownLimit> {
public:
    explicit CountdownLimit(std::uint32_t longest)
        : m_Longest(longest)
    {
        m_Table.Ordinal2 = &Write;
        Install();
    }

    std::vector<std::uint32_t> Asked() const
    {
        std::lock_guard lock(m_Mutex);
        return m_Asked;
    }

private:
    static std::int32_t Write(std::uint32_t item, std::uint32_t value, std::uint32_t mode)
    {
        CountdownLimit& self = Self();
        if (item == tolv::WatchdogItemId) {
            std::lock_guard lock(self.m_Mutex);
            self.m_Asked.push_back(value);
            if (value > self.m_Longest)
                return 0;
        }
        return self.m_Installed->Ordinal2(item, value, mode);
    }

    const std::uint32_t m_Longest;
    mutable std::mutex m_Mutex;
    std::vector<std::uint32_t> m_Asked;
};

// The firmware's countdown over a record of writes: the fake time at which an armed countdown
// first ran out before the next write (or before endMs), if ever. A write of 0 disarms.
inline std::optional<std::uint64_t> FirstExpiry(const std::vector<TimedWrite>& writes,
                                                std::uint64_t endMs)
{
    std::optional<std::uint64_t> runsOutAt;
    for (const TimedWrite& write : writes) {
        if (runsOutAt && write.atMs > *runsOutAt)
            return runsOutAt;
        runsOutAt.reset();
        if (write.value != 0)
            runsOutAt = write.atMs + std::uint64_t(write.value) * 1000;
    }
    if (runsOutAt && endMs > *runsOutAt)
        return runsOutAt;
    return std::nullopt;
}

// Runs the UI thread's queue until done() holds; false when it did not within a generous
// real-time bound (a hang shows as a failure, not a stuck test).
inline bool PumpUntil(const std::function<bool()>& done)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        if (!platform::ProcessSynchronizeQueue())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// A direct backend installed as the shared controller over a fake firmware and a fake clock.
class DirectBackendTest : public testing::Test {
protected:
    explicit DirectBackendTest(std::uint32_t clockStartMs = 0,
                               std::chrono::milliseconds closeWait = std::chrono::seconds(3))
        : m_Clock(clockStartMs, [this] { return ExitRequested(); })
        , m_Times(m_Clock)
    {
        m_Control = std::make_unique<WatchDogControl>(closeWait);
        m_Previous = ExchangeWatchDogControlForTesting(m_Control.get());
    }

    ~DirectBackendTest() override
    {
        m_Control->Close();
        ExchangeWatchDogControlForTesting(m_Previous);
    }

    // Lets the kick thread run to fake time limitMs and waits until it has done all the work
    // up to there.
    [[nodiscard]] bool RunUntil(std::uint64_t limitMs)
    {
        m_Clock.AllowUntil(limitMs, [this] { WakeThread(); });
        return PumpUntil([&] { return m_Clock.ParkedAt(limitMs); });
    }

    void WakeThread() const
    {
        if (WatchDogThread* thread = m_Control->KickThread())
            thread->Wake();
    }

    // Asked from the kick thread in its pause, which the thread it asks about is in.
    bool ExitRequested() const
    {
        const WatchDogThread* thread = m_Control ? m_Control->KickThread() : nullptr;
        return thread && thread->ExitRequested();
    }

    WatchDogThread::Activity Activity() const
    {
        const WatchDogThread* thread = m_Control->KickThread();
        return thread ? thread->CurrentActivity() : WatchDogThread::Activity::Ended;
    }

    std::vector<std::uint64_t> WriteTimesOf(std::uint32_t value) const
    {
        std::vector<std::uint64_t> times;
        for (const TimedWrite& write : m_Times.Writes()) {
            if (write.value == value)
                times.push_back(write.atMs);
        }
        return times;
    }

    testsupport::FakeFirmware m_Firmware;
    FakeKickClock m_Clock;
    WriteTimes m_Times;
    std::unique_ptr<WatchDogControl> m_Control;
    CWatchDogControl* m_Previous = nullptr;
};

} // namespace watchdogtest
