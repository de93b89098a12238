#include "WatchDogTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <ostream>
#include <string>

// A watchdog that cannot be switched off, left by a program that must end: the kicking ends
// first, then the longest countdown the driver takes is left running, so the restart that
// nobody can prevent comes as late as the device allows.
namespace {

using watchdogtest::CountdownLimit;
using watchdogtest::DirectBackendTest;

struct StretchRow {
    const char* name;
    std::uint32_t driverLongest;  // the longest countdown the driver takes
    std::int32_t answer;          // what StretchCountdown answers
    std::uint32_t left;           // the countdown in effect afterwards
    friend void PrintTo(const StretchRow& row, std::ostream* out) { *out << row.name; }
};

const StretchRow kStretchRows[] = {
    {"TheCapWhenTheDriverTakesIt", std::numeric_limits<std::uint32_t>::max(),
     WatchDogControl::kLongestCountdown, 65535},
    {"TheDriversOwnLongest", 600, 600, 600},
    {"NothingLongerLeavesTheRunningCountdown", 60, 0, 60},
};

class Stretch : public DirectBackendTest, public testing::WithParamInterface<StretchRow> {
protected:
    CountdownLimit m_Limit{GetParam().driverLongest};  // over the fixture's firmware
};

TEST_P(Stretch, EndsTheKickingAndLeavesTheLongestCountdownTaken)
{
    const StretchRow& row = GetParam();
    m_Control->Start();
    ASSERT_TRUE(RunUntil(0));
    m_Firmware.SetRefuseOff(true);
    m_Control->Close();
    ASSERT_FALSE(m_Control->CloseFailure().empty());
    ASSERT_TRUE(m_Control->IsRunning()) << "a watchdog that refuses to stop is kept kicked";
    const std::size_t before = m_Limit.Asked().size();

    EXPECT_EQ(m_Control->StretchCountdown(), row.answer);
    EXPECT_EQ(m_Control->KickThread(), nullptr) << "a kick could put the short countdown back";
    EXPECT_FALSE(m_Control->IsRunning());
    EXPECT_EQ(m_Firmware.WatchdogValues().back(), row.left);
    // Bounded, and never shorter than the countdown that was running.
    const auto asked = m_Limit.Asked();
    ASSERT_GT(asked.size(), before);
    EXPECT_LE(asked.size() - before, 18u);
    EXPECT_GE(*std::min_element(asked.begin() + static_cast<std::ptrdiff_t>(before), asked.end()),
              60u);

    // The window's own Close as the program ends finds nothing running and writes nothing.
    const std::size_t writes = m_Firmware.WriteCount();
    m_Control->Close();
    EXPECT_EQ(m_Firmware.WriteCount(), writes);
    EXPECT_EQ(m_Firmware.WatchdogValues().back(), row.left);
}

INSTANTIATE_TEST_SUITE_P(
    WatchDogControlDirect, Stretch, testing::ValuesIn(kStretchRows),
    [](const testing::TestParamInfo<StretchRow>& info) { return std::string(info.param.name); });

} // namespace
