#include "TestSupport.h"
#include "WatchDogTestSupport.h"
#include "system/common.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

// The kick thread's life inside the direct backend: writes that overlap, Stop at any moment, an
// error that ends the thread, and a thread that does not end when Close asks.
namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;
using testing::HasSubstr;
using watchdogtest::DirectBackendTest;
using watchdogtest::FirstExpiry;
using watchdogtest::PumpUntil;
using Activity = WatchDogThread::Activity;

std::string TraceLogText()
{
    return testsupport::ReadFile(GetLogFolder() + "trace.log");
}

using KickThreadLife = DirectBackendTest;

TEST_F(KickThreadLife, ACountdownSetDuringAKickIsTheOneLeftInTheFirmware)
{
    // Countdown 3 s kicked every 2 s; SetTime(20, 10) comes while the kick at 2 s, which
    // already read 3, is still inside the firmware.
    m_Control->SetTime(3, 2);
    m_Control->Start();
    ASSERT_TRUE(RunUntil(1'000));
    m_Firmware.HoldNextWrite();
    m_Clock.AllowUntil(2'000, [this] { WakeThread(); });
    ASSERT_TRUE(m_Firmware.WaitForHeldWrite(60s));

    // The kick lands once SetTime waits for it, or after SetTime if SetTime does not wait.
    std::atomic<bool> setTimeReturned{false};
    std::thread releaser([&] {
        while (m_Control->Item().Waiting() == 0 && !setTimeReturned)
            std::this_thread::yield();
        m_Firmware.ReleaseHeldWrite();
    });
    m_Control->SetTime(20, 10);
    setTimeReturned = true;
    releaser.join();
    EXPECT_TRUE(m_Control->TimeFailure().empty());
    EXPECT_EQ(m_Firmware.WatchdogValues().back(), 20u);

    // The thread takes the new times up at its next pass with a kick, and counts from there.
    ASSERT_TRUE(PumpUntil([&] { return m_Clock.ParkedAt(2'000); }));
    ASSERT_TRUE(RunUntil(40'000));
    EXPECT_EQ(FirstExpiry(m_Times.Writes(), 40'000), std::nullopt);
    EXPECT_THAT(WriteTimesOf(3), ElementsAre(0u, 0u, 2'000u));
    EXPECT_THAT(WriteTimesOf(20), ElementsAre(2'000u, 3'000u, 13'000u, 23'000u, 33'000u));
}

// Waits until done() holds while the calling (UI) thread serves none of the calls queued for
// it, as when it is blocked in a message box or on a busy settings store; false when it did not
// within a real-time bound that only keeps a regression from hanging the suite.
bool WaitWithoutServingTheUiThread(const std::function<bool()>& done)
{
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        std::this_thread::sleep_for(200us);
    }
    return true;
}

TEST_F(KickThreadLife, ArmsKicksAndStopsOnItsOwnWhileTheUiThreadIsBlocked)
{
    m_Control->SetTime(20, 10);
    m_Control->Start();
    m_Clock.AllowUntil(45'000, [this] { WakeThread(); });
    ASSERT_TRUE(WaitWithoutServingTheUiThread([&] { return m_Clock.ParkedAt(45'000); }))
        << "the kick thread waited for the UI thread; writes: " << m_Times.Writes().size();
    EXPECT_EQ(FirstExpiry(m_Times.Writes(), 45'000), std::nullopt);
    EXPECT_THAT(WriteTimesOf(20), ElementsAre(0u, 0u, 10'000u, 20'000u, 30'000u, 40'000u));

    m_Control->Stop();
    ASSERT_TRUE(WaitWithoutServingTheUiThread([&] { return Activity() == Activity::Holding; }))
        << "the write of 0 waited for the UI thread";
    EXPECT_EQ(m_Firmware.WatchdogValues().back(), 0u);
}

TEST_F(KickThreadLife, KicksWithTheItemItWasHandedWhicheverControllerIsShared)
{
    CWatchDogControl elsewhere;  // writes nothing
    ExchangeWatchDogControlForTesting(&elsewhere);
    m_Control->Start();
    const bool ran = RunUntil(110'000);
    ExchangeWatchDogControlForTesting(m_Control.get());
    ASSERT_TRUE(ran);
    EXPECT_THAT(WriteTimesOf(60), ElementsAre(0u, 55'000u, 110'000u));
}

// Stop at any moment of the thread's life ends in the write of 0, and only then the hold.
struct StopMoment {
    const char* name;
    std::optional<std::uint64_t> runUntilMs;  // none: Stop straight after Start
    friend void PrintTo(const StopMoment& moment, std::ostream* out) { *out << moment.name; }
};

class StopAtAnyMoment : public DirectBackendTest, public testing::WithParamInterface<StopMoment> {
};

TEST_P(StopAtAnyMoment, WritesZeroBeforeTheThreadHolds)
{
    m_Control->Start();
    if (GetParam().runUntilMs) {
        ASSERT_TRUE(RunUntil(*GetParam().runUntilMs));
    }
    m_Control->Stop();
    ASSERT_TRUE(PumpUntil([&] { return Activity() == Activity::Holding; }));
    const auto values = m_Firmware.WatchdogValues();
    ASSERT_GE(values.size(), 2u);
    EXPECT_EQ(values.front(), 60u);
    EXPECT_EQ(values.back(), 0u);
    EXPECT_EQ(FirstExpiry(m_Times.Writes(), m_Clock.Elapsed() + 3'600'000), std::nullopt);
    m_Control->Close();
    EXPECT_EQ(m_Control->KickThread(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    KickThreadLife, StopAtAnyMoment,
    testing::Values(StopMoment{"StraightAfterStart", std::nullopt},
                    StopMoment{"InTheFirstPause", 0}, StopMoment{"RightAfterAKick", 55'000}),
    [](const testing::TestParamInfo<StopMoment>& info) { return std::string(info.param.name); });

TEST_F(KickThreadLife, SetTimeAfterStopArmsTheCountdownAndTheThreadKicksItAgain)
{
    m_Control->Start();
    ASSERT_TRUE(RunUntil(5'000));
    m_Control->Stop();
    ASSERT_TRUE(PumpUntil([&] { return Activity() == Activity::Holding; }));
    m_Control->SetTime(30, 25);
    // Released from the hold, the thread pauses again; its next pass kicks the new countdown.
    ASSERT_TRUE(PumpUntil([&] { return m_Clock.ParkedAt(5'000); }));
    ASSERT_TRUE(RunUntil(60'000));
    EXPECT_EQ(FirstExpiry(m_Times.Writes(), 60'000), std::nullopt);
    EXPECT_THAT(WriteTimesOf(30), ElementsAre(5'000u, 6'000u, 31'000u, 56'000u));
}

TEST_F(KickThreadLife, AStopTheFirmwareRefusesLeavesTheThreadKicking)
{
    m_Control->Start();
    ASSERT_TRUE(RunUntil(0));
    m_Firmware.SetRefuseOff(true);
    m_Control->Stop();
    ASSERT_TRUE(RunUntil(120'000));
    EXPECT_EQ(FirstExpiry(m_Times.Writes(), 120'000), std::nullopt);
    EXPECT_THAT(WriteTimesOf(60), ElementsAre(0u, 55'000u, 110'000u));
    m_Firmware.SetRefuseOff(false);
}

// An error that ends the thread, in a kick or in the first write on the UI thread.
struct DeathPlace {
    const char* name;
    bool inFirstWrite;
    friend void PrintTo(const DeathPlace& place, std::ostream* out) { *out << place.name; }
};

class KickThreadDeath : public DirectBackendTest, public testing::WithParamInterface<DeathPlace> {
protected:
    KickThreadDeath() { ResetTraceLogPathForTesting(); }
    ~KickThreadDeath() override
    {
        SetKickFailureHandler({});
        m_Firmware.SetWriteThrows(false);  // the fixture's Close writes 0
    }
};

TEST_P(KickThreadDeath, IsTracedAndReportedOnTheUiThreadAndTheNextStartKicksAgain)
{
    std::vector<std::string> reports;
    std::thread::id reportedOn;
    SetKickFailureHandler([&](const std::string& failure) {
        reports.push_back(failure);
        reportedOn = std::this_thread::get_id();
    });
    m_Firmware.SetWriteThrows(GetParam().inFirstWrite);
    m_Control->Start();
    if (!GetParam().inFirstWrite) {
        ASSERT_TRUE(RunUntil(0));
        m_Firmware.SetWriteThrows(true);
        m_Clock.AllowUntil(55'000, [this] { WakeThread(); });
    }
    ASSERT_TRUE(PumpUntil([&] { return !reports.empty(); }));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reportedOn, std::this_thread::get_id());
    EXPECT_THAT(reports[0], HasSubstr("no longer being kicked"));
    EXPECT_THAT(reports[0], HasSubstr("firmware library failed"));
    EXPECT_EQ(m_Control->KickFailure(), reports[0]);
    EXPECT_THAT(TraceLogText(), HasSubstr("Watchdog: " + reports[0]));
    // Still armed and no longer kicked: Close must still switch it off.
    EXPECT_TRUE(m_Control->IsRunning());

    m_Firmware.SetWriteThrows(false);
    m_Control->Close();
    EXPECT_FALSE(m_Control->IsRunning());
    EXPECT_TRUE(m_Control->KickFailure().empty());
    EXPECT_EQ(m_Firmware.WatchdogValues().back(), 0u);

    // A fresh thread that kicks on, not one that leaves at its first pass.
    const std::uint64_t from = m_Clock.Elapsed();
    m_Control->Start();
    ASSERT_TRUE(RunUntil(from + 120'000));
    EXPECT_EQ(FirstExpiry(m_Times.Writes(), from + 120'000), std::nullopt);
    std::vector<std::uint64_t> kicks;
    for (std::uint64_t at : WriteTimesOf(60))
        if (at >= from)
            kicks.push_back(at - from);
    EXPECT_THAT(kicks, ElementsAre(0u, 55'000u, 110'000u));
    EXPECT_EQ(reports.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    KickThreadLife, KickThreadDeath,
    testing::Values(DeathPlace{"InAKick", false}, DeathPlace{"InTheFirstWrite", true}),
    [](const testing::TestParamInfo<DeathPlace>& info) { return std::string(info.param.name); });

// Close waits 50 ms here, so a thread stuck in the firmware is given up on quickly.
class StuckKickThread : public DirectBackendTest {
protected:
    StuckKickThread()
        : DirectBackendTest(0, 50ms)
    {
        ResetTraceLogPathForTesting();
    }

    // Runs Close while the kick is held in the firmware; false when Close only returned
    // because the write was let go after a generous real-time bound.
    bool CloseWhileTheKickIsHeld()
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool closeReturned = false;
        bool rescued = false;
        std::thread rescue([&] {
            std::unique_lock lock(mutex);
            if (!changed.wait_for(lock, 30s, [&] { return closeReturned; })) {
                rescued = true;
                lock.unlock();
                m_Firmware.ReleaseHeldWrite();
            }
        });
        m_Control->Close();
        {
            std::lock_guard lock(mutex);
            closeReturned = true;
        }
        changed.notify_all();
        rescue.join();
        return !rescued;
    }
};

TEST_F(StuckKickThread, CloseGivesUpAfterItsWaitSaysWhyAndTheThreadKicksOn)
{
    m_Control->Start();
    ASSERT_TRUE(RunUntil(0));
    m_Firmware.HoldNextWrite();
    m_Clock.AllowUntil(55'000, [this] { WakeThread(); });
    ASSERT_TRUE(m_Firmware.WaitForHeldWrite(60s));

    ASSERT_TRUE(CloseWhileTheKickIsHeld()) << "Close waited for a write stuck in the firmware";
    EXPECT_TRUE(m_Control->IsRunning());
    EXPECT_THAT(m_Control->CloseFailure(), HasSubstr("writing the countdown to the firmware"));
    EXPECT_THAT(TraceLogText(), HasSubstr("did not end within 50 ms, it was writing the "
                                          "countdown to the firmware"));

    // A SetTime meanwhile gives up after the same bound and keeps the times.
    m_Control->SetTime(30, 25);
    EXPECT_THAT(m_Control->TimeFailure(), HasSubstr("did not finish its previous write"));
    EXPECT_EQ(m_Control->RestartTime(), 60);

    // The exit was withdrawn: once the write lands the thread kicks on.
    m_Firmware.ReleaseHeldWrite();
    ASSERT_TRUE(RunUntil(170'000));
    EXPECT_EQ(FirstExpiry(m_Times.Writes(), 170'000), std::nullopt);
    EXPECT_THAT(WriteTimesOf(60), ElementsAre(0u, 55'000u, 110'000u, 165'000u));

    m_Control->Close();
    EXPECT_FALSE(m_Control->IsRunning());
    EXPECT_TRUE(m_Control->CloseFailure().empty());
    EXPECT_EQ(m_Firmware.WatchdogValues().back(), 0u);
}

} // namespace
