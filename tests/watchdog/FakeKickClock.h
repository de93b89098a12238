#pragma once

#include "platform/KickClock.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>

// A kick clock whose time only moves in the kick thread's pauses: each pause of one second
// advances the fake time by one second at once, as long as the time stays within the limit the
// test allows. At the limit the thread parks in a real, interruptible wait, so the test decides
// how far the thread runs and Close can still cut the wait short.
//
// The time starts at a chosen millisecond count (near 2^32 to cross the counter's wrap).
class FakeKickClock : public platform::KickClock {
public:
    // exitRequested tells a parked thread to give up its pause even if nobody woke it, so a
    // lost wake-up fails the test that looks for it instead of hanging every other one.
    explicit FakeKickClock(std::uint32_t startMs, std::function<bool()> exitRequested)
        : m_StartMs(startMs)
        , m_ExitRequested(std::move(exitRequested))
    {
        platform::SetKickClockForTesting(this);
    }
    ~FakeKickClock() override { platform::SetKickClockForTesting(nullptr); }

    std::uint32_t NowMs() override
    {
        std::lock_guard lock(m_Mutex);
        return static_cast<std::uint32_t>(m_StartMs + m_Elapsed);
    }

    void Pause(std::chrono::milliseconds duration, const Wait& wait) override
    {
        if (wait(std::chrono::milliseconds(0)))
            return;  // a wake was pending: the pause is cut short before it began
        for (;;) {
            {
                std::lock_guard lock(m_Mutex);
                if (m_Elapsed + std::uint64_t(duration.count()) <= m_Limit) {
                    m_Elapsed += std::uint64_t(duration.count());
                    m_Parked = false;
                    ++m_Pauses;
                    m_Changed.notify_all();
                    return;
                }
                m_Parked = true;
                m_Changed.notify_all();
            }
            const bool woken = wait(std::chrono::milliseconds(50));
            if (woken || m_ExitRequested()) {
                std::lock_guard lock(m_Mutex);
                m_Parked = false;
                // Woken by the test (which moved the limit on) or by Close (which did not).
                if (m_Elapsed + std::uint64_t(duration.count()) > m_Limit)
                    return;
            }
        }
    }

    // Fake milliseconds since the clock's start.
    std::uint64_t Elapsed() const
    {
        std::lock_guard lock(m_Mutex);
        return m_Elapsed;
    }

    // Lets the kick thread run until the fake time reaches limitMs (since the start); wake
    // tells a parked thread to go on.
    void AllowUntil(std::uint64_t limitMs, const std::function<void()>& wake)
    {
        {
            std::lock_guard lock(m_Mutex);
            m_Limit = limitMs;
        }
        wake();
    }

    // Whether the thread is parked at the limit: it has done everything up to there.
    bool ParkedAt(std::uint64_t limitMs) const
    {
        std::lock_guard lock(m_Mutex);
        return m_Parked && m_Elapsed == limitMs && m_Limit == limitMs;
    }

    bool Parked() const
    {
        std::lock_guard lock(m_Mutex);
        return m_Parked;
    }

    int Pauses() const
    {
        std::lock_guard lock(m_Mutex);
        return m_Pauses;
    }

private:
    const std::uint64_t m_StartMs;
    const std::function<bool()> m_ExitRequested;
    mutable std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::uint64_t m_Elapsed = 0;
    std::uint64_t m_Limit = 0;
    bool m_Parked = false;
    int m_Pauses = 0;
};
