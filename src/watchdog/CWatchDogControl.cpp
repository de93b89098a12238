#include "watchdog/CWatchDogControl.h"

#include "system/WinRegistry.h"
#include "watchdog/WatchDogControl.h"
#include "watchdog/WatchDogForwarding.h"

#include <atomic>

namespace {

// Created by the first call of GetWatchDogControl and deliberately never destroyed: Close is
// the only clean-up a backend gets. The kick thread reads it, hence atomic.
std::atomic<CWatchDogControl*> g_SharedControl{nullptr};

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
    if (!key.Open(platform::HKEY_LOCAL_MACHINE, SettingsKey, true))
        return false;
    std::uint32_t value = 0;
    const bool read = key.ReadDword("Model Type WMI", value);
    key.Flush();
    key.Close();
    return read && value == ModelTypeWmi;
}

CWatchDogControl* ExchangeWatchDogControlForTesting(CWatchDogControl* control)
{
    return g_SharedControl.exchange(control);
}
