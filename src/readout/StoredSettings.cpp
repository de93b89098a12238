#include "readout/StoredSettings.h"

#include "platform/Paths.h"
#include "system/WinRegistry.h"

#include <limits>

namespace readout {

namespace {

constexpr std::uint32_t kServiceModel = 5; // "Model Type WMI": the service program drives it

} // namespace

bool CountsAsOn(std::uint32_t lastState, std::uint32_t restart, std::uint32_t reload, std::int32_t minGap)
{
    constexpr std::uint32_t longest = std::numeric_limits<std::int32_t>::max();
    const bool fits = restart <= longest && reload <= longest;
    return lastState != 0 && fits && std::int64_t{restart} >= std::int64_t{reload} + minGap;
}

std::int32_t MinimumGap(bool serviceModel)
{
    return serviceModel ? 60 : 5;
}

StoredSettings ReadStoredSettings()
{
    StoredSettings settings;
    RegistryKey key;
    if (!key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting)) {
        if (key.LastResult() == platform::ERROR_FILE_NOT_FOUND) {
            settings.readable = true;
            return settings;
        }
        settings.error = (platform::RegistryFolder() / "HKEY_LOCAL_MACHINE" / "Software" / "TOLV"
                          / "TOLV Watchdog Timer.reg").string()
            + ": " + DescribeRegistryResult(key.LastResult());
        return settings;
    }
    settings.readable = true;
    std::uint32_t lastState = 0;
    std::uint32_t restart = 0;
    std::uint32_t reload = 0;
    std::uint32_t model = 0;
    const bool stateStored = key.ReadDword("LAST_STATE", lastState);
    if (key.ReadDword("REBOOT_TIME", restart))
        settings.restart = restart;
    if (key.ReadDword("RESET_TIME", reload))
        settings.reload = reload;
    const bool serviceModel = key.ReadDword("Model Type WMI", model) && model == kServiceModel;
    // A missing countdown or state reads as off; a missing reload period counts as 0.
    settings.on = stateStored && CountsAsOn(lastState, restart, reload, MinimumGap(serviceModel));
    return settings;
}

} // namespace readout
