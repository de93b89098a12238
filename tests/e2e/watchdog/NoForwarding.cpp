// The memory-lock runner's stand-ins for the two forwarding backends. It only ever runs the
// direct backend, and leaving the bus client out keeps libsystemd and its libraries out of its
// image, which has to fit under a modest RLIMIT_MEMLOCK.

#include "watchdog/WatchDogForwarding.h"

bool IsDllComAvailable()
{
    return false;
}

void WatchDogDllCom::Start() {}
void WatchDogDllCom::Stop() {}
void WatchDogDllCom::Close() {}

int WatchDogDllCom::SetTime(std::int32_t, std::int32_t)
{
    return 0;
}

void WatchDogWMI::Start() {}
void WatchDogWMI::Close() {}

int WatchDogWMI::SetTime(std::int32_t, std::int32_t)
{
    return 1;
}
