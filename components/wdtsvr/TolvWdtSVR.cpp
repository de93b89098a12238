#include "ServiceLoop.h"
#include "WdtService.h"

#include "watchdog/WatchDogControl.h"

// The watchdog service program. It drives the firmware through the direct backend in this
// process, as its window's messages ask.
int main()
{
    service::ServiceLoop loop("TolvWdtSVR");
    // The controller lives as long as the process, as in the program. It is made the shared
    // controller explicitly: the automatic choice would pick the service-window backend on a
    // machine set up for this service, and the service would post to itself.
    auto* control = new WatchDogControl;
    (void)ExchangeWatchDogControlForTesting(control); // there was no previous controller
    return wdtsvr::RunWdtService(*control, loop);
}
