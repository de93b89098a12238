// Sleep, wake, the end of the session, close requests and a watchdog that cannot be switched
// off, as the main window meets them.

#include "MainFormFixture.h"

#include <gmock/gmock.h>

#include <QCoreApplication>

#include <chrono>
#include <csignal>

#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/TolvScrollBar.h"
#include "PrivateBus.h"
#include "TestSupport.h"
#include "platform/WindowMessages.h"

namespace {

using Calls = std::vector<std::string>;
using Lines = std::vector<std::string>;
using platform::PowerEvent;

struct PowerRow {
    const char* name;
    bool wmi;
    bool on;
    Calls suspendCalls;
    Calls resumeCalls;
};

// A watchdog switched off stays off after a wake; the service program looks after itself.
const PowerRow kPowerRows[] = {
    {"OnIsClosedAndArmedAgain", false, true, {"Close"}, {"SetTime(60,40)", "Start"}},
    {"OffStaysOffAfterTheWake", false, false, {"Close"}, {}},
    {"ServiceModelOnlyTraces", true, true, {}, {}},
};

class Power : public MainFormTest, public testing::WithParamInterface<PowerRow> {};

} // namespace

TEST_P(Power, SuspendAndResume)
{
    const PowerRow& row = GetParam();
    if (row.wmi)
        WriteDword("Model Type WMI", 5);
    WriteDword("LAST_STATE", row.on ? 15 : 0);
    WriteDword("REBOOT_TIME", row.wmi ? 200 : 60);
    WriteDword("RESET_TIME", 40);
    Create();
    control.calls.clear();

    form->OnPowerEvent(PowerEvent::Suspend);
    EXPECT_EQ(control.calls, row.suspendCalls);
    control.calls.clear();
    form->OnPowerEvent(PowerEvent::Resume);
    if (row.wmi)
        EXPECT_TRUE(control.calls.empty());
    else
        EXPECT_EQ(control.calls, row.resumeCalls);
    EXPECT_EQ(TraceLines(), (Lines{"Enter S3 or S4...", "Close", "EnterResume from S3 or S4..."}));
    EXPECT_EQ(ReadDword("LAST_STATE"), row.on ? 15u : 0u);
}

INSTANTIATE_TEST_SUITE_P(MainForm, Power, testing::ValuesIn(kPowerRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainFormTest, ACancelledShutdownArmsTheWatchdogAgainWithTheAppliedTimes)
{
    WriteDword("LAST_STATE", 15);
    WriteDword("REBOOT_TIME", 60);
    WriteDword("RESET_TIME", 40);
    Create();
    control.calls.clear();
    form->OnPowerEvent(PowerEvent::Shutdown);
    EXPECT_EQ(control.calls, (Calls{"Close"}));
    form->OnPowerEvent(PowerEvent::ShutdownCancelled);
    EXPECT_EQ(control.calls, (Calls{"Close", "SetTime(60,40)", "Start"}));
    EXPECT_EQ(TraceLines(), (Lines{"Main UI shut down", "Main UI Message.Result = 0;",
                                   "Shutdown cancelled: the watchdog is on again"}));
    EXPECT_EQ(ReadDword("LAST_STATE"), 15u);
}

// The user switches the watchdog off while logind waits for the program (a sleep or a shutdown
// begins); when the machine wakes or the shutdown is called off, it must stay off, as the
// window and the store say.
struct SwitchedOffMeanwhileRow {
    const char* name;
    PowerEvent begins, ends;
};

const SwitchedOffMeanwhileRow kSwitchedOffMeanwhileRows[] = {
    {"TheShutdownIsCancelled", PowerEvent::Shutdown, PowerEvent::ShutdownCancelled},
    {"TheMachineWakes", PowerEvent::Suspend, PowerEvent::Resume},
};

class SwitchedOffMeanwhile : public MainFormTest,
                             public testing::WithParamInterface<SwitchedOffMeanwhileRow> {};

TEST_P(SwitchedOffMeanwhile, StaysOff)
{
    WriteDword("LAST_STATE", 15);
    WriteDword("REBOOT_TIME", 60);
    WriteDword("RESET_TIME", 40);
    Create();
    form->OnPowerEvent(GetParam().begins);
    form->Switch()->Click();
    ASSERT_FALSE(form->Switch()->Checked());
    control.calls.clear();
    form->OnPowerEvent(GetParam().ends);
    EXPECT_EQ(control.calls, Calls{}) << "armed again although switched off";
    EXPECT_FALSE(form->Switch()->Checked());
    EXPECT_EQ(ReadDword("LAST_STATE"), 0u);
}

INSTANTIATE_TEST_SUITE_P(MainForm, SwitchedOffMeanwhile, testing::ValuesIn(kSwitchedOffMeanwhileRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainFormTest, TheEndOfTheSessionClosesTheWatchdogAndTheProgram)
{
    WriteDword("LAST_STATE", 15);
    WriteDword("REBOOT_TIME", 60);
    WriteDword("RESET_TIME", 40);
    Create();
    control.calls.clear();
    form->OnPowerEvent(PowerEvent::SessionEnd);
    EXPECT_EQ(control.calls.front(), "Close");
    EXPECT_TRUE(framework::Application::Instance()->Terminated());
    EXPECT_EQ(TraceLines(), (Lines{"Main UI shut down", "Main UI Message.Result = 0;"}));
    EXPECT_EQ(ReadDword("LAST_STATE"), 15u);
}

// A close request arrives through the window's socket; only 2044 closes.
TEST_F(MainFormTest, TheCloseRequestEndsTheProgramAndKeepsTheStoredState)
{
    WriteDword("LAST_STATE", 15);
    WriteDword("REBOOT_TIME", 60);
    WriteDword("RESET_TIME", 40);
    Create(false, /*systemEvents=*/true);
    control.calls.clear();
    const auto window = platform::FindWindow("TMainForm", "TOLV Watchdog Timer");
    ASSERT_TRUE(window);

    ASSERT_TRUE(platform::PostMessage(*window, 2045, 0, 0));
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(control.calls.empty());
    EXPECT_FALSE(framework::Application::Instance()->Terminated());

    ASSERT_TRUE(platform::PostMessage(*window, TMainForm::kCloseRequest, 0, 0));
    for (int i = 0; i < 20 && !framework::Application::Instance()->Terminated(); ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(framework::Application::Instance()->Terminated());
    EXPECT_EQ(control.calls.front(), "Close");
    EXPECT_EQ(ReadDword("LAST_STATE"), 15u);
}

// A device that cannot be switched off: the switch stays on, the user learns why, and the
// trace log records it when the program ends.
TEST_F(MainFormTest, AWatchdogThatCannotBeSwitchedOffStaysOn)
{
    WriteDword("LAST_STATE", 15);
    WriteDword("REBOOT_TIME", 60);
    WriteDword("RESET_TIME", 40);
    Create();
    control.closeFailure = "Watchdog device /dev/watchdog cannot be switched off (nowayout is set)";
    form->Switch()->Click();
    EXPECT_TRUE(form->Switch()->Checked());
    EXPECT_TRUE(form->RebootSlider()->Enabled());
    EXPECT_EQ(ReadDword("LAST_STATE"), 15u);
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_NE(m_Boxes[0].text.find("cannot be switched off while the machine runs"), std::string::npos);
    EXPECT_NE(m_Boxes[0].text.find("nowayout is set"), std::string::npos);

    form->OnCloseClick(nullptr);
    EXPECT_EQ(TraceLines(), (Lines{"The watchdog cannot be switched off and keeps counting down: "
                                   "Watchdog device /dev/watchdog cannot be switched off (nowayout is set)"}));
}

TEST_F(MainFormTest, AKickThreadThatDiedIsToldToTheUser)
{
    Create();
    ReportKickFailure("The watchdog is no longer being kicked: its kick thread stopped (test).");
    for (int i = 0; i < 5 && m_Boxes.empty(); ++i)
        QCoreApplication::processEvents();
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(m_Boxes[0].caption, "TOLV Watchdog Timer");
    EXPECT_NE(m_Boxes[0].text.find("no longer being kicked"), std::string::npos);
}

namespace {

volatile sig_atomic_t g_OwnSigterms = 0;
void CountOwnSigterm(int)
{
    g_OwnSigterms = g_OwnSigterms + 1;
}

// A controller whose countdown write is interrupted by the end of the session.
class SigtermOnArm : public RecordingControl {
public:
    int SetTime(std::int32_t restart, std::int32_t reload) override
    {
        if (!raised) {
            raised = true;
            (void)::raise(SIGTERM);
        }
        return RecordingControl::SetTime(restart, reload);
    }
    bool raised = false;
};

// SIGTERM counted by a handler of the test's own while the window does not watch it, so that a
// signal the window misses fails the test instead of ending the test program. No system bus.
class StartUpSignal : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        struct sigaction own {};
        own.sa_handler = CountOwnSigterm;
        ASSERT_EQ(::sigaction(SIGTERM, &own, &m_Saved), 0);
        g_OwnSigterms = 0;
        m_Previous = ExchangeWatchDogControlForTesting(&m_Control);
    }
    void TearDown() override
    {
        (void)ExchangeWatchDogControlForTesting(m_Previous);
        MainFormTest::TearDown();  // the window, and with it its signal watch, goes first
        (void)::sigaction(SIGTERM, &m_Saved, nullptr);
    }

    SigtermOnArm m_Control;
    testsupport::ScopedVariable m_NoSystemBus{
        "DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (testsupport::Root() / "no-system-bus").string()};

private:
    struct sigaction m_Saved {};
    CWatchDogControl* m_Previous = nullptr;
};

} // namespace

TEST_F(StartUpSignal, ASigtermWhileTheStoredStateArmsClosesTheWatchdogAndEndsTheProgram)
{
    WriteDword("LAST_STATE", 15);
    WriteDword("REBOOT_TIME", 60);
    WriteDword("RESET_TIME", 40);
    Create(false, /*systemEvents=*/true);
    ASSERT_TRUE(m_Control.raised);
    EXPECT_EQ(m_Control.calls, (Calls{"SetTime(60,40)", "Start"}));

    auto* app = framework::Application::Instance();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!app->Terminated() && std::chrono::steady_clock::now() < giveUp)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(g_OwnSigterms, 0) << "the signal came before the window watched it";
    EXPECT_TRUE(app->Terminated());
    ASSERT_GE(m_Control.calls.size(), 3u);
    EXPECT_EQ(m_Control.calls[2], "Close");
    EXPECT_THAT(TraceLines(), testing::IsSupersetOf({"Main UI shut down", "Main UI Message.Result = 0;"}));
    EXPECT_EQ(ReadDword("LAST_STATE"), 15u);
}
