#include "PrivateBus.h"
#include "ProgramRun.h"
#include "TestSupport.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using namespace systeme2e;

// The status command of the real program against the real firmware library, in each state a
// monitoring script must tell apart: its words, its JSON and its exit status.
namespace {

struct StatusRow {
    const char* name;
    std::uint32_t stored;
    bool programRuns;      // a copy of the program runs and kicks
    bool noDevice;         // the device firmware, with nothing at its path
    const char* arguments; // after --status
    int exitCode;
    const char* text;      // in the output
};

void PrintTo(const StatusRow& row, std::ostream* out)
{
    *out << row.name;
}

const StatusRow Rows[] = {
    {"OffAsJson", kStateOff, false, false, "--json", 0, R"("stored":{"readable":true,"on":false)"},
    {"OnAndKicked", kStateOn, true, false, "--json", 0, R"("holds_watchdog":true},"stored":{"readable":true,"on":true,"restart":60,"reload":40)"},
    {"StoredOnButNothingKicks", kStateOn, false, false, "", 1, "Problem:          stored on, but no copy of the program runs"},
    {"NoDeviceInWords", kStateOff, false, true, "", 1, "No watchdog driver is loaded: nothing is at "},
    {"BadUsage", kStateOff, false, false, "--jsn", 2, "tolv-watchdog-timer: unknown option --jsn"},
};

class StatusCommand : public testing::TestWithParam<StatusRow> {};

TEST_P(StatusCommand, TellsTheStateAndAnswersItsExitStatus)
{
    const StatusRow& row = GetParam();
    std::unique_ptr<testsupport::XSession> session;
    if (row.programRuns) {
        session = std::make_unique<testsupport::XSession>(testsupport::XSession::Options{});
        ASSERT_TRUE(session->Started()) << session->Error();
    }
    ProgramRun run(Settings{.lastState = row.stored});
    if (row.programRuns) {
        ASSERT_TRUE(run.Start()) << run.Describe();
        ASSERT_TRUE(run.WaitUntilSettled()) << run.Describe();
    } else {
        ASSERT_TRUE(run.Seed());
    }
    std::unique_ptr<testsupport::ScopedVariable> device;
    if (row.noDevice)
        device = std::make_unique<testsupport::ScopedVariable>(
            "TLACPI_FIRMWARE", "device:" + (testsupport::Root() / "no-watchdog").string());

    std::vector<std::string> arguments{"--status"};
    if (*row.arguments)
        arguments.emplace_back(row.arguments);
    testsupport::ChildProgram status(testsupport::BinFolder() / "TolvWatchDogTimer", arguments,
                                     testsupport::Root() / "status.log");
    const auto exit = status.Wait(kWait);
    ASSERT_TRUE(exit && exit->exited) << status.Log();
    EXPECT_EQ(exit->code, row.exitCode) << status.Log();
    EXPECT_NE(status.Log().find(row.text), std::string::npos) << status.Log();
    if (row.programRuns) {
        ASSERT_TRUE(run.Signal(SIGTERM));
        ASSERT_TRUE(run.WaitForExit(kStartWait).has_value()) << run.Describe();
    }
}

INSTANTIATE_TEST_SUITE_P(States, StatusCommand, testing::ValuesIn(Rows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
