#include "ProgramRun.h"
#include "TestSupport.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <string>

using namespace systeme2e;
using testsupport::XSession;

// The program started from a terminal and stopped there: Ctrl-C (SIGINT) and Ctrl-\ (SIGQUIT)
// end it as the end of the session does, with the watchdog switched off first and the store
// untouched, never with the countdown left running.
namespace {

struct SignalRow {
    const char* name;
    int signal;
    friend void PrintTo(const SignalRow& row, std::ostream* out) { *out << row.name; }
};

const SignalRow kSignalRows[] = {
    {"CtrlC", SIGINT},
    {"CtrlBackslash", SIGQUIT},
};

class TerminalSignal : public testing::TestWithParam<SignalRow> {};

TEST_P(TerminalSignal, SwitchesTheWatchdogOffAndEndsTheProgram)
{
    XSession session(XSession::Options{.wm = true, .compositor = false, .tray = false});
    ASSERT_TRUE(session.Started()) << session.Error();
    const auto noSystemBus = NoSystemBus();
    ProgramRun program(Settings{.lastState = kMarkOn});
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitUntilSettled()) << program.Describe();
    ASSERT_TRUE(program.WriteLastState(kMarkOn));

    ASSERT_TRUE(program.Signal(GetParam().signal));
    const auto exit = program.WaitForExit(kWait);
    ASSERT_TRUE(exit.has_value()) << program.Describe();
    EXPECT_TRUE(exit->exited && exit->code == 0)
        << "code " << exit->code << ", signal " << exit->signal << program.Describe();
    EXPECT_TRUE(program.Disarmed()) << program.Describe();
    EXPECT_TRUE(program.TraceHasInOrder({"Main UI shut down", "Main UI Message.Result = 0;"}))
        << program.Describe();
    EXPECT_EQ(program.LastState(), kMarkOn) << "the end of the session must not store the switch";
}

INSTANTIATE_TEST_SUITE_P(SessionEnd, TerminalSignal, testing::ValuesIn(kSignalRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
