#include "SimMonitor.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace tlacpi;

class SimMonitorTest : public testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(folder); }

    void Written(bool armed, std::uint32_t timeout, std::int64_t atMs)
    {
        ++writes;
        ASSERT_TRUE(WriteFileAtomically(folder / "watchdog.state",
                                        FormatSimState(SimState{armed, timeout, atMs, writes})));
    }

    std::string MonitorState() const { return testsupport::ReadFile(folder / "monitor.state"); }
    std::string ExpiryLog() const { return testsupport::ReadFile(folder / "expiries.log"); }

    const std::filesystem::path folder = testsupport::Root() / "sim";
    std::uint64_t writes = 0;
};

TEST_F(SimMonitorTest, CountsDownAndReportsAnExpiryOncePerWrite)
{
    SimMonitor monitor(folder);
    EXPECT_EQ(MonitorState(), "expired=0\nexpiries=0\n");
    Written(true, 60, 10'000);
    auto look = monitor.Check(10'000 + 59'950);
    EXPECT_FALSE(look.expired);
    EXPECT_NE(look.line.find("0.0 s of 60 s left"), std::string::npos) << look.line;
    look = monitor.Check(70'000);
    EXPECT_TRUE(look.expired);
    EXPECT_NE(look.line.find("EXPIRED"), std::string::npos);
    EXPECT_EQ(MonitorState(), "expired=1\nexpiries=1\n");
    EXPECT_EQ(ExpiryLog().rfind("expired_ms=70000 timeout=60 written_ms=10000 writes=1 expired_at=", 0), 0u)
        << ExpiryLog();
    look = monitor.Check(80'000);
    EXPECT_FALSE(look.expired);
    EXPECT_EQ(look.line.find("EXPIRED"), std::string::npos);
    EXPECT_EQ(monitor.Expiries(), 1);
}

TEST_F(SimMonitorTest, AKickBeforeTheEndKeepsItAlive)
{
    SimMonitor monitor(folder);
    Written(true, 10, 0);
    EXPECT_FALSE(monitor.Check(9'000).expired);
    Written(true, 10, 9'000);
    EXPECT_FALSE(monitor.Check(18'000).expired);
    EXPECT_TRUE(monitor.Check(19'000).expired);
}

TEST_F(SimMonitorTest, NewWriteAfterAnExpiryArmsItAgain)
{
    SimMonitor monitor(folder);
    Written(true, 1, 0);
    EXPECT_TRUE(monitor.Check(1'000).expired);
    Written(true, 1, 5'000);
    EXPECT_FALSE(monitor.Check(5'500).expired);
    EXPECT_EQ(MonitorState(), "expired=0\nexpiries=1\n");
    EXPECT_TRUE(monitor.Check(6'000).expired);
    EXPECT_EQ(MonitorState(), "expired=1\nexpiries=2\n");
}

TEST_F(SimMonitorTest, DisarmedOrMissingStateNeverExpires)
{
    SimMonitor monitor(folder);
    EXPECT_FALSE(monitor.Check(1'000'000).expired);
    Written(true, 1, 0);
    Written(false, 0, 500);
    EXPECT_FALSE(monitor.Check(1'000'000).expired);
    testsupport::WriteFile(folder / "watchdog.state", "armed=1\ngarbage");
    EXPECT_FALSE(monitor.Check(2'000'000).expired);
    EXPECT_EQ(ExpiryLog(), "");
}

TEST_F(SimMonitorTest, StateFromAnEarlierBootDoesNotCount)
{
    SimMonitor monitor(folder);
    Written(true, 1, 50'000);
    EXPECT_FALSE(monitor.Check(1'000).expired);
}

TEST_F(SimMonitorTest, ExpiryCountContinuesFromTheLog)
{
    testsupport::WriteFile(folder / "expiries.log", "a\nb\n");
    SimMonitor monitor(folder);
    Written(true, 1, 0);
    EXPECT_TRUE(monitor.Check(2'000).expired);
    EXPECT_EQ(MonitorState(), "expired=1\nexpiries=3\n");
}

} // namespace
