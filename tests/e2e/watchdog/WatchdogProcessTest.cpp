#include "ChildProgram.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using testsupport::ChildProgram;
using testsupport::WaitUntil;

// The promise of the direct backend, kept by a real process on the simulated firmware: with a
// countdown of 3 s kicked every second, a healthy process never lets it run out; a frozen one
// does, within the countdown; and closing it leaves the firmware disarmed.
namespace {

constexpr int RestartSeconds = 3;
constexpr int ReloadSeconds = 1;

bool HasLine(const std::string& text, const std::string& line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

class WatchdogProcess : public testing::Test {
protected:
    WatchdogProcess()
        : m_Sim(testsupport::Root() / "sim")
    {
        std::filesystem::create_directories(m_Sim);
        setenv("TLACPI_FIRMWARE", ("sim:" + m_Sim.string()).c_str(), 1);
    }
    ~WatchdogProcess() override { unsetenv("TLACPI_FIRMWARE"); }

    std::string FirmwareState() const { return testsupport::ReadFile(m_Sim / "watchdog.state"); }
    std::string MonitorState() const { return testsupport::ReadFile(m_Sim / "monitor.state"); }
    bool Expired() const { return HasLine(MonitorState(), "expired=1"); }
    bool NoExpiries() const { return HasLine(MonitorState(), "expiries=0"); }

    std::unique_ptr<ChildProgram> Start(const std::string& program,
                                        const std::vector<std::string>& arguments)
    {
        auto child = std::make_unique<ChildProgram>(testsupport::BinFolder() / program, arguments,
                                                    testsupport::Root() / (program + ".log"));
        EXPECT_TRUE(child->Started()) << program;
        return child;
    }

    // Healthy for the given time, then frozen until the countdown runs out, then thawed and
    // ended: the firmware must end disarmed.
    void RunThePromise(std::chrono::seconds healthy)
    {
        auto monitor = Start("tlacpi-sim-monitor", {m_Sim.string(), "--interval-ms", "100"});
        auto runner = Start("watchdog-e2e-runner",
                            {std::to_string(RestartSeconds), std::to_string(ReloadSeconds)});
        ASSERT_TRUE(WaitUntil([&] { return HasLine(FirmwareState(), "armed=1"); }, 20s))
            << runner->Log();
        ASSERT_TRUE(WaitUntil([&] { return NoExpiries(); }, 5s)) << monitor->Log();

        // Healthy: the monitor must not see the countdown run out at any look.
        EXPECT_FALSE(WaitUntil([&] { return !NoExpiries(); }, healthy))
            << "expired while healthy:\n" << testsupport::ReadFile(m_Sim / "expiries.log");

        // Frozen: the last kick came before the stop, so the countdown runs out within it.
        ASSERT_TRUE(runner->Signal(SIGSTOP));
        EXPECT_TRUE(WaitUntil([&] { return Expired(); }, std::chrono::seconds(RestartSeconds + 1)))
            << monitor->Log();

        // Thawed: the kicks go on and re-arm the countdown.
        ASSERT_TRUE(runner->Signal(SIGCONT));
        EXPECT_TRUE(WaitUntil([&] { return !Expired(); }, 10s)) << monitor->Log();

        ASSERT_TRUE(runner->Signal(SIGTERM));
        const auto exit = runner->Wait(20s);
        ASSERT_TRUE(exit.has_value()) << runner->Log();
        EXPECT_TRUE(exit->exited && exit->code == 0) << runner->Log();
        EXPECT_TRUE(HasLine(FirmwareState(), "armed=0")) << FirmwareState();
        EXPECT_NE(runner->Log().find("closed"), std::string::npos);
        monitor->Signal(SIGTERM);
        (void)monitor->Wait(10s);  // only its files matter, and they are read above
    }

    std::filesystem::path m_Sim;
};

TEST_F(WatchdogProcess, KeepsTheFirmwareFromExpiringUntilFrozenAndDisarmsOnClose)
{
    RunThePromise(20s);
}

TEST_F(WatchdogProcess, KeepsTheFirmwareFromExpiringWithBothCoresBusy)
{
    // Busy loops at normal priority, one per core of the test machine and at least two.
    const unsigned cores = std::max(2u, std::thread::hardware_concurrency());
    std::vector<std::unique_ptr<ChildProgram>> busy;
    for (unsigned i = 0; i < cores; ++i) {
        busy.push_back(std::make_unique<ChildProgram>(
            "/bin/sh", std::vector<std::string>{"-c", "while :; do :; done"},
            testsupport::Root() / ("busy" + std::to_string(i) + ".log")));
        ASSERT_TRUE(busy.back()->Started());
    }
    RunThePromise(15s);
}

} // namespace
