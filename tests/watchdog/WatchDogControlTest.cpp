#include "WatchDogTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>

using namespace std::chrono_literals;
using testing::ElementsAre;
using watchdogtest::DirectBackendTest;
using watchdogtest::FirstExpiry;
using watchdogtest::PumpUntil;

namespace {

using WatchDogControlDirect = DirectBackendTest;

TEST_F(WatchDogControlDirect, StartWithoutSetTimeArmsWith60AndKicksEvery55Seconds)
{
    m_Control->Start();
    ASSERT_TRUE(RunUntil(170'000));
    EXPECT_THAT(m_Firmware.WatchdogValues(), ElementsAre(60u, 60u, 60u, 60u));
    EXPECT_THAT(WriteTimesOf(60), ElementsAre(0u, 55'000u, 110'000u, 165'000u));
    EXPECT_EQ(FirstExpiry(m_Times.Writes(), 170'000), std::nullopt);
    for (const auto& write : m_Firmware.Writes())
        EXPECT_EQ(write.mode, 2u);
}

TEST_F(WatchDogControlDirect, TheFirstWriteAndTheKicksRunOnTheKickThread)
{
    m_Control->Start();
    ASSERT_TRUE(RunUntil(56'000));
    const std::thread::id kickThread = m_Control->KickThread()->Id();
    const auto writes = m_Times.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].thread, kickThread);
    EXPECT_EQ(writes[1].thread, kickThread);
    EXPECT_NE(kickThread, std::this_thread::get_id());
    EXPECT_EQ(m_Firmware.ThreadInitCalls(), 1);
}

TEST_F(WatchDogControlDirect, StartTwiceMakesOneThread)
{
    m_Control->Start();
    WatchDogThread* first = m_Control->KickThread();
    ASSERT_NE(first, nullptr);
    m_Control->Start();
    EXPECT_EQ(m_Control->KickThread(), first);
    ASSERT_TRUE(RunUntil(0));
    EXPECT_EQ(m_Firmware.ThreadInitCalls(), 1);
    EXPECT_THAT(m_Firmware.WatchdogValues(), ElementsAre(60u));
}

TEST_F(WatchDogControlDirect, CloseTwiceWritesZeroOnce)
{
    m_Control->Start();
    ASSERT_TRUE(RunUntil(2'000));
    m_Control->Close();
    EXPECT_FALSE(m_Control->IsRunning());
    EXPECT_EQ(m_Control->KickThread(), nullptr);
    m_Control->Close();
    EXPECT_THAT(m_Firmware.WatchdogValues(), ElementsAre(60u, 0u));
}

TEST_F(WatchDogControlDirect, CloseWhileIdleDoesNothing)
{
    m_Control->Close();
    EXPECT_EQ(m_Firmware.WriteCount(), 0u);
    EXPECT_EQ(m_Firmware.ThreadInitCalls(), 0);
}

TEST_F(WatchDogControlDirect, CloseRightAfterStartCompletesWithoutAnyPumping)
{
    // Close comes before the thread's first write: the thread makes it on its own, without
    // the UI thread (which is inside Close), then ends, and Close switches the watchdog off.
    m_Control->Start();
    m_Control->Close();
    EXPECT_EQ(m_Control->KickThread(), nullptr);
    EXPECT_FALSE(m_Control->IsRunning());
    const auto writes = m_Times.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].value, 60u);
    EXPECT_EQ(writes[1].value, 0u);
    EXPECT_NE(writes[0].thread, std::this_thread::get_id());
}

TEST_F(WatchDogControlDirect, StartAfterCloseRunsAFreshThread)
{
    m_Control->Start();
    ASSERT_TRUE(RunUntil(1'000));
    m_Control->Close();
    m_Control->Start();
    // The exit request of the first Close must not end the second thread.
    ASSERT_TRUE(RunUntil(3'000));
    EXPECT_TRUE(m_Control->IsRunning());
    EXPECT_EQ(m_Firmware.ThreadInitCalls(), 2);
    EXPECT_THAT(m_Firmware.WatchdogValues(), ElementsAre(60u, 0u, 60u));
}

TEST_F(WatchDogControlDirect, AFailedSetTimeKeepsTheOldTimesAndStartArmsWith60)
{
    m_Firmware.SetWriteResult(false);
    m_Control->SetTime(30, 25);
    EXPECT_EQ(m_Control->RestartTime(), 60);
    EXPECT_EQ(m_Control->ReloadTime(), 55);
    m_Firmware.SetWriteResult(true);
    m_Control->Start();
    ASSERT_TRUE(RunUntil(60'000));
    EXPECT_THAT(m_Firmware.WatchdogValues(), ElementsAre(30u, 60u, 60u));
    EXPECT_THAT(WriteTimesOf(60), ElementsAre(0u, 55'000u));
}

TEST_F(WatchDogControlDirect, AMissingItemIsNeverWrittenButStartStillRunsTheThread)
{
    m_Firmware.SetWatchdogItemPresent(false);
    EXPECT_FALSE(m_Control->WriteTimer(60));
    m_Control->SetTime(30, 25);
    EXPECT_EQ(m_Control->RestartTime(), 60);
    m_Control->Start();
    ASSERT_TRUE(RunUntil(120'000));
    EXPECT_NE(m_Control->KickThread(), nullptr);
    EXPECT_EQ(m_Firmware.ThreadInitCalls(), 1);
    EXPECT_EQ(m_Firmware.Calls(2), 0);
    m_Control->Close();
    EXPECT_FALSE(m_Control->IsRunning());
    EXPECT_EQ(m_Firmware.Calls(2), 0);
}

TEST_F(WatchDogControlDirect, AReloadOfOneSecondKicksOnEveryPass)
{
    m_Control->SetTime(3, 1);
    m_Control->Start();
    ASSERT_TRUE(RunUntil(10'000));
    EXPECT_THAT(WriteTimesOf(3), ElementsAre(0u, 0u, 1'000u, 2'000u, 3'000u, 4'000u, 5'000u,
                                             6'000u, 7'000u, 8'000u, 9'000u, 10'000u));
}

TEST_F(WatchDogControlDirect, AReloadBelowOneSecondStillKicksOnEveryPass)
{
    for (const std::int32_t reload : {0, -5}) {
        m_Control->SetTime(3, reload);
        m_Control->Start();
        const std::uint64_t from = m_Clock.Elapsed();
        ASSERT_TRUE(RunUntil(from + 5'000)) << reload;
        m_Control->Close();
        EXPECT_EQ(FirstExpiry(m_Times.Writes(), from + 5'000), std::nullopt) << reload;
    }
    EXPECT_THAT(WriteTimesOf(3), ElementsAre(0u, 0u, 1'000u, 2'000u, 3'000u, 4'000u, 5'000u,
                                             5'000u, 5'000u, 6'000u, 7'000u, 8'000u, 9'000u,
                                             10'000u));
}

TEST_F(WatchDogControlDirect, SetTimeWhileRunningRetimesTheKickThread)
{
    // SetTime writes at once; the thread writes the new countdown at its next pass and counts
    // the new period from that kick, not from the last one of the old period.
    m_Control->Start();
    ASSERT_TRUE(RunUntil(10'000));
    m_Control->SetTime(30, 25);
    ASSERT_TRUE(RunUntil(130'000));
    EXPECT_EQ(FirstExpiry(m_Times.Writes(), 130'000), std::nullopt);
    EXPECT_THAT(WriteTimesOf(30), ElementsAre(10'000u, 11'000u, 36'000u, 61'000u, 86'000u,
                                              111'000u));
    EXPECT_THAT(WriteTimesOf(60), ElementsAre(0u));
}

TEST_F(WatchDogControlDirect, SetTimeBeforeTheFirstWriteArmsWithTheNewCountdown)
{
    // Start then SetTime before the thread's first write: that write must not put the old
    // countdown back into the firmware.
    watchdogtest::HeldThreadStart held;
    m_Control->SetTime(60, 55);
    m_Control->Start();
    ASSERT_TRUE(held.WaitUntilHeld());
    m_Control->SetTime(30, 25);
    held.Release();
    ASSERT_TRUE(RunUntil(60'000));
    EXPECT_THAT(m_Firmware.WatchdogValues(), ElementsAre(60u, 30u, 30u, 30u, 30u));
    EXPECT_THAT(WriteTimesOf(30), ElementsAre(0u, 0u, 25'000u, 50'000u));
}

TEST_F(WatchDogControlDirect, StopWritesZeroThenHoldsAndCloseEndsTheThread)
{
    m_Control->Start();
    ASSERT_TRUE(RunUntil(5'000));
    m_Control->Stop();
    EXPECT_TRUE(m_Control->IsRunning());
    // Stop cuts the pause short: the 0 lands at once, then the thread holds.
    ASSERT_TRUE(PumpUntil([&] { return Activity() == WatchDogThread::Activity::Holding; }));
    EXPECT_THAT(m_Firmware.WatchdogValues(), ElementsAre(60u, 0u));
    EXPECT_THAT(WriteTimesOf(0), ElementsAre(5'000u));

    // Held: time may move on, the thread makes no pass.
    const int passes = m_Clock.Pauses();
    m_Clock.AllowUntil(120'000, [this] { WakeThread(); });
    m_Control->Start();  // running: does nothing, in particular does not lift the hold
    EXPECT_EQ(Activity(), WatchDogThread::Activity::Holding);

    m_Control->Close();
    EXPECT_EQ(m_Clock.Pauses(), passes);
    EXPECT_EQ(m_Clock.Elapsed(), 5'000u);
    EXPECT_EQ(m_Control->KickThread(), nullptr);
    EXPECT_FALSE(m_Control->IsRunning());
    EXPECT_THAT(m_Firmware.WatchdogValues(), ElementsAre(60u, 0u, 0u));
}

TEST_F(WatchDogControlDirect, StopWithoutAThreadDoesNothing)
{
    m_Control->Stop();
    EXPECT_EQ(m_Control->KickThread(), nullptr);
    EXPECT_EQ(m_Firmware.WriteCount(), 0u);
    m_Control->Start();
    ASSERT_TRUE(RunUntil(55'000));
    EXPECT_THAT(m_Firmware.WatchdogValues(), ElementsAre(60u, 60u));
}

TEST_F(WatchDogControlDirect, WriteTimerListsTheItemAfreshAndWritesWithMode2)
{
    EXPECT_TRUE(m_Control->WriteTimer(42));
    EXPECT_TRUE(m_Control->WriteTimer(-1));
    const int listings = m_Firmware.Calls(5);
    EXPECT_EQ(listings, 2);
    const auto writes = m_Firmware.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].item, 0x11060007u);
    EXPECT_EQ(writes[0].value, 42u);
    EXPECT_EQ(writes[0].mode, 2u);
    EXPECT_EQ(writes[1].value, 0xFFFFFFFFu);
    m_Firmware.SetWriteResult(false);
    EXPECT_FALSE(m_Control->WriteTimer(42));
}

// A clock counting down a little before the 32-bit millisecond counter wraps.
class WatchDogControlNearTheWrap : public DirectBackendTest {
protected:
    WatchDogControlNearTheWrap()
        : DirectBackendTest(0xFFFFFFFFu - 20'000u)
    {
    }
};

TEST_F(WatchDogControlNearTheWrap, KicksKeepTheirPeriodAcrossTheWrap)
{
    m_Control->Start();
    ASSERT_TRUE(RunUntil(170'000));
    EXPECT_THAT(WriteTimesOf(60), ElementsAre(0u, 55'000u, 110'000u, 165'000u));
}

// The real clock's timing, with every pause recorded: whether Close cut it short.
class RecordingClock : public platform::KickClock {
public:
    RecordingClock() { platform::SetKickClockForTesting(this); }
    ~RecordingClock() override { platform::SetKickClockForTesting(nullptr); }

    std::uint32_t NowMs() override { return m_Real.NowMs(); }
    void Pause(std::chrono::milliseconds duration, const Wait& wait) override
    {
        {
            std::lock_guard lock(m_Mutex);
            ++m_Entered;
        }
        const bool woken = wait(duration);
        std::lock_guard lock(m_Mutex);
        m_Woken.push_back(woken);
    }

    int Entered()
    {
        std::lock_guard lock(m_Mutex);
        return m_Entered;
    }
    std::vector<bool> Woken()
    {
        std::lock_guard lock(m_Mutex);
        return m_Woken;
    }

private:
    // The production clock, restored while this one is constructed.
    struct Real {
        std::uint32_t NowMs()
        {
            return static_cast<std::uint32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count());
        }
    } m_Real;
    std::mutex m_Mutex;
    int m_Entered = 0;
    std::vector<bool> m_Woken;
};

TEST(WatchDogControlClose, CutsTheKickThreadsPauseShort)
{
    testsupport::FakeFirmware firmware;
    RecordingClock clock;
    WatchDogControl control;
    CWatchDogControl* previous = ExchangeWatchDogControlForTesting(&control);
    control.Start();
    ASSERT_TRUE(PumpUntil([&] { return clock.Entered() == 1; }));
    control.Close();
    ExchangeWatchDogControlForTesting(previous);
    // Only the pause that was running when Close came, and Close ended it.
    EXPECT_EQ(clock.Woken(), std::vector<bool>{true});
    EXPECT_THAT(firmware.WatchdogValues(), ElementsAre(60u, 0u));
}

TEST(WatchDogControlConstruction, HasNoThreadAndHoldsTheDefaults)
{
    WatchDogControl control;
    EXPECT_EQ(control.KickThread(), nullptr);
    EXPECT_FALSE(control.IsRunning());
    EXPECT_EQ(control.RestartTime(), 60);
    EXPECT_EQ(control.ReloadTime(), 55);
}

} // namespace

namespace {

// A device that cannot be stopped answers the 0 with failure: the backend says why and keeps
// the countdown kicked, so a healthy machine is never restarted by a watchdog left alone.
TEST_F(WatchDogControlDirect, AWatchdogThatRefusesToStopIsKeptKicked)
{
    m_Control->Start();
    ASSERT_TRUE(RunUntil(0));
    m_Firmware.SetRefuseOff(true);
    tolv::SetLastFirmwareErrorForTesting("Watchdog device /dev/watchdog cannot be switched off (nowayout is set)");
    m_Control->Close();
    EXPECT_TRUE(m_Control->IsRunning());
    EXPECT_EQ(m_Control->CloseFailure(), "Watchdog device /dev/watchdog cannot be switched off (nowayout is set)");
    ASSERT_TRUE(RunUntil(170'000));
    EXPECT_EQ(FirstExpiry(m_Times.Writes(), 170'000), std::nullopt);
    EXPECT_GE(WriteTimesOf(60).size(), 4u);

    m_Firmware.SetRefuseOff(false);
    m_Control->Close();
    EXPECT_FALSE(m_Control->IsRunning());
    EXPECT_TRUE(m_Control->CloseFailure().empty());
    EXPECT_EQ(m_Firmware.WatchdogValues().back(), 0u);
    tolv::SetLastFirmwareErrorForTesting("");
}

} // namespace
