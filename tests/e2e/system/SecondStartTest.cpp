#include "ProgramRun.h"
#include "TestSupport.h"
#include "XSession.h"

#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "platform/WindowMessages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace systeme2e;
using testing::HasSubstr;
using testsupport::ChildProgram;
using testsupport::WaitUntil;

// A second start while a copy runs: one copy per machine stays the rule and the second start
// ends with status 0, but it brings the running copy's window forward when that copy is the same
// person's, and otherwise says which file the running copy holds.
namespace {

// The minimise button's centre, in window pixels.
constexpr int kMinimizeX = 384;
constexpr int kMinimizeY = 14;

std::optional<testsupport::XWindowId> MainWindow()
{
    return testsupport::LargestWindow(kCaption);
}

bool MainWindowViewable()
{
    const auto window = MainWindow();
    return window && testsupport::IsViewable(*window);
}

std::filesystem::path Program()
{
    return testsupport::BinFolder() / "TolvWatchDogTimer";
}

// Starts the program a second time (file is the program or what runs it) and waits for it to
// end: it must end by itself with status 0. Answers what it said.
std::string StartAgain(const std::filesystem::path& file, const std::vector<std::string>& arguments)
{
    static int starts = 0;
    ChildProgram second(file, arguments,
                        testsupport::Root() / ("second-" + std::to_string(++starts) + ".log"));
    const auto end = second.Wait(kStartWait);
    EXPECT_TRUE(end.has_value()) << "the second start did not end\n" << second.Log();
    EXPECT_TRUE(end && end->exited && end->code == 0)
        << "code " << (end ? end->code : -1) << "\n" << second.Log();
    return second.Log();
}

TEST(SecondStart, BringsTheHiddenOrMinimisedWindowOfThePersonsRunningCopyForward)
{
    testsupport::XSession session(
        testsupport::XSession::Options{.wm = true, .compositor = false, .tray = true});
    ASSERT_TRUE(session.Started()) << session.Error();
    const auto noSystemBus = NoSystemBus();
    ProgramRun program(Settings{});
    ASSERT_TRUE(program.Start({"-h"}));
    ASSERT_TRUE(program.WaitUntilSettled()) << program.Describe();
    // The icon in the tray is the one visible window of the program while the start is hidden.
    ASSERT_TRUE(WaitUntil([] { return !testsupport::FindWindowsByClass(kProgramClass).empty(); },
                          kWait))
        << "no icon of the program in the tray" << program.Describe();
    ASSERT_FALSE(MainWindowViewable());

    EXPECT_EQ(StartAgain(Program(), {}), "");
    ASSERT_TRUE(WaitUntil(MainWindowViewable, kWait))
        << "the second start left the window hidden" << program.Describe();

    const auto window = MainWindow();
    const auto shown = testsupport::WindowGeometry(*window);
    ASSERT_TRUE(shown.has_value());
    ASSERT_TRUE(testsupport::Click(shown->x + kMinimizeX, shown->y + kMinimizeY));
    ASSERT_TRUE(WaitUntil([] { return !MainWindowViewable(); }, kWait)) << program.Describe();
    EXPECT_EQ(StartAgain(Program(), {}), "");
    EXPECT_TRUE(WaitUntil(MainWindowViewable, kWait))
        << "the second start left the window minimised" << program.Describe();

    EXPECT_TRUE(program.Running()) << "the second start ended the first" << program.Describe();
    EXPECT_TRUE(program.Armed()) << program.Describe();
    ASSERT_TRUE(program.Signal(SIGTERM));
    const auto end = program.WaitForExit(kWait);
    EXPECT_TRUE(end && end->exited && end->code == 0) << program.Describe();
}

bool Has(const std::vector<std::string>& atoms, const char* atom)
{
    return std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

// What the window manager says about the main window, for failure messages.
std::string DescribeWindow()
{
    const auto window = MainWindow();
    if (!window)
        return "\nno main window";
    std::string text = testsupport::IsViewable(*window) ? "\nviewable; states:" : "\nnot viewable; states:";
    for (const auto& state : testsupport::WindowStates(*window))
        text += " " + state;
    text += "; types:";
    for (const auto& type : testsupport::WindowTypes(*window))
        text += " " + type;
    return text;
}

// With no notification area (GNOME's default) the minimised window is the way back: an iconic
// window that a taskbar lists, which a second start restores.
TEST(SecondStart, WithoutATrayMinimisesToATaskbarEntryThatASecondStartBringsBack)
{
    testsupport::XSession session(
        testsupport::XSession::Options{.wm = true, .compositor = false, .tray = false});
    ASSERT_TRUE(session.Started()) << session.Error();
    const auto noSystemBus = NoSystemBus();
    ProgramRun program(Settings{});
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitUntilSettled()) << program.Describe();
    ASSERT_TRUE(WaitUntil(MainWindowViewable, kStartWait)) << program.Describe();
    const auto shown = testsupport::WindowGeometry(*MainWindow());
    ASSERT_TRUE(shown.has_value());

    ASSERT_TRUE(testsupport::Click(shown->x + kMinimizeX, shown->y + kMinimizeY));
    const auto listedAndIconic = [] {
        const auto window = MainWindow();
        if (!window || testsupport::IsViewable(*window))
            return false;
        const auto states = testsupport::WindowStates(*window);
        return Has(states, "_NET_WM_STATE_HIDDEN") && !Has(states, "_NET_WM_STATE_SKIP_TASKBAR")
            && !Has(testsupport::WindowTypes(*window), "_NET_WM_WINDOW_TYPE_UTILITY");
    };
    EXPECT_TRUE(WaitUntil(listedAndIconic, kWait))
        << "not an iconic window with a taskbar entry" << DescribeWindow() << program.Describe();

    EXPECT_EQ(StartAgain(Program(), {}), "");
    EXPECT_TRUE(WaitUntil(MainWindowViewable, kWait))
        << "the second start left the window minimised" << DescribeWindow() << program.Describe();
    EXPECT_EQ(testsupport::WindowGeometry(*MainWindow()), shown);
    EXPECT_TRUE(program.Running()) << program.Describe();
    EXPECT_TRUE(program.Armed()) << program.Describe();
    ASSERT_TRUE(program.Signal(SIGTERM));
    const auto end = program.WaitForExit(kWait);
    EXPECT_TRUE(end && end->exited && end->code == 0) << program.Describe();
}

constexpr gid_t kGroup = 61000; // stands for tolv-watchdog
constexpr uid_t kMember = 61001;

// Another user's copy holds the lock (played by this test, root, with its window in root's own
// windows folder); a member's start is told which file is held and posts nothing.
TEST(SecondStart, WhileAnotherPersonsCopyRunsSaysWhichFileItHoldsAndSendsNothing)
{
    if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "acting as another user needs root and /usr/bin/setpriv; the second "
                        "start of another user did not run";
    ASSERT_EQ(::chmod(testsupport::Root().c_str(), 0755), 0);
    const std::filesystem::path runtime = platform::RuntimeFolder();
    std::filesystem::create_directories(runtime);
    ASSERT_EQ(::chown(runtime.c_str(), 0, kGroup), 0);
    ASSERT_EQ(::chmod(runtime.c_str(), 03770), 0);

    platform::InstanceLock running("TOLV_WATCHDOG_TIMER");
    ASSERT_EQ(running.Acquire(), platform::InstanceLock::Result::Acquired) << running.Error();
    // As the package's folders make it for a member's copy: open to the group.
    ASSERT_EQ(::chown(running.Path().c_str(), 0, kGroup), 0);
    ASSERT_EQ(::chmod(running.Path().c_str(), 0660), 0);
    platform::MessageWindow window(kWindowClass, kCaption);
    ASSERT_TRUE(window.Create()) << window.LastError();

    // The build folder need not be open to other users; a copy in the root is.
    const std::filesystem::path program = testsupport::Root() / "TolvWatchDogTimer";
    std::filesystem::copy_file(Program(), program);
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    const std::string said = StartAgain("/usr/bin/setpriv", {"--reuid=" + std::to_string(kMember),
                                                             "--regid=" + std::to_string(kGroup),
                                                             "--clear-groups", program.string()});
    EXPECT_THAT(said, HasSubstr("TOLV Watchdog Timer: another copy is already running (it holds "
                                + running.Path().string() + "); this one ends.\n"));
    std::size_t received = 0;
    window.ReadPending([&](const platform::WindowMessage&) { ++received; });
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(window.DroppedCount(), 0u);
}

} // namespace
