// The notice after a restart that the watchdog caused. The device keeps telling that cause for
// the whole boot (and the simulated firmware until its next expiry), so the restart's name is
// kept in the settings store once told, and a later start of the program stays quiet about it.

#include "readout/RestartNotice.h"

#include <cstring>
#include <ctime>

#include "system/WinRegistry.h"
#include "system/common.h"
#include "tolv/BiosInterface.h"

namespace readout {

namespace {

constexpr const char* kSettingsKey = "Software\\TOLV\\TOLV Watchdog Timer";
constexpr const char* kToldValue = "LAST_WATCHDOG_RESTART";
// WDIOF_CARDRESET: the watchdog restarted the machine.
constexpr std::int32_t kCardReset = 0x20;

// The library terminates its texts; a field is still never read past its end.
template <std::size_t N>
std::string Text(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

// "2026-12-09 10:00:03" in local time; empty when the time cannot be put into words.
std::string LocalTime(std::int64_t secondsSinceEpoch)
{
    const auto at = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm parts{};
    char text[32] = {};
    if (!localtime_r(&at, &parts) || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) == 0)
        return {};
    return text;
}

bool AlreadyTold(const std::string& restartId)
{
    RegistryKey key;
    std::string told;
    return key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting)
        && key.ReadString(kToldValue, told) && told == restartId;
}

// Stores the restart as told; answers why it could not be, empty when it was.
std::string MarkTold(const std::string& restartId)
{
    if (restartId.empty())
        return "the device names no restart";
    RegistryKey key;
    if (!key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing)
        || !key.WriteString(kToldValue, restartId))
        return std::string("the settings key ") + kSettingsKey + " could not be written: "
            + DescribeRegistryResult(key.LastResult());
    key.Flush();
    return {};
}

} // namespace

std::string DescribeWatchdogRestart(const TlAcpiWatchdogReport& report)
{
    std::string text = "The last restart was caused by the watchdog.";
    const std::string path = Text(report.path);
    const std::string identity = Text(report.identity);
    if (!identity.empty() && !path.empty())
        text += "\nDevice: " + identity + " (" + path + ").";
    else if (!identity.empty() || !path.empty())
        text += "\nDevice: " + identity + path + ".";
    if (report.restartAt > 0) {
        if (const std::string at = LocalTime(report.restartAt); !at.empty())
            text += "\nThe countdown ran out at " + at + ".";
    }
    return text;
}

std::optional<std::string> TakeRestartNotice()
{
    const std::optional<TlAcpiWatchdogReport> report = tolv::ReadWatchdogReport();
    if (!report || report->bootStatus == TLACPI_UNKNOWN || (report->bootStatus & kCardReset) == 0)
        return std::nullopt;
    const std::string restartId = Text(report->restartId);
    if (!restartId.empty() && AlreadyTold(restartId))
        return std::nullopt;

    TraceLog("Watchdog restart: the last restart was the watchdog's (device %s, identity \"%s\", "
             "boot status 0x%x, restart %s)",
             Text(report->path).c_str(), Text(report->identity).c_str(),
             static_cast<unsigned>(report->bootStatus), restartId.empty() ? "unnamed" : restartId.c_str());
    if (const std::string failure = MarkTold(restartId); !failure.empty())
        TraceLog("Watchdog restart: not marked as told, so the next start tells it again: %s", failure.c_str());
    return DescribeWatchdogRestart(*report);
}

} // namespace readout
