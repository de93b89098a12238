#pragma once

#include "SimState.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// Watches the simulated firmware's state file and tells when an armed countdown runs out, the
// moment a real mainboard would restart the machine. Each expiry is reported once per write;
// a later write arms it again. Expiries are appended to DIR/expiries.log, and DIR/monitor.state
// tells whether the last armed countdown ran out (expired=0/1) and how many did.
namespace tlacpi {

class SimMonitor {
public:
    explicit SimMonitor(std::filesystem::path folder);

    struct Look {
        std::string line;      // the status, or the expiry report
        bool expired = false;  // the countdown ran out at this look
    };
    // One look at the state file at CLOCK_MONOTONIC time nowMs.
    Look Check(std::int64_t nowMs);

    int Expiries() const { return m_Expiries; }

private:
    void Record(const SimState& state, std::int64_t nowMs);
    void WriteMonitorState(bool expired);

    const std::filesystem::path m_Folder;
    int m_Expiries = 0;
    // The write whose countdown ran out (counter and time), so it is reported only once.
    std::optional<std::pair<std::uint64_t, std::int64_t>> m_ExpiredWrite;
    bool m_Expired = false;
};

} // namespace tlacpi
