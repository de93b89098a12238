#pragma once

#include "ServiceLoop.h"

#include "watchdog/CWatchDogControl.h"

#include <cstdint>
#include <optional>
#include <utility>

// The automation server: owns the name "TolvWatchDogTimerSVR.WatchDogControl" on the session bus
// and serves the object /WatchDogControl with the methods Start, Stop, Close and SetTime(u, u)
// (restart countdown first, reload period second) on the given controller.
namespace automation {

inline constexpr const char* kObjectPath = "/WatchDogControl";

// The times of a SetTime call as the controller takes them; no value when either does not fit
// a signed 32-bit number of seconds.
std::optional<std::pair<std::int32_t, std::int32_t>> ControllerTimes(std::uint32_t restart,
                                                                     std::uint32_t reload);

// Serves until a stop signal or the loss of the bus, then closes the watchdog. Answers the
// program's exit code: 0 after a stop signal, 1 when the name could not be taken or the bus
// was lost.
int RunAutomationServer(CWatchDogControl& control, service::ServiceLoop& loop);

} // namespace automation
