#include "watchdog/CWatchDogControl.h"

#include "system/WinRegistry.h"
#include "system/common.h"
#include "watchdog/WatchDogControl.h"
#include "watchdog/WatchDogForwarding.h"

#include <atomic>
#include <utility>

namespace {

// Created by the first call of GetWatchDogControl and deliberately never destroyed: Close is
// the only clean-up a backend gets. The kick thread never reads it (it is handed what it writes
// with); atomic all the same, as helper programs and tests exchange it.
std::atomic<CWatchDogControl*> g_SharedControl{nullptr};

// Set and called on the UI thread only.
std::function<void(const std::string&)> g_KickFailureHandler;

constexpr const char* SettingsKey = "Software\\TOLV\\TOLV Watchdog Timer";
constexpr std::uint32_t ModelTypeWmi = 5;

} // namespace

CWatchDogControl* GetWatchDogControl()
{
    if (CWatchDogControl* control = g_SharedControl.load())
        return control;
    CWatchDogControl* control = nullptr;
    if (IsModelTypeWMI())
        control = new WatchDogWMI;
    else if (IsDllComAvailable())
        control = new WatchDogDllCom;
    else
        control = new WatchDogControl;
    g_SharedControl = control;
    return control;
}

bool IsModelTypeWMI()
{
    RegistryKey key;
    if (!key.Open(platform::HKEY_LOCAL_MACHINE, SettingsKey, KeyAccess::CreateIfMissing))
        return false;
    std::uint32_t value = 0;
    const bool read = key.ReadDword("Model Type WMI", value);
    key.Flush();
    key.Close();
    return read && value == ModelTypeWmi;
}

void SetKickFailureHandler(std::function<void(const std::string&)> handler)
{
    g_KickFailureHandler = std::move(handler);
}

void ReportKickFailure(const std::string& failure)
{
    TraceLog("Watchdog: %s", failure.c_str());
    // A copy: the handler may replace itself.
    if (const auto handler = g_KickFailureHandler)
        handler(failure);
}

CWatchDogControl* ExchangeWatchDogControlForTesting(CWatchDogControl* control)
{
    return g_SharedControl.exchange(control);
}
