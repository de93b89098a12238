#include "ServiceLoop.h"
#include "WdtService.h"

#include "watchdog/WatchDogControl.h"

namespace {

constexpr const char* kUsage =
    "usage: TolvWdtSVR [--help]\n"
    "\n"
    "The watchdog service. It owns the window TMainForm:WdtSVR (a socket in\n"
    "$TOLV_ROOT/run/tolv) and carries out message 2054: wParam = restart countdown and\n"
    "lParam = reload period, in seconds. 0 and 0 switch the watchdog off, also a\n"
    "countdown that an earlier service left running. Other times arm it only when the\n"
    "countdown is 10 to 255 s and the reload period is at least 5 s and at least 5 s\n"
    "shorter than the countdown; any other pair is refused, logged with the reason, and\n"
    "the watchdog is left as it was. It drives the firmware through libtlacpi.so beside\n"
    "it (TLACPI_FIRMWARE=device:PATH or sim:DIR picks the firmware).\n"
    "While logind runs on the system bus, the service holds a delay inhibitor: before\n"
    "sleep or shutdown it switches an armed watchdog off, and after wake or a cancelled\n"
    "shutdown it arms it again with the same times.\n"
    "SIGTERM, SIGINT, SIGHUP or SIGQUIT switch the watchdog off and end it with status 0.\n";

} // namespace

// The watchdog service program. It drives the firmware through the direct backend in this
// process, as its window's messages ask.
int main(int argc, char** argv)
{
    if (const auto code = service::CommandLineExit(argc, argv, kUsage))
        return *code;
    service::ServiceLoop loop("TolvWdtSVR");
    // The controller lives as long as the process, as in the program. It is made the shared
    // controller explicitly: the automatic choice would pick the service-window backend on a
    // machine set up for this service, and the service would post to itself.
    auto* control = new WatchDogControl;
    (void)ExchangeWatchDogControlForTesting(control); // there was no previous controller
    return wdtsvr::RunWdtService(*control, loop);
}
