#include "ChildProgram.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using testsupport::ChildProgram;

// The direct backend in a process under resource limits a user may run with (`ulimit -l`,
// `ulimit -v`), set with prlimit: Start's memory lock must not starve the kick thread, and a
// Start that cannot make its thread must not leave the countdown armed.
namespace {

std::optional<long> Kilobytes(const std::string& log, const std::string& label)
{
    const auto at = log.find(label + ": ");
    if (at == std::string::npos)
        return std::nullopt;
    return std::strtol(log.c_str() + at + label.size() + 2, nullptr, 10);
}

// Raising a hard limit needs CAP_SYS_RESOURCE.
bool MayRaiseHardLimits()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("CapEff:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> 24) & 1;
    return false;
}

std::optional<std::filesystem::path> FindOnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::filesystem::path candidate =
            std::filesystem::path(folders.substr(start, end - start)) / program;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

// The runner on the fake firmware with a countdown of 3 s kicked every second, two kicks, and
// without CAP_IPC_LOCK so that the memory limit binds even for root.
class WatchdogLimits : public testing::Test {
protected:
    void SetUp() override
    {
        m_Prlimit = FindOnPath("prlimit");
        if (!m_Prlimit)
            GTEST_SKIP() << "prlimit (util-linux) is not installed";
        // The size of the image at Start, from a run under the test's own limits (printed
        // before Start, so whatever became of that run).
        ChildProgram probe(m_Runner, m_Arguments, testsupport::Root() / "probe.log");
        ASSERT_TRUE(probe.Started());
        ASSERT_TRUE(probe.Wait(60s).has_value()) << probe.Log();
        const std::optional<long> image = Kilobytes(probe.Log(), "image");
        ASSERT_TRUE(image && *image > 0) << probe.Log();
        m_ImageKb = *image;
    }

    // Runs the runner with resource (prlimit's option, such as "memlock") limited to kilobytes;
    // false (and the test skipped) when the test may not set that limit.
    bool RunLimited(int resource, const std::string& option, long kilobytes)
    {
        const rlim_t limit = rlim_t(kilobytes) * 1024;
        rlimit current{};
        if (getrlimit(resource, &current) != 0)
            return false;
        if (current.rlim_max != RLIM_INFINITY && current.rlim_max < limit && !MayRaiseHardLimits())
            return false;
        const std::string value = std::to_string(limit);
        std::vector<std::string> words{"--" + option + "=" + value + ":" + value, m_Runner};
        words.insert(words.end(), m_Arguments.begin(), m_Arguments.end());
        m_Run = std::make_unique<ChildProgram>(*m_Prlimit, words, testsupport::Root() / "run.log");
        EXPECT_TRUE(m_Run->Started());
        m_Exit = m_Run->Wait(60s);
        EXPECT_TRUE(m_Exit.has_value()) << m_Run->Log();
        return true;
    }

    const std::string m_Runner = (testsupport::BinFolder() / "watchdog-memlock-runner").string();
    const std::vector<std::string> m_Arguments{"--fake-firmware", "2", "--without-ipc-lock", "3",
                                               "1"};
    std::optional<std::filesystem::path> m_Prlimit;
    long m_ImageKb = 0;
    std::unique_ptr<ChildProgram> m_Run;
    std::optional<testsupport::ChildExit> m_Exit;
};

TEST_F(WatchdogLimits, UnderAMemoryLockLimitThatAdmitsOnlyTheImageStartKicksAndLocks)
{
    // Room for the image and a small stack, not for a thread stack of the default 8 MiB.
    if (!RunLimited(RLIMIT_MEMLOCK, "memlock", m_ImageKb + 2048))
        GTEST_SKIP() << "the hard RLIMIT_MEMLOCK is below the image of " << m_ImageKb << " kB";
    ASSERT_TRUE(m_Exit.has_value());
    const std::string log = m_Run->Log();
    EXPECT_TRUE(m_Exit->exited && m_Exit->code == 0) << "signal " << m_Exit->signal << "\n" << log;
    EXPECT_EQ(Kilobytes(log, "kicks"), 2) << log;
    const std::optional<long> locked = Kilobytes(log, "locked");
    ASSERT_TRUE(locked.has_value()) << log;
    EXPECT_GT(*locked, 0) << "nothing was locked\n" << log;
}

TEST_F(WatchdogLimits, AStartThatCannotMakeItsThreadLeavesTheWatchdogOff)
{
    // No address space left for the kick thread's stack.
    if (!RunLimited(RLIMIT_AS, "as", m_ImageKb + 256))
        GTEST_SKIP() << "the hard RLIMIT_AS is below the image of " << m_ImageKb << " kB";
    ASSERT_TRUE(m_Exit.has_value());
    const std::string log = m_Run->Log();
    EXPECT_TRUE(m_Exit->exited && m_Exit->code == 1) << "signal " << m_Exit->signal << "\n" << log;
    EXPECT_NE(log.find("start failed: cannot create a thread"), std::string::npos) << log;
    EXPECT_EQ(Kilobytes(log, "last write"), 0) << log;
}

} // namespace
