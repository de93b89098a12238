#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The watchdog settings the program keeps in the machine's registry store, and the rule by which
// they bring the watchdog up on at the program's start.
namespace readout {

inline constexpr const char* kSettingsKey = "Software\\TOLV\\TOLV Watchdog Timer";

// The stored values bring the watchdog up on when LAST_STATE is not 0 and the restart countdown
// stays at least minGap seconds above the reload period. Compared as stored, in a type where the
// sum cannot wrap; a time beyond the program's signed 32-bit range counts as broken.
bool CountsAsOn(std::uint32_t lastState, std::uint32_t restart, std::uint32_t reload, std::int32_t minGap);

// The smallest gap between restart countdown and reload period: 60 s when the watchdog service
// program ("Model Type WMI") drives the watchdog, else 5 s.
std::int32_t MinimumGap(bool serviceModel);

struct StoredSettings {
    // False when the key exists but cannot be opened; error then says why. A key or value that
    // was never stored reads as off, as the program reads it.
    bool readable = false;
    bool on = false;
    std::optional<std::uint32_t> restart;   // REBOOT_TIME, seconds
    std::optional<std::uint32_t> reload;    // RESET_TIME, seconds
    std::string error;
};

// Reads the settings without creating or changing anything in the store.
StoredSettings ReadStoredSettings();

} // namespace readout
