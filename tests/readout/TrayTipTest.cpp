#include "readout/TrayTip.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

namespace {

std::optional<TlAcpiWatchdogReport> Device(std::int32_t timeLeft, std::int32_t noWayOut)
{
    TlAcpiWatchdogReport report{};
    report.size = sizeof report;
    report.present = 1;
    report.timeLeft = timeLeft;
    report.noWayOut = noWayOut;
    return report;
}

constexpr std::uint32_t kLongest = std::numeric_limits<std::uint32_t>::max();
constexpr std::int32_t kMostLeft = std::numeric_limits<std::int32_t>::max();
const std::string kOn60 = "TOLV Watchdog Timer: on, restart after 60 s, reload every 10 s";

struct Row {
    const char* name;
    bool on;
    std::uint32_t restart, reload;
    std::optional<TlAcpiWatchdogReport> report;
    std::string tip;
};

// Rows print by name.
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

class TrayTipTest : public testing::TestWithParam<Row> {};

TEST_P(TrayTipTest, SaysWhatRuns)
{
    const Row& row = GetParam();
    const std::string tip = readout::TrayTip(row.on, row.restart, row.reload, row.report);
    EXPECT_EQ(tip, row.tip);
    EXPECT_LE(tip.size(), readout::kMaxTrayTipLength);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TrayTipTest,
    testing::Values(
        Row{"Off", false, 60, 10, Device(57, 1), "TOLV Watchdog Timer: off"},
        Row{"OnWithoutReport", true, 60, 10, std::nullopt, kOn60},
        Row{"DeviceTellsNothing", true, 60, 10, Device(TLACPI_UNKNOWN, TLACPI_UNKNOWN), kOn60},
        Row{"TimeLeft", true, 60, 10, Device(57, 0), kOn60 + "\n57 s left"},
        Row{"NoTimeLeft", true, 60, 10, Device(0, 0), kOn60 + "\n0 s left"},
        Row{"NowayoutOnly", true, 60, 10, Device(TLACPI_UNKNOWN, 1), kOn60 + "\ncannot be switched off (nowayout)"},
        Row{"TimeLeftAndNowayout", true, 60, 10, Device(57, 1),
            kOn60 + "\n57 s left; cannot be switched off (nowayout)"},
        // The longest numbers overrun the notification area's 127 characters: the end is cut.
        Row{"LongestNumbers", true, kLongest, kLongest, Device(kMostLeft, 1),
            "TOLV Watchdog Timer: on, restart after 4294967295 s, reload every 4294967295 s\n"
            "2147483647 s left; cannot be switched off (noway"}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
