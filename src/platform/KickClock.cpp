#include "platform/KickClock.h"

#include <atomic>

namespace platform {

namespace {

class SteadyKickClock final : public KickClock {
public:
    std::uint32_t NowMs() override
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        // Truncated to 32 bits on purpose: callers use wrapping differences.
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }

    void Pause(std::chrono::milliseconds duration, const Wait& wait) override
    {
        (void)wait(duration);  // cut short or not, the pass goes on
    }
};

std::atomic<KickClock*> g_TestClock{nullptr};

} // namespace

KickClock& GetKickClock()
{
    // Never destroyed: a kick thread may still read it while the process exits.
    static KickClock* steady = new SteadyKickClock;
    KickClock* test = g_TestClock.load();
    return test ? *test : *steady;
}

void SetKickClockForTesting(KickClock* clock)
{
    g_TestClock = clock;
}

} // namespace platform
