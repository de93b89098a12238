#pragma once

#include "Firmware.h"
#include "SimState.h"

#include <filesystem>
#include <map>
#include <mutex>

// A simulated mainboard firmware kept in a folder: group 0x11 holds three items including the
// watchdog item 0x11060007, group 0x12 two more. Every write of the watchdog item is recorded
// in DIR/watchdog.state (see SimState.h), where tlacpi-sim-monitor counts it down.
namespace tlacpi {

class SimFirmware final : public Firmware {
public:
    explicit SimFirmware(std::filesystem::path folder);

    std::optional<std::vector<std::uint32_t>> ListGroup(std::uint32_t group) override;
    bool Write(std::uint32_t item, std::uint32_t value, std::uint32_t mode) override;
    std::string LastError() const override;

private:
    bool WriteWatchdog(std::uint32_t seconds);

    std::mutex m_Mutex;
    const std::filesystem::path m_Folder;
    std::map<std::uint32_t, std::uint32_t> m_Values;
    std::optional<std::uint64_t> m_Writes;  // read from the state file at the first write
    mutable std::mutex m_ErrorMutex;
    std::string m_LastError;
};

} // namespace tlacpi
