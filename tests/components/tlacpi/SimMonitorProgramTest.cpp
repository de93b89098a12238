// tlacpi-sim-monitor as a program, watching writes that the firmware library makes. These
// cases wait for short real countdowns (1 s), since the monitor and the library share the
// machine's monotonic clock.

#include "SimState.h"

#include "tolv/BiosInterface.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>

extern char** environ;

namespace {

constexpr std::uint32_t Watchdog = tolv::WatchdogItemId;

class Monitor {
public:
    Monitor(const std::filesystem::path& folder, const std::filesystem::path& output,
            std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{(testsupport::BinFolder() / "tlacpi-sim-monitor").string(),
                                      folder.string(), "--interval-ms", "100"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int error = posix_spawn(&m_Pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            m_Pid = -1;
    }

    ~Monitor()
    {
        if (m_Pid > 0)
            Stop(SIGKILL);
    }

    bool Running() const { return m_Pid > 0; }

    // The exit status once the program has ended by itself; -1 when it still runs at the limit.
    int WaitForExit(std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
                m_Pid = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    bool Signal(int signal) const { return kill(m_Pid, signal) == 0; }

    // Sends the signal and answers the exit status.
    int Stop(int signal)
    {
        kill(m_Pid, signal);
        int status = 0;
        while (waitpid(m_Pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_Pid = -1;
        return status;
    }

private:
    pid_t m_Pid = -1;
};

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class SimMonitorProgram : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(folder);
        setenv("TLACPI_FIRMWARE", ("sim:" + folder.string()).c_str(), 1);
    }
    void TearDown() override { unsetenv("TLACPI_FIRMWARE"); }

    std::string Output() const { return testsupport::ReadFile(output); }

    const std::filesystem::path folder = testsupport::Root() / "sim";
    const std::filesystem::path output = testsupport::Root() / "monitor.out";
};

TEST_F(SimMonitorProgram, ArmedCountdownWithoutKicksExpiresAndRunsTheCommand)
{
    const auto marker = testsupport::Root() / "restarted";
    Monitor monitor(folder, output, {"--on-expire", "echo ran >> '" + marker.string() + "'"});
    ASSERT_TRUE(monitor.Running());
    ASSERT_TRUE(tolv::WriteItem(Watchdog, 1, tolv::WatchdogWriteMode));
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); },
                        std::chrono::milliseconds(5000)));
    EXPECT_NE(Output().find("EXPIRED"), std::string::npos);
    EXPECT_NE(testsupport::ReadFile(folder / "monitor.state").find("expired=1"),
              std::string::npos);
    EXPECT_NE(testsupport::ReadFile(folder / "expiries.log").find("timeout=1 "),
              std::string::npos);

    const int status = monitor.Stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(testsupport::ReadFile(marker), "ran\n");
    EXPECT_NE(Output().find("monitor ended"), std::string::npos);
}

TEST_F(SimMonitorProgram, SwitchedOffCountdownDoesNotExpire)
{
    Monitor monitor(folder, output);
    ASSERT_TRUE(monitor.Running());
    ASSERT_TRUE(tolv::WriteItem(Watchdog, 1, tolv::WatchdogWriteMode));
    ASSERT_TRUE(tolv::WriteItem(Watchdog, 0, tolv::WatchdogWriteMode));
    // Long enough for the 1 s countdown to have run out had it still been armed.
    EXPECT_TRUE(WaitFor([&] { return Output().find("disarmed") != std::string::npos; },
                        std::chrono::milliseconds(3000)));
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    const int status = monitor.Stop(SIGINT);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(Output().find("EXPIRED"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder / "expiries.log"));
    EXPECT_EQ(testsupport::ReadFile(folder / "monitor.state"), "expired=0\nexpiries=0\n");
}

TEST_F(SimMonitorProgram, WrongArgumentsAreRefused)
{
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{"--interval-ms", "x"}, std::vector<std::string>{"--bogus"},
          std::vector<std::string>{"--interval-ms", "0"}}) {
        Monitor monitor(folder, output, extra);
        ASSERT_TRUE(monitor.Running());
        const int status = monitor.WaitForExit(std::chrono::milliseconds(5000));
        EXPECT_TRUE(WIFEXITED(status)) << extra[0];
        EXPECT_EQ(WEXITSTATUS(status), 2) << extra[0];
    }
}

// A FIFO that a command reads from: the command blocks until the test lets it go. Let go on
// destruction at the latest, so no command outlives the test.
class Gate {
public:
    explicit Gate(std::filesystem::path path) : m_Path(std::move(path))
    {
        m_Made = mkfifo(m_Path.c_str(), 0600) == 0;
    }
    ~Gate() { Open(); }
    bool Made() const { return m_Made; }
    const std::filesystem::path& Path() const { return m_Path; }
    // Lets a reader go: opening for writing and closing gives it the end of the file.
    void Open()
    {
        if (!m_Made)
            return;
        const int fd = ::open(m_Path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    }

private:
    std::filesystem::path m_Path;
    bool m_Made = false;
};

std::size_t CountOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST_F(SimMonitorProgram, TheCommandHoldsUpNeitherTheCountdownNorTheExit)
{
    const auto marker = testsupport::Root() / "command";
    Gate gate(testsupport::Root() / "gate");
    ASSERT_TRUE(gate.Made());
    // A countdown that ran out long ago: the first look reports it.
    ASSERT_TRUE(tlacpi::WriteFileAtomically(
        folder / tlacpi::SimStateFileName,
        tlacpi::FormatSimState({true, 1, tlacpi::MonotonicMs() - 10'000, 1})));
    Monitor monitor(folder, output,
                    {"--on-expire", "echo started >> '" + marker.string() + "'; cat '" +
                                        gate.Path().string() + "' > /dev/null"});
    ASSERT_TRUE(monitor.Running());
    ASSERT_TRUE(WaitFor([&] { return testsupport::ReadFile(marker) == "started\n"; },
                        std::chrono::milliseconds(5000)));
    // While the command waits at the gate, the monitor goes on looking.
    EXPECT_TRUE(WaitFor([&] { return CountOf(Output(), "ran out; waiting") >= 3; },
                        std::chrono::milliseconds(5000)))
        << Output();
    ASSERT_TRUE(monitor.Signal(SIGTERM));
    const int status = monitor.WaitForExit(std::chrono::milliseconds(5000));
    gate.Open();
    EXPECT_TRUE(WIFEXITED(status)) << Output();
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(Output().find("monitor ended"), std::string::npos) << Output();
    EXPECT_EQ(CountOf(Output(), "EXPIRED"), 1u);
}

TEST_F(SimMonitorProgram, HelpPrintsTheUsageWithTheIntervalRange)
{
    Monitor monitor(folder, output, {"--help"});
    ASSERT_TRUE(monitor.Running());
    const int status = monitor.WaitForExit(std::chrono::milliseconds(5000));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(Output().find("usage: tlacpi-sim-monitor DIR"), std::string::npos) << Output();
    EXPECT_NE(Output().find("10 to 3600000 ms"), std::string::npos) << Output();
}

TEST_F(SimMonitorProgram, ARegularFileIsRefusedAsItsFolder)
{
    const auto file = testsupport::Root() / "plain";
    testsupport::WriteFile(file, "x");
    Monitor monitor(file, output);
    ASSERT_TRUE(monitor.Running());
    const int status = monitor.WaitForExit(std::chrono::milliseconds(5000));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(Output().find(file.string() + " is not a folder"), std::string::npos) << Output();
    EXPECT_EQ(testsupport::ReadFile(file), "x");
}

} // namespace
