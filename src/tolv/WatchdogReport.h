#pragma once

// What the firmware library can tell of the watchdog behind the firmware item, in one record:
// the device, whether it counts down and for how long, whether it can be switched off, who
// holds it and whether the last restart was the watchdog's. The record is shared with the
// library (libtlacpi.so fills it through TlAcpiReadWatchdog, beside the ordinals), so it is
// plain C data of fixed layout. Texts are UTF-8 and always terminated.

#ifdef __cplusplus
#include <cstdint>
extern "C" {
#else
#include <stdint.h>
#endif

// A number the device does not tell.
#define TLACPI_UNKNOWN (-1)

typedef struct TlAcpiWatchdogReport {
    // The caller sets it to sizeof(TlAcpiWatchdogReport); a library answers 0 for a size it
    // does not know.
    uint32_t size;
    // 1 when a watchdog is at path, 0 when nothing is (no driver loaded).
    int32_t present;
    // 1 when the countdown runs now, 0 when it is stopped, TLACPI_UNKNOWN.
    int32_t running;
    // 1 when this process holds the device (it armed it and kicks it), else 0.
    int32_t held;
    // The countdown in effect, in seconds, or TLACPI_UNKNOWN.
    int32_t timeout;
    // Seconds until the countdown runs out, or TLACPI_UNKNOWN where the driver cannot tell.
    int32_t timeLeft;
    // 1 when the watchdog cannot be switched off once started ("nowayout"), 0, TLACPI_UNKNOWN.
    int32_t noWayOut;
    // The WDIOF_* bits of the last restart (WDIOF_CARDRESET, 0x20: the watchdog restarted the
    // machine), or TLACPI_UNKNOWN.
    int32_t bootStatus;
    // The WDIOF_* capabilities of the device (WDIOF_SETTIMEOUT, WDIOF_MAGICCLOSE, ...); 0 when
    // unknown.
    uint32_t options;
    uint32_t firmwareVersion;
    // Process id of another program holding the device when it can be found, else 0.
    int32_t holderPid;
    int32_t reserved;
    // When the countdown behind the last restart ran out, in seconds since 1970-01-01 UTC, where
    // it was recorded (the simulated firmware records it); 0 when unknown.
    int64_t restartAt;
    // The device node ("/dev/watchdog"), or the simulated firmware's state file.
    char path[256];
    // The driver's name for the device ("i6300ESB timer"); empty when unknown.
    char identity[64];
    // Names the last restart when it was the watchdog's (the kernel's boot id, or the simulated
    // firmware's record of the expiry), so that it can be told once; empty otherwise.
    char restartId[64];
    // Who holds the device when another program does, in words ("process 812 (watchdog)",
    // "systemd (RuntimeWatchdogSec=30s in /etc/systemd/system.conf)"); empty when nobody else
    // does or nobody could be found.
    char holder[256];
    // Why the watchdog cannot be used now, in words a person can act on (no driver loaded, held
    // by another program); empty when nothing stands in the way.
    char problem[512];
} TlAcpiWatchdogReport;

// Fills report (whose size the caller has set); non-zero when filled. Never opens a device
// that is stopped (opening would start it); a device this process holds is asked directly.
typedef int32_t (*TlAcpiReadWatchdogFunction)(TlAcpiWatchdogReport* report);

#ifdef __cplusplus
}
#endif
