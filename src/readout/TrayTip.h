#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "tolv/WatchdogReport.h"

namespace readout {

// The notification area keeps a tooltip of 128 bytes, its terminating NUL included.
inline constexpr std::size_t kMaxTrayTipLength = 127;

// The tray icon's tooltip: "TOLV Watchdog Timer: off", or the running countdown and reload
// period with, on a second line, what the device tells of it (the seconds left, a watchdog that
// cannot be switched off). Never longer than kMaxTrayTipLength.
std::string TrayTip(bool on, std::uint32_t restartSeconds, std::uint32_t reloadSeconds,
                    const std::optional<TlAcpiWatchdogReport>& report);

} // namespace readout
