#include "LogindScene.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

using namespace std::chrono_literals;
using namespace systeme2e;
using testsupport::LogindMock;
using testsupport::WaitUntil;
using testing::ElementsAre;

// The real program against a stand-in for logind on a private system bus: the watchdog is
// switched off before the machine sleeps or shuts down, while logind waits on the program's
// delay inhibitor, and comes back on afterwards only when it was on before. The end of the
// session (SIGTERM, SIGHUP) switches it off and ends the program without touching the store.
namespace {

using Calls = std::vector<std::vector<std::string>>;

bool Held(const LogindMock& logind, int count)
{
    return logind.HeldInhibitors() == count;
}

// Sleep with the watchdog on: disarmed and the inhibitor let go; wake: armed again with the
// stored countdown and the inhibitor taken again. Prints how long each step took.
void SleepAndWake(ProgramRun& program, const LogindMock& logind)
{
    auto start = std::chrono::steady_clock::now();
    const std::int64_t signalledMs = tlacpi::MonotonicMs();
    ASSERT_TRUE(logind.EmitPrepareForSleep(true));
    std::optional<tlacpi::SimState> seen;
    const auto disarmed = MillisecondsUntil(
        [&] { return (seen = program.Firmware()).has_value() && !seen->armed; }, start);
    const auto released = MillisecondsUntil([&] { return Held(logind, 0); }, start);
    ASSERT_TRUE(disarmed.has_value()) << program.Describe();
    ASSERT_TRUE(released.has_value()) << "the inhibitor is still held" << program.Describe();
    const std::int64_t disarmWrittenMs = seen->writtenMs - signalledMs;
    EXPECT_TRUE(WaitUntil([&] { return program.TraceHasInOrder({"Enter S3 or S4...", "Close"}); },
                          kWait))
        << program.Describe();
    EXPECT_EQ(logind.InhibitCalls().size(), 1u) << "no new inhibitor while the machine sleeps";

    start = std::chrono::steady_clock::now();
    const std::int64_t wokenMs = tlacpi::MonotonicMs();
    ASSERT_TRUE(logind.EmitPrepareForSleep(false));
    const auto armed = MillisecondsUntil(
        [&] { return (seen = program.Firmware()).has_value() && seen->armed; }, start);
    ASSERT_TRUE(armed.has_value()) << program.Describe();
    EXPECT_EQ(seen->timeout, 60u) << "armed with the stored countdown";
    const std::int64_t armWrittenMs = seen->writtenMs - wokenMs;
    EXPECT_TRUE(WaitUntil(
        [&] { return program.TraceHasInOrder({"Close", "EnterResume from S3 or S4..."}); }, kWait))
        << program.Describe();
    EXPECT_TRUE(WaitUntil([&] { return Held(logind, 1); }, kWait)) << program.Describe();
    EXPECT_EQ(logind.InhibitCalls(), Calls(2, InhibitArguments()));

    std::printf("TIMING: PrepareForSleep(true) -> armed=0 seen after %.1f ms (written %lld ms "
                "after the signal), inhibitor released seen after %.1f ms\n",
                *disarmed, static_cast<long long>(disarmWrittenMs), *released);
    std::printf("TIMING: PrepareForSleep(false) -> armed=1 seen after %.1f ms (written %lld ms "
                "after the signal)\n",
                *armed, static_cast<long long>(armWrittenMs));
}

// Shutdown announced: disarmed with the session's trace lines, and the program goes on;
// shutdown called off: armed again, as the watchdog was on.
void ShutdownAndCancel(ProgramRun& program, const LogindMock& logind)
{
    ASSERT_TRUE(logind.EmitPrepareForShutdown(true));
    ASSERT_TRUE(WaitUntil([&] { return program.Disarmed(); }, kWait)) << program.Describe();
    const std::vector<std::string> sessionEnd{"Main UI shut down", "Main UI Message.Result = 0;"};
    EXPECT_TRUE(WaitUntil([&] { return program.TraceHasInOrder(sessionEnd); }, kWait))
        << program.Describe();
    EXPECT_TRUE(WaitUntil([&] { return Held(logind, 0); }, kWait)) << program.Describe();
    EXPECT_TRUE(program.Running()) << "a shutdown is logind's to carry out" << program.Describe();

    ASSERT_TRUE(logind.EmitPrepareForShutdown(false));
    ASSERT_TRUE(WaitUntil([&] { return program.Armed(); }, kWait)) << program.Describe();
    EXPECT_EQ(program.Firmware()->timeout, 60u);
    EXPECT_TRUE(WaitUntil(
        [&] { return program.TraceCount("Shutdown cancelled: the watchdog is on again") == 1; },
        kWait))
        << program.Describe();
    EXPECT_TRUE(WaitUntil([&] { return Held(logind, 1); }, kWait)) << program.Describe();
    EXPECT_EQ(logind.InhibitCalls(), Calls(3, InhibitArguments()));
}

TEST(SleepAndShutdown, WithTheWatchdogOnItIsOffForSleepAndShutdownAndOnAgainAfterwards)
{
    LogindScene scene(Settings{.lastState = kMarkOn});
    ASSERT_NO_FATAL_FAILURE(scene.Start());
    LogindMock& logind = scene.logind;
    ProgramRun& program = scene.program;
    EXPECT_EQ(logind.InhibitCalls(), Calls(1, InhibitArguments()));
    // From here on nothing may write the stored state: it keeps a value the program never writes.
    ASSERT_TRUE(program.WriteLastState(kMarkOn));

    ASSERT_NO_FATAL_FAILURE(SleepAndWake(program, logind));
    ASSERT_NO_FATAL_FAILURE(ShutdownAndCancel(program, logind));

    // logind leaving the bus ends the events, not the program, nor the watchdog.
    logind.Stop();
    EXPECT_TRUE(WaitUntil(
        [&] { return program.TraceHasLineStarting("logind left the system bus"); }, kWait))
        << program.Describe();
    EXPECT_TRUE(program.Running()) << program.Describe();
    EXPECT_TRUE(program.Armed());

    // The session ends: watchdog off, the two trace lines once more, a clean exit.
    ASSERT_TRUE(program.Signal(SIGTERM));
    const auto exit = program.WaitForExit(kWait);
    ASSERT_TRUE(exit.has_value()) << program.Describe();
    EXPECT_TRUE(exit->exited) << "signal " << exit->signal << program.Describe();
    EXPECT_EQ(exit->code, 0) << program.Describe();
    EXPECT_TRUE(program.Disarmed()) << program.Describe();
    EXPECT_EQ(program.TraceCount("Main UI shut down"), 2) << program.Describe();
    EXPECT_EQ(program.TraceCount("Main UI Message.Result = 0;"), 2) << program.Describe();
    EXPECT_EQ(program.LastState(), kMarkOn) << "the session's end must not store the switch";
}

TEST(SleepAndShutdown, WithTheWatchdogOffWakingLeavesItOffAndSighupEndsTheProgram)
{
    LogindScene scene(Settings{.lastState = kStateOff});
    ASSERT_NO_FATAL_FAILURE(scene.Start());
    LogindMock& logind = scene.logind;
    ProgramRun& program = scene.program;

    ASSERT_TRUE(logind.EmitPrepareForSleep(true));
    ASSERT_TRUE(WaitUntil([&] { return program.TraceHasInOrder({"Enter S3 or S4...", "Close"}); },
                          kWait))
        << program.Describe();
    EXPECT_TRUE(WaitUntil([&] { return Held(logind, 0); }, kWait)) << program.Describe();

    ASSERT_TRUE(logind.EmitPrepareForSleep(false));
    ASSERT_TRUE(WaitUntil([&] { return program.TraceCount("EnterResume from S3 or S4...") == 1; },
                          kWait))
        << program.Describe();
    // The inhibitor is asked for once the wake's handler has returned; by then an arm would
    // have reached the firmware.
    ASSERT_TRUE(WaitUntil([&] { return Held(logind, 1); }, kWait)) << program.Describe();
    EXPECT_THAT(logind.InhibitCalls(), ElementsAre(InhibitArguments(), InhibitArguments()));
    EXPECT_FALSE(program.Armed()) << "a watchdog switched off must stay off after a wake"
                                  << program.Describe();

    ASSERT_TRUE(program.Signal(SIGHUP));
    const auto exit = program.WaitForExit(kWait);
    ASSERT_TRUE(exit.has_value()) << program.Describe();
    EXPECT_TRUE(exit->exited && exit->code == 0)
        << "code " << exit->code << ", signal " << exit->signal << program.Describe();
    EXPECT_TRUE(program.TraceHasInOrder({"EnterResume from S3 or S4...", "Main UI shut down",
                                         "Main UI Message.Result = 0;"}))
        << program.Describe();
    EXPECT_FALSE(program.Armed()) << program.Describe();
    EXPECT_EQ(program.LastState(), kStateOff);
}

} // namespace
