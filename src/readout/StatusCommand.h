#pragma once

#include <ostream>
#include <string>
#include <string_view>

// The status command: what the watchdog, the firmware library, the running copy of the program
// and the stored settings tell, and whether that is as the settings say it should be.
namespace readout {

// Prints the status to out (text, or one JSON object); answers the exit status:
// 0 all is as stored (on and kicked, or off), 1 something is wrong.
int PrintStatus(bool json, std::ostream& out);

// text as a JSON string, quotes included; control characters and bytes that are not UTF-8
// come out as \u escapes, so the result is valid JSON whatever the device or a holder says.
std::string JsonString(std::string_view text);

} // namespace readout
