#include "readout/RestartNotice.h"

#include "platform/Paths.h"
#include "system/common.h"
#include "tolv/BiosInterface.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const std::filesystem::path kStore = "HKEY_LOCAL_MACHINE/Software/TOLV/TOLV Watchdog Timer.reg";
const std::string kNotice = "The last restart was caused by the watchdog.\nDevice: i6300ESB timer (/dev/watchdog).";

enum class Store { Empty, ToldBootA, Unwritable };

struct Row {
    const char* name;
    bool reported;
    std::int32_t bootStatus;
    const char* restartId; // what the store holds afterwards, when told and stored
    Store store;
    std::string notice; // empty: nothing told, nothing traced
    std::int64_t restartAt = 0;
    friend void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }
};

class RestartNoticeTest : public testing::TestWithParam<Row> {
protected:
    void SetUp() override { ResetTraceLogPathForTesting(), setenv("TZ", "UTC0", 1), tzset(); }
    void TearDown() override { tolv::SetWatchdogReportForTesting(nullptr), unsetenv("TZ"), tzset(); }
};

TEST_P(RestartNoticeTest, IsToldOncePerRestart)
{
    const Row& row = GetParam();
    const auto store = platform::RegistryFolder() / kStore;
    if (row.store == Store::ToldBootA)
        testsupport::WriteFile(store, "\"LAST_WATCHDOG_RESTART\"=\"boot-a\"\n");
    if (row.store == Store::Unwritable)
        std::filesystem::create_directories(store); // never written over, even by root
    TlAcpiWatchdogReport report{};
    report.bootStatus = row.bootStatus, report.restartAt = row.restartAt;
    std::strcpy(report.path, "/dev/watchdog");
    std::strcpy(report.identity, "i6300ESB timer");
    std::strcpy(report.restartId, row.restartId);
    tolv::SetWatchdogReportForTesting([&] { return row.reported ? std::optional(report) : std::nullopt; });

    EXPECT_EQ(readout::TakeRestartNotice().value_or(""), row.notice);
    const std::string trace = testsupport::ReadFile(testsupport::Root() / "var/lib/TOLV/TolvWatchDogTimer/trace.log");
    char said[200];
    std::snprintf(said, sizeof said, "(device /dev/watchdog, identity \"i6300ESB timer\", boot status 0x%x, restart %s)",
                  static_cast<unsigned>(row.bootStatus), row.restartId);
    EXPECT_EQ(trace.find(said) != std::string::npos, !row.notice.empty()) << trace;
    EXPECT_EQ(trace.find("not marked") != std::string::npos, row.store == Store::Unwritable) << trace;
    const bool marked = testsupport::ReadFile(store).find(std::string("=\"") + row.restartId + "\"") != std::string::npos;
    EXPECT_EQ(marked, row.store != Store::Unwritable && (!row.notice.empty() || row.store == Store::ToldBootA));
    // The next start tells again only what could not be marked as told.
    EXPECT_EQ(readout::TakeRestartNotice().has_value(), !row.notice.empty() && row.store == Store::Unwritable);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RestartNoticeTest,
    testing::Values(Row{"NoReport", false, 0x20, "boot-a", Store::Empty, ""},
                    Row{"NotTheWatchdogs", true, 0, "", Store::Empty, ""},
                    Row{"BootStatusUnknown", true, TLACPI_UNKNOWN, "boot-a", Store::Empty, ""},
                    Row{"FirstTime", true, 0x20, "boot-a", Store::Empty, kNotice},
                    Row{"WithOtherBits", true, 0xa0, "boot-a", Store::Empty, kNotice},
                    Row{"SameRestartAgain", true, 0x20, "boot-a", Store::ToldBootA, ""},
                    Row{"NewRestart", true, 0x20, "boot-b", Store::ToldBootA, kNotice},
                    Row{"UnwritableStore", true, 0x20, "boot-a", Store::Unwritable, kNotice},
                    Row{"RestartTimeKnown", true, 0x20, "boot-a", Store::Empty,
                        kNotice + "\nThe countdown ran out at 2026-12-09 10:00:03.", 1796810403}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
