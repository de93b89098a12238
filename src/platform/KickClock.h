#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

// The clock of the watchdog's kick thread: a millisecond counter and the pause between passes.
namespace platform {

class KickClock {
public:
    // The caller's interruptible wait: waits up to the given time (honouring the thread's
    // suspension) and answers true when it was cut short.
    using Wait = std::function<bool(std::chrono::milliseconds)>;

    virtual ~KickClock() = default;
    // Milliseconds of a monotonic clock; wraps at 2^32, so only differences mean anything.
    virtual std::uint32_t NowMs() = 0;
    // The pause of one pass of the kick loop.
    virtual void Pause(std::chrono::milliseconds duration, const Wait& wait) = 0;
};

// The clock in use: steady_clock milliseconds and real waits, unless a test installed its own.
KickClock& GetKickClock();

// Tests only: installs a clock (null returns to the real one). Install it before any kick
// thread starts and remove it after the last has ended.
void SetKickClockForTesting(KickClock* clock);

} // namespace platform
