#include "ServiceLoop.h"
#include "WdtService.h"

#include "watchdog/WatchDogControl.h"

namespace {

constexpr const char* kUsage =
    "usage: TolvWdtSVR [--help]\n"
    "\n"
    "The watchdog service. It owns the window TMainForm:WdtSVR (a socket in\n"
    "$TOLV_ROOT/run/tolv) and carries out message 2054: wParam = restart countdown and\n"
    "lParam = reload period (both > 0) arm the watchdog, 0 and 0 switch it off, also a\n"
    "countdown that an earlier service left running. It drives the firmware through\n"
    "libtlacpi.so beside it (TLACPI_FIRMWARE=device:PATH or sim:DIR picks the firmware).\n"
    "SIGTERM, SIGINT or SIGHUP switch the watchdog off and end it with status 0.\n";

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
