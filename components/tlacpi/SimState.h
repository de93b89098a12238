#pragma once

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The simulated watchdog's state file, DIR/watchdog.state, written by the firmware library on
// every write of the watchdog item and read by tlacpi-sim-monitor. Text, one key=value a line:
//   armed=1
//   timeout=60
//   written_ms=123456
//   writes=7
//   pid=812
// written_ms is CLOCK_MONOTONIC in milliseconds, the same clock in every process of the machine.
// pid, the writing process, is left out by older writers.
namespace tlacpi {

struct SimState {
    bool armed = false;
    std::uint32_t timeout = 0;
    std::int64_t writtenMs = 0;
    std::uint64_t writes = 0;
    std::int32_t pid = 0;  // 0 when not recorded
};

inline constexpr const char* SimStateFileName = "watchdog.state";

// A whole decimal number, nothing before or after it.
template <typename Number>
bool ParseSimNumber(std::string_view text, Number& out)
{
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end;
}

std::string FormatSimState(const SimState& state);
// No value unless every key but pid is present once with a valid number; unknown keys are
// ignored.
std::optional<SimState> ParseSimState(std::string_view text);

// Reads and parses the state file; no value when missing or damaged.
std::optional<SimState> ReadSimState(const std::filesystem::path& file);

// Replaces file with text so that a reader sees the old or the new content, never a mix:
// written to a temporary file beside it, flushed, then renamed over it, and the folder flushed.
bool WriteFileAtomically(const std::filesystem::path& file, const std::string& text);

std::int64_t MonotonicMs();

} // namespace tlacpi
