#include "ProgramRun.h"
#include "TestSupport.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

using namespace systeme2e;

// The program started after the watchdog restarted the machine: the simulated firmware is left
// with a countdown that ran out before the start, which the firmware library records as an
// expiry. The program tells of it once, in the tray icon's balloon; the next start is quiet.
namespace {

// The balloon is a tooltip window of the program.
bool BalloonShown()
{
    for (testsupport::XWindowId window : testsupport::FindWindowsByClass(kProgramClass)) {
        const auto types = testsupport::WindowTypes(window);
        if (std::find(types.begin(), types.end(), "_NET_WM_WINDOW_TYPE_TOOLTIP") != types.end())
            return true;
    }
    return false;
}

long ToldLines(const ProgramRun& run)
{
    const auto lines = run.Trace();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("Watchdog restart: the last restart was the watchdog's (device ");
    });
}

TEST(RestartNotice, AnExpiryIsToldOnceInTheTrayBalloon)
{
    testsupport::XSession session(testsupport::XSession::Options{.wm = true, .compositor = false, .tray = true});
    ASSERT_TRUE(session.Started()) << session.Error();
    // Armed with a 5 s countdown last written at 1 ms of the monotonic clock: long run out.
    testsupport::WriteFile(testsupport::Root() / "sim" / tlacpi::SimStateFileName,
                           "armed=1\ntimeout=5\nwritten_ms=1\nwrites=1\n");
    {
        ProgramRun run(Settings{.lastState = kStateOff});
        ASSERT_TRUE(run.Start()) << run.Describe();
        EXPECT_TRUE(testsupport::WaitUntil([&] { return ToldLines(run) == 1; }, kStartWait)) << run.Describe();
        EXPECT_TRUE(testsupport::WaitUntil(BalloonShown, kWait)) << "no balloon\n" << run.Describe();
        ASSERT_TRUE(run.Signal(SIGTERM));
        ASSERT_TRUE(run.WaitForExit(kStartWait).has_value()) << run.Describe();
    }
    ProgramRun again(Settings{.lastState = kStateOff});
    ASSERT_TRUE(again.Start()) << again.Describe();
    // The notice is taken before the window comes up.
    ASSERT_TRUE(testsupport::WaitForWindow(kCaption, kStartWait).has_value()) << again.Describe();
    EXPECT_EQ(ToldLines(again), 1) << again.Describe();
    EXPECT_FALSE(BalloonShown()) << again.Describe();
}

} // namespace
