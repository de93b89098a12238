#pragma once

#include "SimState.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The simulated machine's record of watchdog restarts, DIR/expiries.log: one line for each
// armed countdown that ran out, the moment a real mainboard would have restarted the machine:
//   expired_ms=70000 timeout=60 written_ms=10000 writes=1 expired_at=1765274403
// expired_ms is CLOCK_MONOTONIC in milliseconds, expired_at seconds since 1970 UTC (lines
// written before it was recorded lack it). Both the monitor and the firmware library append
// here; a countdown is recorded once, whoever sees it run out first.
namespace tlacpi {

inline constexpr const char* SimExpiryLogName = "expiries.log";

struct SimExpiry {
    std::int64_t expiredMs = 0;
    std::uint32_t timeout = 0;
    std::int64_t writtenMs = 0;
    std::uint64_t writes = 0;
    std::int64_t expiredAt = 0;  // 0 when the line does not tell
};

// No value for a line that is no expiry record.
std::optional<SimExpiry> ParseSimExpiry(std::string_view line);
std::string FormatSimExpiry(const SimExpiry& expiry);

// The last record of the log in folder; no value when there is none.
std::optional<SimExpiry> LastSimExpiry(const std::filesystem::path& folder);

// When state is an armed countdown that ran out by the monotonic time nowMs (one armed by an
// earlier boot, written "in the future", never has), appends its record unless the log's last
// record is of the same write already. True when the log holds the record, appended now or
// before; false for a countdown that did not run out or a log that cannot be written.
bool RecordSimExpiry(const std::filesystem::path& folder, const SimState& state, std::int64_t nowMs);

// Milliseconds of the countdown left at nowMs: 0 when it ran out, no value when it is not
// counting (switched off, or armed by an earlier boot).
std::optional<std::int64_t> SimTimeLeftMs(const SimState& state, std::int64_t nowMs);

} // namespace tlacpi
