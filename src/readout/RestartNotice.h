#pragma once

#include <optional>
#include <string>

#include "tolv/WatchdogReport.h"

namespace readout {

// When the last restart was the watchdog's and has not been told before: writes a trace
// line with what the device said, marks that restart as told in the settings store and
// answers the text to show the user; no value otherwise (also when the library cannot tell).
std::optional<std::string> TakeRestartNotice();

// The text told for a watchdog restart, from what the device said (times in local time).
std::string DescribeWatchdogRestart(const TlAcpiWatchdogReport& report);

} // namespace readout
