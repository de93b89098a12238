#include "readout/TrayTip.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

const std::string kOn = "TOLV Watchdog Timer: on, restart after 60 s, reload every 10 s";
constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
constexpr int kNone = 99; // no report at all

struct Row {
    const char* name;
    bool on;
    std::uint32_t restart, reload;
    std::int32_t timeLeft, noWayOut;
    std::string tip;
    friend void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }
};

class TrayTipTest : public testing::TestWithParam<Row> {};

TEST_P(TrayTipTest, SaysWhatRuns)
{
    const Row& r = GetParam();
    TlAcpiWatchdogReport report{};
    report.timeLeft = r.timeLeft, report.noWayOut = r.noWayOut;
    const std::string tip = readout::TrayTip(r.on, r.restart, r.reload, r.timeLeft == kNone ? std::nullopt : std::optional(report));
    EXPECT_EQ(tip, r.tip);
    EXPECT_LE(tip.size(), readout::kMaxTrayTipLength);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TrayTipTest,
    testing::Values(Row{"Off", false, 60, 10, 57, 1, "TOLV Watchdog Timer: off"},
                    Row{"OnWithoutReport", true, 60, 10, kNone, 0, kOn},
                    Row{"DeviceTellsNothing", true, 60, 10, TLACPI_UNKNOWN, TLACPI_UNKNOWN, kOn},
                    Row{"TimeLeft", true, 60, 10, 57, 0, kOn + "\n57 s left"},
                    Row{"NoTimeLeft", true, 60, 10, 0, 0, kOn + "\n0 s left"},
                    Row{"NowayoutOnly", true, 60, 10, TLACPI_UNKNOWN, 1, kOn + "\ncannot be switched off (nowayout)"},
                    Row{"Both", true, 60, 10, 57, 1, kOn + "\n57 s left; cannot be switched off (nowayout)"},
                    // Beyond the notification area's 127 characters the end is cut.
                    Row{"LongestNumbers", true, kMax, kMax, std::numeric_limits<std::int32_t>::max(), 1,
                        "TOLV Watchdog Timer: on, restart after 4294967295 s, reload every 4294967295 s\n"
                        "2147483647 s left; cannot be switched off (noway"}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
