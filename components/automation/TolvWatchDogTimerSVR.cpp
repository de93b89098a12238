#include "AutomationServer.h"
#include "ServiceLoop.h"

#include "watchdog/WatchDogControl.h"

// The automation server program. It drives the firmware through the direct backend in this
// process: Start arms the watchdog and starts the kick thread, Close ends it and writes 0.
int main()
{
    service::ServiceLoop loop("TolvWatchDogTimerSVR");
    // The controller lives as long as the process, as in the program. It is made the shared
    // controller explicitly because the automatic choice would find this very server on the bus
    // and forward every call back to it.
    auto* control = new WatchDogControl;
    (void)ExchangeWatchDogControlForTesting(control); // there was no previous controller
    return automation::RunAutomationServer(*control, loop);
}
