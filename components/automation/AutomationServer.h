#pragma once

#include "ServiceLoop.h"
#include "WatchDogMethods.h"

// The automation server: owns the name "TolvWatchDogTimerSVR.WatchDogControl" on the session bus
// and serves the object /WatchDogControl with the methods Start, Stop, Close and SetTime(u, u)
// (restart countdown first, reload period second), carried out by methods.
namespace automation {

inline constexpr const char* kObjectPath = "/WatchDogControl";

// Serves until a stop signal or the loss of the bus, then closes the watchdog. Answers the
// program's exit code: 0 after a stop signal, 1 when the name could not be taken, the bus was
// lost or the watchdog could not be switched off.
int RunAutomationServer(WatchDogMethods& methods, service::ServiceLoop& loop);

} // namespace automation
