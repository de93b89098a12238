#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>

// Who holds a watchdog device that this process could not open: a process with a descriptor on
// it, or systemd's own runtime watchdog. The system's folders are found below root ("/" on a
// machine), so that a test can lay them out in a folder of its own.
namespace tlacpi {

struct DeviceHolder {
    pid_t pid = 0;     // the holding process, 0 when none was found
    std::string text;  // "process 812 (watchdog)", "systemd (RuntimeWatchdogSec=30s in ...)"
};

// The first process other than this one with a descriptor on the character device numbered
// device (processes whose descriptors cannot be read are passed over); else systemd when its
// configuration sets a runtime watchdog; else nothing (text empty).
DeviceHolder FindDeviceHolder(const std::filesystem::path& root, dev_t device);

// "process 812 (watchdog)", with the process's command name where it can be read.
std::string DescribeProcess(const std::filesystem::path& root, pid_t pid);

// "RuntimeWatchdogSec=30s in /etc/systemd/system.conf" when systemd's manager configuration
// (system.conf and its drop-ins, later ones winning) switches its runtime watchdog on; else empty.
std::string SystemdRuntimeWatchdog(const std::filesystem::path& root);

} // namespace tlacpi
