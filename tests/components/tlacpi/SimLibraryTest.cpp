// The firmware library from the program folder with the simulated firmware, through the
// program's own firmware item access.

#include "SimMonitor.h"
#include "SimState.h"
#include "tolv/BiosInterface.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <linux/watchdog.h>
#include <thread>

namespace {

constexpr std::uint32_t Watchdog = tolv::WatchdogItemId;

class SimLibraryTest : public testing::Test {
protected:
    void SetUp() override { Use("sim:" + folder.string()); }
    void TearDown() override { unsetenv("TLACPI_FIRMWARE"); }

    static void Use(const std::string& choice) { setenv("TLACPI_FIRMWARE", choice.c_str(), 1); }

    std::optional<tlacpi::SimState> State() const
    {
        return tlacpi::ReadSimState(folder / "watchdog.state");
    }

    const std::filesystem::path folder = testsupport::Root() / "sim";
};

TEST_F(SimLibraryTest, ListsItsItemsByGroup)
{
    EXPECT_TRUE(tolv::ItemExists(Watchdog));
    EXPECT_TRUE(tolv::ItemExists(0x11010001));
    EXPECT_TRUE(tolv::ItemExists(0x12000002));
    EXPECT_FALSE(tolv::ItemExists(0x11060008));
    EXPECT_FALSE(tolv::ItemExists(0x13000001));
}

TEST_F(SimLibraryTest, WatchdogWritesAreRecordedInTheStateFile)
{
    const std::int64_t before = tlacpi::MonotonicMs();
    ASSERT_TRUE(tolv::WriteItem(Watchdog, 60, tolv::WatchdogWriteMode));
    auto state = State();
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->armed);
    EXPECT_EQ(state->timeout, 60u);
    EXPECT_EQ(state->writes, 1u);
    EXPECT_GE(state->writtenMs, before);
    EXPECT_LE(state->writtenMs, tlacpi::MonotonicMs());

    ASSERT_TRUE(tolv::WriteItem(Watchdog, 0, tolv::WatchdogWriteMode));
    state = State();
    ASSERT_TRUE(state);
    EXPECT_FALSE(state->armed);
    EXPECT_EQ(state->timeout, 0u);
    EXPECT_EQ(state->writes, 2u);
    const auto text = testsupport::ReadFile(folder / "watchdog.state");
    EXPECT_EQ(text.rfind("armed=0\ntimeout=0\nwritten_ms=", 0), 0u) << text;
}

TEST_F(SimLibraryTest, WriteCounterContinuesFromAnEarlierRun)
{
    testsupport::WriteFile(folder / "watchdog.state",
                           "armed=0\ntimeout=0\nwritten_ms=1\nwrites=41\n");
    ASSERT_TRUE(tolv::WriteItem(Watchdog, 30, 2));
    EXPECT_EQ(State()->writes, 42u);
}

TEST_F(SimLibraryTest, OtherModesAndUnknownItemsAreRefused)
{
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 1));
    EXPECT_FALSE(tolv::WriteItem(0x11060008, 60, 2));
    EXPECT_FALSE(std::filesystem::exists(folder / "watchdog.state"));
    EXPECT_TRUE(tolv::WriteItem(0x12000001, 5, 2));
}

TEST_F(SimLibraryTest, UnwritableFolderMakesTheWriteFail)
{
    testsupport::WriteFile(testsupport::Root() / "file", "x");
    Use("sim:" + (testsupport::Root() / "file").string());
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 2));
}

TEST_F(SimLibraryTest, UnknownFirmwareChoiceHasNoItems)
{
    Use("bogus:/dev/null");
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 2));
}

TEST_F(SimLibraryTest, MissingOrFakeWatchdogDeviceHasNoWatchdogItem)
{
    Use("device:" + (testsupport::Root() / "no-such-watchdog").string());
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 2));
    // A plain file is no watchdog, and nothing may be written into it.
    const auto file = testsupport::Root() / "plain-file";
    testsupport::WriteFile(file, "");
    Use("device:" + file.string());
    EXPECT_FALSE(tolv::ItemExists(Watchdog));
    EXPECT_FALSE(tolv::WriteItem(Watchdog, 60, 2));
    EXPECT_EQ(testsupport::ReadFile(file), "");
}

TEST_F(SimLibraryTest, WritesFromTwoThreadsAreAllCounted)
{
    // The program lists and writes from its user-interface thread and its kick thread at once.
    auto writer = [] {
        for (int i = 0; i < 100; ++i) {
            EXPECT_TRUE(tolv::ItemExists(Watchdog));
            EXPECT_TRUE(tolv::WriteItem(Watchdog, 60, 2));
        }
    };
    std::thread other(writer);
    writer();
    other.join();
    const auto state = State();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->writes, 200u);
}

} // namespace

namespace {

// What the library reports of the simulated watchdog, by the state file and the expiry record
// left before the report (written_ms is the monotonic clock; "NOW" is put in for the present).
struct SimReportRow {
    const char* name;
    const char* state;    // DIR/watchdog.state before; empty: none
    const char* log;      // DIR/expiries.log before; empty: none
    std::uint32_t armed;  // the program's write before the report (0: none)
    int running, held, timeout, timeLeft;
    bool lastRestartByWatchdog;
    const char* restartId;
    int expiryLines;      // in the log after two reports and a look of the monitor
};

void PrintTo(const SimReportRow& row, std::ostream* out)
{
    *out << row.name;
}

const SimReportRow SimReportRows[] = {
    {"NoState", "", "", 0, 0, 0, -1, -1, false, "", 0},
    {"ArmedByThisProgram", "", "", 60, 1, 1, 60, 60, false, "", 0},
    {"ArmedByAnotherProcess", "armed=1\ntimeout=30\nwritten_ms=NOW\nwrites=4\npid=1\n", "", 0, 1, 0, 30, 30, false, "", 0},
    {"RanOutBeforeTheStart", "armed=1\ntimeout=5\nwritten_ms=1\nwrites=1\n", "", 0, 0, 0, 5, -1, true, "sim-1-5001", 1},
    {"RanOutAndArmedAtOnce", "armed=1\ntimeout=5\nwritten_ms=1\nwrites=1\n", "", 30, 1, 1, 30, 30, true, "sim-1-5001", 1},
    {"ArmedByAnEarlierBoot", "armed=1\ntimeout=5\nwritten_ms=999999999999\nwrites=1\n", "", 0, 0, 0, 5, -1, false, "", 0},
    {"OldRecordWithoutItsTime", "", "garbage\nexpired_ms=9 timeout=1 written_ms=1 writes=3\n", 0, 0, 0, -1, -1, true, "sim-3-9", 2},
};

class SimReport : public SimLibraryTest, public testing::WithParamInterface<SimReportRow> {};

TEST_P(SimReport, TellsTheCountdownAndTheLastRestart)
{
    const SimReportRow& row = GetParam();
    std::string state = row.state;
    if (const auto now = state.find("NOW"); now != std::string::npos)
        state.replace(now, 3, std::to_string(tlacpi::MonotonicMs()));
    if (!state.empty())
        testsupport::WriteFile(folder / "watchdog.state", state);
    if (*row.log)
        testsupport::WriteFile(folder / "expiries.log", row.log);
    if (row.armed) {
        ASSERT_TRUE(tolv::WriteItem(Watchdog, row.armed, 2));
    }

    const auto report = tolv::ReadWatchdogReport();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->running, row.running);
    EXPECT_EQ(report->held, row.held);
    EXPECT_EQ(report->timeout, row.timeout);
    EXPECT_EQ(report->timeLeft, row.timeLeft);
    EXPECT_EQ(report->bootStatus, row.lastRestartByWatchdog ? WDIOF_CARDRESET : 0);
    EXPECT_STREQ(report->restartId, row.restartId);
    // Another live process's countdown names it (pid 1 always runs).
    const bool other = std::string_view(row.state).ends_with("pid=1\n");
    EXPECT_EQ(report->holderPid, other ? 1 : 0);
    EXPECT_EQ(std::string(report->holder).rfind(other ? "process 1" : "", 0), 0u) << report->holder;
    if (row.lastRestartByWatchdog && !*row.log) {
        const std::int64_t now = std::time(nullptr);
        EXPECT_LE(report->restartAt, now);
        EXPECT_GE(report->restartAt, now - tlacpi::MonotonicMs() / 1000 - 2);
    }
    // The evidence is recorded once, however often it is looked at.
    (void)tolv::ReadWatchdogReport();
    tlacpi::SimMonitor(folder).Check(tlacpi::MonotonicMs());
    const std::string log = std::filesystem::exists(folder / "expiries.log")
        ? testsupport::ReadFile(folder / "expiries.log") : "";
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), row.expiryLines) << log;
}

INSTANTIATE_TEST_SUITE_P(States, SimReport, testing::ValuesIn(SimReportRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimLibraryTest, AReportOfAnUnknownSizeIsRefused)
{
    void* library = dlopen((std::filesystem::read_symlink("/proc/self/exe").parent_path() / "libtlacpi.so").c_str(), RTLD_NOW);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto read = reinterpret_cast<TlAcpiReadWatchdogFunction>(dlsym(library, "TlAcpiReadWatchdog"));
    ASSERT_NE(read, nullptr);
    TlAcpiWatchdogReport report{};
    report.size = sizeof report - 8;
    EXPECT_EQ(read(&report), 0);
    EXPECT_EQ(read(nullptr), 0);
    report.size = sizeof report;
    EXPECT_EQ(read(&report), 1);
    EXPECT_STREQ(report.identity, "Simulated watchdog");
    dlclose(library);
}

} // namespace
