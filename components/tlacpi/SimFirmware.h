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
    // The countdown from the state file and the clock, and the last restart from the record
    // of expiries (a countdown found run out is recorded first).
    void Report(TlAcpiWatchdogReport& report) override;

private:
    bool WriteWatchdog(std::uint32_t seconds);
    // Records a countdown of the state file that ran out, the restart a real machine would have
    // had; answers the state read.
    std::optional<SimState> Settle(std::int64_t nowMs);

    std::mutex m_Mutex;
    const std::filesystem::path m_Folder;
    std::map<std::uint32_t, std::uint32_t> m_Values;
    std::optional<std::uint64_t> m_Writes;  // read from the state file at the first write
    mutable std::mutex m_ErrorMutex;
    std::string m_LastError;
};

} // namespace tlacpi
