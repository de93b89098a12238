#include "AutomationServer.h"
#include "ServiceLoop.h"

#include "watchdog/WatchDogControl.h"

namespace {

constexpr const char* kUsage =
    "usage: TolvWatchDogTimerSVR [--help]\n"
    "\n"
    "The watchdog's automation server. It owns TolvWatchDogTimerSVR.WatchDogControl on the\n"
    "session bus and serves /WatchDogControl with Start, Stop, Close and\n"
    "SetTime(u restart, u reload), driving the firmware through libtlacpi.so beside it\n"
    "(TLACPI_FIRMWARE=device:PATH or sim:DIR picks the firmware). SIGTERM, SIGINT, SIGHUP or\n"
    "SIGQUIT switch the watchdog off and end it with status 0.\n";

} // namespace

// The automation server program. It drives the firmware through the direct backend in this
// process: Start arms the watchdog and starts the kick thread, Close ends it and writes 0.
int main(int argc, char** argv)
{
    if (const auto code = service::CommandLineExit(argc, argv, kUsage))
        return *code;
    service::ServiceLoop loop("TolvWatchDogTimerSVR");
    // The controller lives as long as the process, as in the program. It is made the shared
    // controller explicitly because the automatic choice would find this very server on the bus
    // and forward every call back to it.
    auto* control = new WatchDogControl;
    (void)ExchangeWatchDogControlForTesting(control); // there was no previous controller
    automation::WatchDogMethods methods(*control, control->RestartTime(), control->ReloadTime());
    return automation::RunAutomationServer(methods, loop);
}
