#pragma once

#include "Firmware.h"
#include "WatchdogDevice.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>

// The watchdog item on a Linux watchdog device (/dev/watchdog): group 0x11 lists item
// 0x11060007 while the device can be held; a write of n > 0 seconds arms or kicks it with that
// countdown, a write of 0 switches it off with the magic close, also a countdown that an earlier
// holder left running. Opening the device starts it, so the library asks whether it runs before
// it opens it for anything but a countdown.
namespace tlacpi {

class DeviceFirmware final : public Firmware {
public:
    using LogSink = std::function<void(const std::string&)>;

    // log receives one line per event worth telling (without newline); stderr by default. The
    // holder of a busy device and the kernel's boot id are looked up below root.
    DeviceFirmware(std::string path, std::unique_ptr<WatchdogDevice> device, LogSink log = {},
                   std::filesystem::path root = "/");
    // An open device is deliberately not closed here: without the magic character the
    // countdown keeps running, which is what an armed watchdog of an ending program must do.
    ~DeviceFirmware() override = default;

    std::optional<std::vector<std::uint32_t>> ListGroup(std::uint32_t group) override;
    bool Write(std::uint32_t item, std::uint32_t value, std::uint32_t mode) override;

    std::string LastError() const override;
    std::optional<WatchdogStatus> Status() const override;
    // A held device is asked through its driver (sysfs where a call is missing); any other is
    // read from sysfs only, since opening it would start it.
    void Report(TlAcpiWatchdogReport& report) override;

    bool IsOpen() const;

private:
    bool EnsureOpen();
    bool Arm(std::uint32_t seconds);
    // A write of 0: switches off what runs, and never opens a device that is stopped.
    bool SwitchOff();
    bool Disarm();
    // Where nowayout cannot be read: asks the driver to stop the card before the magic close;
    // false (the device stays armed and kicked) when it refuses.
    bool StopCard(int noWayOut);
    bool Ping();
    void ReportHeld(TlAcpiWatchdogReport& report, dev_t node);
    void ReportUnheld(TlAcpiWatchdogReport& report, dev_t node);
    // Where the driver cannot answer request: the sysfs attribute name, else TLACPI_UNKNOWN.
    std::int32_t AskDriver(unsigned long request, dev_t node, const char* name);
    std::int32_t ReadNumber(dev_t node, const char* name, int base = 10);
    std::string BusyText(const std::string& holder) const;
    void Log(const std::string& text);
    void LogOnce(const std::string& key, const std::string& text);
    // A failure: remembered as the last error, logged (once per key when one is given).
    void Fail(const std::string& onceKey, const std::string& text);

    mutable std::mutex m_Mutex;
    const std::string m_Path;
    const std::unique_ptr<WatchdogDevice> m_Device;
    LogSink m_Log;
    const std::filesystem::path m_Root;
    int m_Fd = -1;
    // The countdown last requested since the device was opened; 0 when none was.
    std::uint32_t m_Timeout = 0;
    // What the driver answered for it (it may round); 0 when none was set.
    std::int32_t m_HeldTimeout = 0;
    std::int32_t m_BootStatus = 0;
    bool m_MagicClose = false;
    // The last open found the device held by another program.
    bool m_Busy = false;
    std::set<std::string> m_Logged;
    std::string m_LastError;
};

// Why nothing usable is at path: no driver loaded, and how to find the one the board needs.
std::string NoDriverText(const std::string& path);

} // namespace tlacpi
