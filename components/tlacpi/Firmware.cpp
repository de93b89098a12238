#include "Firmware.h"

#include "DeviceFirmware.h"
#include "SimFirmware.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace tlacpi {

void CopyText(char* field, std::size_t size, std::string_view text)
{
    if (size == 0)
        return;
    std::size_t length = std::min(text.size(), size - 1);
    // Never leave half of a UTF-8 sequence: back off over continuation bytes.
    if (length < text.size()) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

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
