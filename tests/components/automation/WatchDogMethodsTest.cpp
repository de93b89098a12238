#include "WatchDogMethods.h"

#include <gtest/gtest.h>

#include <systemd/sd-bus.h>

namespace {

using automation::MethodResult;
using automation::WatchDogMethods;

// Behaves as the direct backend does towards the firmware: Start does nothing while a kick
// thread exists, Stop switches the countdown off and holds the thread, Close ends the thread and
// switches off (or, when the firmware refuses, keeps kicking), and SetTime writes the countdown
// at once, keeping the times only when the firmware took it.
class BackendModel : public CWatchDogControl {
public:
    void Start() override
    {
        ++starts;
        if (thread)
            return;
        thread = kicking = true;
        firmware = restart;
    }
    void Stop() override
    {
        if (!thread)
            return;
        kicking = false;
        firmware = 0;
    }
    void Close() override
    {
        if (!thread)
            return;
        closeFailure.clear();
        thread = kicking = false;
        firmware = 0;
        if (refuseOff) {
            firmware = restart;
            closeFailure = "Watchdog device /dev/watchdog cannot be switched off (nowayout is set)";
            Start();
        }
    }
    int SetTime(std::int32_t newRestart, std::int32_t newReload) override
    {
        times.emplace_back(newRestart, newReload);
        timeFailure = unreachable;
        if (!unreachable.empty())
            return 0;
        firmware = restart = newRestart;
        reload = newReload;
        return 0;
    }
    std::string TimeFailure() const override { return timeFailure; }
    std::string CloseFailure() const override { return closeFailure; }

    bool Armed() const { return kicking && firmware > 0; }

    bool thread = false;
    bool kicking = false;
    std::int32_t firmware = 0;  // the countdown in the firmware, 0 when off
    std::int32_t restart = 60;
    std::int32_t reload = 55;
    int starts = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> times;  // every SetTime
    std::string unreachable;  // the firmware's reason when it cannot be armed
    bool refuseOff = false;
    std::string timeFailure;
    std::string closeFailure;
};

class WatchDogMethodsTest : public testing::Test {
protected:
    BackendModel backend;
    WatchDogMethods methods{backend, 60, 55};
};

TEST_F(WatchDogMethodsTest, StartAfterStopArmsAndKicksAgain)
{
    ASSERT_FALSE(methods.SetTime(30, 10));
    ASSERT_FALSE(methods.Start());
    EXPECT_TRUE(backend.Armed());
    ASSERT_FALSE(methods.Stop());
    EXPECT_EQ(backend.firmware, 0);
    ASSERT_FALSE(methods.Start());
    EXPECT_TRUE(backend.Armed());
    EXPECT_EQ(backend.firmware, 30);
    // And once more, and a plain Start while running changes nothing.
    ASSERT_FALSE(methods.Stop());
    ASSERT_FALSE(methods.Start());
    ASSERT_FALSE(methods.Start());
    EXPECT_TRUE(backend.Armed());
    ASSERT_FALSE(methods.Close());
    EXPECT_FALSE(backend.thread);
    EXPECT_EQ(backend.firmware, 0);
}

TEST_F(WatchDogMethodsTest, StartWithoutSetTimeArmsWithTheBackendsTimes)
{
    ASSERT_FALSE(methods.Start());
    EXPECT_EQ(backend.times, (std::vector<std::pair<std::int32_t, std::int32_t>>{{60, 55}}));
    EXPECT_EQ(backend.firmware, 60);
}

struct RefusedRow {
    const char* name;
    std::uint32_t restart;
    std::uint32_t reload;
    const char* reason;
};

void PrintTo(const RefusedRow& row, std::ostream* out)
{
    *out << row.name;
}

class RefusedTimes : public WatchDogMethodsTest, public testing::WithParamInterface<RefusedRow> {};

TEST_P(RefusedTimes, AreInvalidArgumentsAndNeverReachTheBackend)
{
    const RefusedRow& row = GetParam();
    const MethodResult result = methods.SetTime(row.restart, row.reload);
    ASSERT_TRUE(result.has_value());
    EXPECT_STREQ(result->name, SD_BUS_ERROR_INVALID_ARGS);
    EXPECT_NE(result->message.find(row.reason), std::string::npos) << result->message;
    const std::string call =
        "SetTime(" + std::to_string(row.restart) + ", " + std::to_string(row.reload) + ")";
    EXPECT_EQ(result->message.rfind(call, 0), 0u) << result->message;
    EXPECT_TRUE(backend.times.empty());
    // A Start afterwards arms with the times held before, not the refused ones.
    ASSERT_FALSE(methods.Start());
    EXPECT_EQ(backend.firmware, 60);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedTimes,
    testing::Values(
        // The countdown would run out between two kicks on a healthy machine.
        RefusedRow{"ReloadLongerThanCountdown", 2, 5, "must be shorter than the restart"},
        RefusedRow{"ReloadEqualToCountdown", 30, 30, "must be shorter than the restart"},
        RefusedRow{"ZeroCountdown", 0, 5, "at least 1 second"},
        RefusedRow{"ZeroReload", 30, 0, "at least 1 second"},
        RefusedRow{"BothZero", 0, 0, "at least 1 second"},
        RefusedRow{"CountdownBeyond32Bits", 0x80000000u, 5, "above 2147483647 seconds"},
        RefusedRow{"ReloadBeyond32Bits", 60, 0xFFFFFFFFu, "above 2147483647 seconds"}),
    [](const testing::TestParamInfo<RefusedRow>& info) { return std::string(info.param.name); });

TEST(RefuseTimes, AcceptsAReloadJustShorterThanTheCountdown)
{
    EXPECT_FALSE(automation::RefuseTimes(2, 1).has_value());
    EXPECT_FALSE(automation::RefuseTimes(0x7FFFFFFFu, 0x7FFFFFFEu).has_value());
    EXPECT_TRUE(automation::RefuseTimes(0x7FFFFFFFu, 0x7FFFFFFFu).has_value());
}

TEST_F(WatchDogMethodsTest, AFirmwareThatCannotBeArmedFailsSetTimeAndStartWithItsReason)
{
    backend.unreachable = "TLACPI_FIRMWARE=bogus is neither device:PATH nor sim:DIR";
    MethodResult result = methods.SetTime(30, 10);
    ASSERT_TRUE(result.has_value());
    EXPECT_STREQ(result->name, SD_BUS_ERROR_FAILED);
    EXPECT_NE(result->message.find("SetTime(30, 10): TLACPI_FIRMWARE=bogus"), std::string::npos)
        << result->message;

    result = methods.Start();
    ASSERT_TRUE(result.has_value());
    EXPECT_STREQ(result->name, SD_BUS_ERROR_FAILED);
    EXPECT_NE(result->message.find("Start: TLACPI_FIRMWARE=bogus"), std::string::npos)
        << result->message;
    EXPECT_EQ(backend.starts, 0) << "nothing to kick";
    // The refused SetTime did not replace the times a later Start arms with.
    EXPECT_EQ(backend.times.back(), std::make_pair(60, 55));

    backend.unreachable.clear();
    EXPECT_FALSE(methods.Start());
    EXPECT_TRUE(backend.Armed());
}

TEST_F(WatchDogMethodsTest, ACloseTheFirmwareRefusesFailsAndTheWatchdogStaysKicked)
{
    ASSERT_FALSE(methods.Start());
    backend.refuseOff = true;
    const MethodResult result = methods.Close();
    ASSERT_TRUE(result.has_value());
    EXPECT_STREQ(result->name, SD_BUS_ERROR_FAILED);
    EXPECT_NE(result->message.find("nowayout"), std::string::npos) << result->message;
    EXPECT_TRUE(backend.Armed());
}

} // namespace
