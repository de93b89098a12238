#include "readout/RestartNotice.h"

#include "platform/Paths.h"
#include "system/common.h"
#include "tolv/BiosInterface.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace {

std::filesystem::path SettingsFile()
{
    return platform::RegistryFolder() / "HKEY_LOCAL_MACHINE/Software/TOLV/TOLV Watchdog Timer.reg";
}

std::filesystem::path TraceFile()
{
    return testsupport::Root() / "var/lib/TOLV/TolvWatchDogTimer/trace.log";
}

TlAcpiWatchdogReport Report(std::int32_t bootStatus, const char* restartId, std::int64_t restartAt = 0)
{
    TlAcpiWatchdogReport report{};
    report.size = sizeof report;
    report.present = 1;
    report.bootStatus = bootStatus;
    report.restartAt = restartAt;
    std::strcpy(report.path, "/dev/watchdog");
    std::strcpy(report.identity, "i6300ESB timer");
    std::strcpy(report.restartId, restartId);
    return report;
}

constexpr const char* kNotice = "The last restart was caused by the watchdog.\nDevice: i6300ESB timer (/dev/watchdog).";

enum class Store { Empty, ToldBootA, Unwritable };

struct Row {
    const char* name;
    std::optional<TlAcpiWatchdogReport> report;
    Store store;
    // The text told; null for none (then neither a trace line nor a stored mark).
    const char* notice;
    // What the store holds afterwards as the told restart; null for nothing.
    const char* stored;
};

// Rows print by name.
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

class RestartNoticeTest : public testing::TestWithParam<Row> {
protected:
    void SetUp() override
    {
        ResetTraceLogPathForTesting();
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override
    {
        tolv::SetWatchdogReportForTesting(nullptr);
        unsetenv("TZ");
        tzset();
    }
};

TEST_P(RestartNoticeTest, IsToldOncePerRestart)
{
    const Row& row = GetParam();
    if (row.store == Store::ToldBootA)
        testsupport::WriteFile(SettingsFile(), "\"LAST_WATCHDOG_RESTART\"=\"boot-a\"\n");
    if (row.store == Store::Unwritable)
        std::filesystem::create_directories(SettingsFile()); // never written over, even by root
    tolv::SetWatchdogReportForTesting([&] { return row.report; });

    const std::optional<std::string> notice = readout::TakeRestartNotice();
    const std::string trace = testsupport::ReadFile(TraceFile());
    if (!row.notice) {
        EXPECT_EQ(notice, std::nullopt);
        EXPECT_EQ(trace, "");
    } else {
        EXPECT_EQ(notice, std::string(row.notice));
        char said[256];
        std::snprintf(said, sizeof said, "device /dev/watchdog, identity \"i6300ESB timer\", boot status 0x%x, restart %s)",
                      static_cast<unsigned>(row.report->bootStatus), row.report->restartId);
        EXPECT_NE(trace.find(said), std::string::npos) << trace;
        EXPECT_EQ(trace.find("not marked") != std::string::npos, row.store == Store::Unwritable) << trace;
    }
    if (row.stored) {
        EXPECT_NE(testsupport::ReadFile(SettingsFile()).find("\"LAST_WATCHDOG_RESTART\"=\"" + std::string(row.stored) + "\""),
                  std::string::npos);
    }

    // The next start tells again only what could not be marked.
    const bool again = row.notice && row.store == Store::Unwritable;
    EXPECT_EQ(readout::TakeRestartNotice().has_value(), again);
}

const std::string kNoticeAt = std::string(kNotice) + "\nThe countdown ran out at 2026-12-09 10:00:03.";

INSTANTIATE_TEST_SUITE_P(
    Rows, RestartNoticeTest,
    testing::Values(Row{"NoReport", std::nullopt, Store::Empty, nullptr, nullptr},
                    Row{"NotTheWatchdogs", Report(0, ""), Store::Empty, nullptr, nullptr},
                    Row{"BootStatusUnknown", Report(TLACPI_UNKNOWN, "boot-a"), Store::Empty, nullptr, nullptr},
                    Row{"FirstTime", Report(0x20, "boot-a"), Store::Empty, kNotice, "boot-a"},
                    Row{"WithOtherBits", Report(0xa0, "boot-a"), Store::Empty, kNotice, "boot-a"},
                    Row{"SameRestartAgain", Report(0x20, "boot-a"), Store::ToldBootA, nullptr, "boot-a"},
                    Row{"NewRestart", Report(0x20, "boot-b"), Store::ToldBootA, kNotice, "boot-b"},
                    Row{"UnwritableStore", Report(0x20, "boot-a"), Store::Unwritable, kNotice, nullptr},
                    // 2026-12-09 10:00:03 UTC
                    Row{"RestartTimeKnown", Report(0x20, "boot-a", 1796810403), Store::Empty, kNoticeAt.c_str(),
                        "boot-a"}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
