#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "readout/StatusCommand.h"
#include "readout/StoredSettings.h"
#include "system/WinRegistry.h"
#include "tolv/BiosInterface.h"

#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

enum class Stored { Nothing, Off, On, Unreadable };
enum class Device { Kicked, Stopped, RunsAlone, Missing, NoLibrary };

TlAcpiWatchdogReport Report(Device device)
{
    TlAcpiWatchdogReport report{};
    report.size = sizeof report;
    report.present = device != Device::Missing;
    report.running = device == Device::Kicked || device == Device::RunsAlone;
    report.timeout = 60;
    report.timeLeft = device == Device::RunsAlone ? 17 : TLACPI_UNKNOWN;
    report.noWayOut = TLACPI_UNKNOWN;
    report.bootStatus = 0x20;
    report.options = 0x8180;
    report.holderPid = device == Device::Kicked ? ::getpid() : 0;
    report.restartAt = 1796810403; // 2026-12-09 10:00:03 UTC
    std::strcpy(report.path, "/dev/watchdog");
    if (device == Device::Missing)
        std::strcpy(report.problem, "No watchdog driver is loaded");
    return report;
}

void Store(Stored stored)
{
    const auto file = platform::RegistryFolder() / "HKEY_LOCAL_MACHINE/Software/TOLV/TOLV Watchdog Timer.reg";
    if (stored == Stored::Unreadable) {
        // A link in place of the key file is damage the store refuses to open.
        std::filesystem::create_directories(file.parent_path());
        std::filesystem::create_symlink("/etc/passwd", file);
        return;
    }
    if (stored == Stored::Nothing)
        return;
    RegistryKey key;
    ASSERT_TRUE(key.Open(platform::HKEY_LOCAL_MACHINE, readout::kSettingsKey, KeyAccess::CreateIfMissing));
    ASSERT_TRUE(key.WriteDword("LAST_STATE", stored == Stored::On ? 15 : 0));
    ASSERT_TRUE(key.WriteDword("REBOOT_TIME", 60));
    ASSERT_TRUE(key.WriteDword("RESET_TIME", 40));
}

struct Printed {
    int code = -1;
    std::string text;
    std::string json;
};

Printed Print()
{
    Printed printed;
    std::ostringstream text;
    std::ostringstream json;
    printed.code = readout::PrintStatus(false, text);
    EXPECT_EQ(readout::PrintStatus(true, json), printed.code);
    printed.text = text.str();
    printed.json = json.str();
    return printed;
}

class StatusCommand : public testing::Test {
protected:
    void TearDown() override { tolv::SetWatchdogReportForTesting({}); }

    void Use(std::optional<TlAcpiWatchdogReport> report)
    {
        tolv::SetWatchdogReportForTesting([report] { return report; });
    }
};

struct Row {
    const char* name;
    Stored stored;
    Device device;
    bool program;
    int code;
    std::vector<const char*> text;
    std::vector<const char*> json;
};

// This process stands for the running copy: it takes the instance lock and is the holder that
// the report names.
TEST_F(StatusCommand, TheVerdictFollowsTheStoredChoiceTheProgramAndTheWatchdog)
{
    const Row rows[] = {
        {"nothing stored", Stored::Nothing, Device::Stopped, false, 0,
         {"Stored settings:  off\n", "State:            ok\n"},
         {R"("stored":{"readable":true,"on":false,"restart":null,"reload":null,"error":null})", R"("problems":[])"}},
        {"off", Stored::Off, Device::Stopped, false, 0,
         {"Program:          does not run\n", "Stored settings:  off, restart countdown 60 s, reload period 40 s\n"},
         {R"("program":{"running":false,"pid":null,"holds_watchdog":false})", R"("state":"ok")"}},
        {"on and kicked", Stored::On, Device::Kicked, true, 0,
         {"Program holds it: yes\n", "Watchdog:         runs\n", "Options:          settimeout magicclose keepaliveping\n",
          "Last restart:     by the watchdog, its countdown ran out at 2026-12-09T10:00:03Z\n"},
         {R"("holds_watchdog":true})", R"("last_restart":{"cause":"watchdog","at":"2026-12-09T10:00:03Z","id":null})",
          R"("options":["settimeout","magicclose","keepaliveping"])", R"("state":"ok","problems":[]})"}},
        {"on, the program runs but the watchdog does not", Stored::On, Device::Stopped, true, 1,
         {"Problem:          stored on, but the watchdog does not run\n"},
         {R"("running":false,"timeout":60,"time_left":null)", R"("holds_watchdog":false})"}},
        {"on, nothing runs", Stored::On, Device::Stopped, false, 1,
         {"Problem:          stored on, but no copy of the program runs to kick the watchdog\n"},
         {R"("state":"wrong","problems":["stored on, but no copy of the program runs to kick the watchdog"])"}},
        {"on, the countdown runs unkicked", Stored::On, Device::RunsAlone, false, 1,
         {"Time left:        17 s\n"},
         {R"("time_left":17)", R"(["the countdown runs with nobody to kick it: the machine restarts in 17 s"])"}},
        {"off, a countdown runs unkicked", Stored::Off, Device::RunsAlone, false, 0,
         {"Problem:          the countdown runs and no program that holds the watchdog was found: the machine restarts in 17 s\n"},
         {R"("state":"ok","problems":["the countdown runs and no program)"}},
        {"off, no device", Stored::Off, Device::Missing, false, 1,
         {"Device:           /dev/watchdog (missing)\n", "Problem:          No watchdog driver is loaded\n"},
         {R"("present":false)", R"("problems":["No watchdog driver is loaded"])"}},
        {"off, no firmware library", Stored::Off, Device::NoLibrary, false, 1,
         {"Device:           unknown (no firmware library)\n", "Problem:          the firmware library "},
         {R"({"device":{"path":null,"present":null,)", R"("last_restart":{"cause":"unknown","at":null,"id":null})"}},
        {"settings unreadable", Stored::Unreadable, Device::Stopped, false, 1,
         {"Stored settings:  cannot be read (", "Problem:          the settings cannot be read: "},
         {R"("stored":{"readable":false,"on":null,"restart":null,"reload":null,"error":")"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto root = testsupport::Root() / row.name;
        std::filesystem::create_directories(root);
        setenv("TOLV_ROOT", root.c_str(), 1);
        Store(row.stored);
        platform::InstanceLock copy("TOLV_WATCHDOG_TIMER");
        if (row.program) {
            ASSERT_EQ(copy.Acquire(), platform::InstanceLock::Result::Acquired);
        }
        Use(row.device == Device::NoLibrary ? std::nullopt : std::optional(Report(row.device)));
        const Printed printed = Print();
        EXPECT_EQ(printed.code, row.code) << printed.text;
        for (const char* text : row.text)
            EXPECT_NE(printed.text.find(text), std::string::npos) << text << "\nin\n" << printed.text;
        for (const char* json : row.json)
            EXPECT_NE(printed.json.find(json), std::string::npos) << json << "\nin\n" << printed.json;
    }
}

// What a driver or another program calls itself reaches the output unchanged in meaning but
// can neither end the JSON string nor start a new line of text.
TEST_F(StatusCommand, HostileNamesStayInsideTheirStringAndLine)
{
    TlAcpiWatchdogReport report = Report(Device::Stopped);
    std::strcpy(report.identity, "a\"b\\c\nState: ok\x01\x7f\xff\xc3\xa9");
    std::strcpy(report.holder, "\xe2\x80\xa8x\xc0\xaf\xed\xa0\x80");
    Use(report);
    const Printed printed = Print();
    EXPECT_NE(printed.json.find(R"("identity":"a\"b\\c\nState: ok\u0001\u007f\ufffdé")"), std::string::npos)
        << printed.json;
    EXPECT_NE(printed.json.find("\"holder\":\"\xe2\x80\xa8x\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\""),
              std::string::npos)
        << printed.json;
    EXPECT_EQ(printed.json.find('\n'), printed.json.size() - 1);
    std::istringstream lines(printed.text);
    std::string line;
    int states = 0;
    while (std::getline(lines, line))
        states += line.starts_with("State:");
    EXPECT_EQ(states, 1) << printed.text;
}

} // namespace
