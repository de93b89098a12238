// What the library reports of a watchdog device, held or not, by what the driver, sysfs and the
// rest of the machine (its processes, systemd's configuration, the boot id) tell.

#include "DeviceFirmware.h"
#include "FakeWatchdogDevice.h"

#include "TestSupport.h"

#include <functional>
#include <sys/stat.h>

namespace {

using namespace tlacpitest;

struct ReportRow {
    const char* name;
    std::function<void(DeviceScript&, const std::filesystem::path& root)> arrange;
    bool arm;  // the library arms the device (60 s) before the report
    int present, running, held, timeout, timeLeft;
    const char* holder;   // exact
    std::string problem;  // the beginning
    const char* restartId;
};

void PrintTo(const ReportRow& row, std::ostream* out)
{
    *out << row.name;
}

// Another process, 812 "watchdog", with the character device /dev/null open as descriptor 3.
void HolderProcess(DeviceScript& script, const std::filesystem::path& root)
{
    struct stat null{};
    ASSERT_EQ(::stat("/dev/null", &null), 0);
    script.node = null.st_rdev;
    std::filesystem::create_directories(root / "proc/812/fd");
    std::filesystem::create_symlink("/dev/null", root / "proc/812/fd/3");
    testsupport::WriteFile(root / "proc/812/comm", "watchdog\n");
    testsupport::WriteFile(root / "proc/813/comm", "other\n");  // no descriptors readable
}

void Running(DeviceScript& script)
{
    script.attributes = {{"state", "active"}, {"identity", "iTCO_wdt"}, {"timeout", "30"},
                         {"timeleft", "12"}, {"options", "0x8180"}, {"nowayout", "0"}};
}

const std::string Busy = "Watchdog device /dev/watchdog is held by another program (Device or resource busy)";

const ReportRow Rows[] = {
    {"HeldAskedThroughTheDriver", [](DeviceScript& s, auto&) { s.noWayOut = 0; s.bootStatus = 0; },
     true, 1, 1, 1, 60, 42, "", "", ""},
    {"HeldWithoutTimeLeftCallReadsSysfs",
     [](DeviceScript& s, auto&) { s.timeLeft = -ENOTTY; s.attributes = {{"timeleft", "17"}}; },
     true, 1, 1, 1, 60, 17, "", "", ""},
    {"HeldWithNeitherTellsNoTimeLeft", [](DeviceScript& s, auto&) { s.timeLeft = -EOPNOTSUPP; },
     true, 1, 1, 1, 60, -1, "", "", ""},
    {"StoppedIsReadFromSysfsWithoutTimeLeft",
     [](DeviceScript& s, auto&) { Running(s); s.attributes["state"] = "inactive"; },
     false, 1, 0, 0, 30, -1, "", "", ""},
    {"RunningNamesTheProcessHoldingIt",
     [](DeviceScript& s, auto& root) { Running(s); HolderProcess(s, root); },
     false, 1, 1, 0, 30, 12, "process 812 (watchdog)", "", ""},
    {"RunningNamesSystemdsRuntimeWatchdog",
     [](DeviceScript& s, auto& root) {
         Running(s);
         testsupport::WriteFile(root / "etc/systemd/system.conf", "[Manager]\nRuntimeWatchdogSec=30s\n");
         testsupport::WriteFile(root / "usr/lib/systemd/system.conf.d/10-a.conf", "[Manager]\nRuntimeWatchdogSec=off\n");
         testsupport::WriteFile(root / "etc/systemd/system.conf.d/20-b.conf", "[Manager]\nRuntimeWatchdogSec=1min\n");
     },
     false, 1, 1, 0, 30, 12, "systemd (RuntimeWatchdogSec=1min in /etc/systemd/system.conf.d/20-b.conf)", "", ""},
    {"SystemdSwitchedOffByALaterDropInIsNoHolder",
     [](DeviceScript& s, auto& root) {
         Running(s);
         testsupport::WriteFile(root / "etc/systemd/system.conf", "[Manager]\nRuntimeWatchdogSec=30\n");
         testsupport::WriteFile(root / "run/systemd/system.conf.d/x.conf", "[Manager]\nRuntimeWatchdogSec=0\n");
         testsupport::WriteFile(root / "etc/systemd/other.conf", "[Manager]\nRuntimeWatchdogSec=30\n");
     },
     false, 1, 1, 0, 30, 12, "", "", ""},
    {"MissingTellsThatNoDriverIsLoaded", [](DeviceScript& s, auto&) { s.nodeResult = -ENOENT; },
     false, 0, -1, 0, -1, -1, "", "No watchdog driver is loaded: nothing is at /dev/watchdog. `wdctl`", ""},
    {"NotWritableByThisUser",
     [](DeviceScript& s, auto&) { s.attributes = {{"state", "inactive"}}; s.writable = -EACCES; },
     false, 1, 0, 0, -1, -1, "",
     "Watchdog device /dev/watchdog cannot be opened by this user (Permission denied); members of the group tolv-watchdog", ""},
    {"BusyNamesTheHolder",
     [](DeviceScript& s, auto& root) { Running(s); HolderProcess(s, root); s.openResult = -EBUSY; },
     true, 1, 1, 0, 30, 12, "process 812 (watchdog)", Busy + ": process 812 (watchdog); the watchdog item is absent", ""},
    {"WatchdogRestartIsNamedByTheBootId",
     [](DeviceScript& s, auto& root) {
         s.noWayOut = 1;
         s.bootStatus = WDIOF_CARDRESET;
         testsupport::WriteFile(root / "proc/sys/kernel/random/boot_id", "0b7e-boot\n");
     },
     true, 1, 1, 1, 60, 42, "", "", "0b7e-boot"},
};

class DeviceReport : public testing::TestWithParam<ReportRow> {};

TEST_P(DeviceReport, TellsWhatTheMachineKnows)
{
    const ReportRow& row = GetParam();
    DeviceLog log;
    DeviceScript script;
    const auto root = testsupport::Root() / "machine";
    std::filesystem::create_directories(root / "proc");
    row.arrange(script, root);
    std::vector<std::string> messages;
    tlacpi::DeviceFirmware firmware("/dev/watchdog", std::make_unique<FakeDevice>(log, script),
                                    [&](const std::string& line) { messages.push_back(line); }, root);
    if (row.arm)
        firmware.Write(tlacpi::WatchdogItem, 60, tlacpi::SetValueMode);
    const int opens = log.opens;

    TlAcpiWatchdogReport report{};
    report.running = report.timeout = report.timeLeft = report.bootStatus = TLACPI_UNKNOWN;
    firmware.Report(report);

    EXPECT_EQ(log.opens, opens) << "a report never opens the device";
    EXPECT_STREQ(report.path, "/dev/watchdog");
    EXPECT_EQ(report.present, row.present);
    EXPECT_EQ(report.running, row.running);
    EXPECT_EQ(report.held, row.held);
    EXPECT_EQ(report.timeout, row.timeout);
    EXPECT_EQ(report.timeLeft, row.timeLeft);
    EXPECT_STREQ(report.holder, row.holder);
    EXPECT_EQ(std::string(report.problem).rfind(row.problem, 0), 0u) << report.problem;
    EXPECT_STREQ(report.restartId, row.restartId);
    if (row.held) {
        EXPECT_STREQ(report.identity, "Fake timer");
        EXPECT_EQ(report.noWayOut, script.noWayOut < 0 ? TLACPI_UNKNOWN : script.noWayOut);
    } else {
        EXPECT_EQ(report.options, script.attributes.count("options") ? 0x8180u : 0u);
    }
    // The busy open's error, which reaches the program, names the holder too.
    if (script.openResult == -EBUSY) {
        EXPECT_EQ(firmware.LastError(), report.problem);
    }
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceReport, testing::ValuesIn(Rows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
