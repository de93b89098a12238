#include "Firmware.h"

#include "DeviceFirmware.h"
#include "SimFirmware.h"

#include <cstdio>
#include <string>

namespace tlacpi {

std::unique_ptr<Firmware> MakeFirmware(std::string_view choice)
{
    constexpr std::string_view device = "device:";
    constexpr std::string_view sim = "sim:";
    if (choice.starts_with(device) && choice.size() > device.size())
        return std::make_unique<DeviceFirmware>(std::string(choice.substr(device.size())),
                                                MakeSystemWatchdogDevice());
    if (choice.starts_with(sim) && choice.size() > sim.size())
        return std::make_unique<SimFirmware>(std::string(choice.substr(sim.size())));
    std::fprintf(stderr,
                 "TLACPI_FIRMWARE=%.*s is neither device:PATH nor sim:DIR; no firmware items\n",
                 static_cast<int>(choice.size()), choice.data());
    return nullptr;
}

} // namespace tlacpi
