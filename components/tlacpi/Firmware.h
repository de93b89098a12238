#pragma once

#include "tolv/WatchdogReport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The firmware behind the library: numbered items in groups (an identifier's top byte is its
// group) and a write per item. Implementations are entered from several threads at once and
// guard their own state.
namespace tlacpi {

inline constexpr std::uint32_t WatchdogItem = 0x11060007;
inline constexpr std::uint32_t WatchdogGroup = WatchdogItem >> 24;
// The only write mode the library knows: set the item's value (for the watchdog item, the
// countdown in seconds, 0 switching it off).
inline constexpr std::uint32_t SetValueMode = 2;

class Firmware {
public:
    virtual ~Firmware() = default;
    // The items of a group; no value for a group the firmware does not have.
    virtual std::optional<std::vector<std::uint32_t>> ListGroup(std::uint32_t group) = 0;
    virtual bool Write(std::uint32_t item, std::uint32_t value, std::uint32_t mode) = 0;
    // The most recent failure in words (what failed, on which path, the OS reason); empty
    // when nothing has failed yet.
    virtual std::string LastError() const { return {}; }
    // What the watchdog hardware told of itself: the countdown it holds (seconds, 0 while none
    // of ours was set) and its boot status (WDIOF_* bits; WDIOF_CARDRESET when the last restart
    // was the watchdog's). No value while nothing is held open.
    struct WatchdogStatus {
        std::int32_t timeout = 0;
        std::int32_t bootStatus = 0;
    };
    virtual std::optional<WatchdogStatus> Status() const { return std::nullopt; }
    // Fills in what is known of the watchdog behind the item; report comes with every number
    // unknown and every text empty, and keeps what the firmware cannot tell.
    virtual void Report(TlAcpiWatchdogReport& report) { (void)report; }
};

// Copies text into a report's field, cut to fit at a character boundary and terminated.
void CopyText(char* field, std::size_t size, std::string_view text);
template <std::size_t Size>
void SetText(char (&field)[Size], std::string_view text)
{
    CopyText(field, Size, text);
}

// The firmware named by a TLACPI_FIRMWARE value: "device:PATH" or "sim:DIR"; null (and the
// reason on stderr) for anything else.
std::unique_ptr<Firmware> MakeFirmware(std::string_view choice);

} // namespace tlacpi
