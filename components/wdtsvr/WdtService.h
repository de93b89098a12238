#pragma once

#include "ServiceLoop.h"

#include "watchdog/CWatchDogControl.h"

// The watchdog service: owns the window "TMainForm" / "WdtSVR" and carries out the messages
// posted to it on control. Runs until a stop signal, then removes its window and closes the
// watchdog. Answers the program's exit code (1 when the window could not be created, for
// example because another service already owns it).
namespace wdtsvr {

int RunWdtService(CWatchDogControl& control, service::ServiceLoop& loop);

} // namespace wdtsvr
