#pragma once

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>

// The calls the firmware library makes on a Linux watchdog device, behind a seam so that the
// arming and disarming logic can be exercised without a device. Every call answers a negative
// errno on failure.
namespace tlacpi {

class WatchdogDevice {
public:
    virtual ~WatchdogDevice() = default;
    // A file descriptor, or -errno.
    virtual int Open(const char* path) = 0;
    // 0 (or the ioctl's non-negative result), or -errno.
    virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;
    // Bytes written, or -errno.
    virtual long Write(int fd, const void* data, std::size_t size) = 0;
    // 0, or -errno.
    virtual int Close(int fd) = 0;
    // Whether the driver of an open device keeps counting after any close ("nowayout"): 1 or 0,
    // or -errno when it cannot tell.
    virtual int NoWayOut(int fd) = 0;
    // Whether the watchdog at path counts down now, found without opening it (an open starts
    // it): 1 running, 0 stopped, -ENOENT when nothing is at path, -ENODEV when what is there is
    // no character device, another -errno when its state cannot be told (a kernel without
    // watchdog attributes in sysfs).
    virtual int Running(const char* path) = 0;

    // The device number of the character device at path, found without opening it: 0, -ENOENT
    // when nothing is at path, -ENODEV when what is there is no character device.
    virtual int Node(const char* path, dev_t& device)
    {
        (void)path;
        (void)device;
        return -EOPNOTSUPP;
    }
    // The first line of a watchdog attribute in sysfs ("identity", "timeleft", ...) of the
    // device numbered device: 0, or -errno (-ENOENT where the kernel has no such attribute).
    virtual int Attribute(dev_t device, const char* name, std::string& value)
    {
        (void)device;
        (void)name;
        (void)value;
        return -EOPNOTSUPP;
    }
    // Whether this user may open path for writing: 0, or -errno (-EACCES when not allowed).
    virtual int Writable(const char* path)
    {
        (void)path;
        return 0;
    }
};

// The real device calls (open, ioctl, write, close); the device attributes ("state",
// "nowayout") are read below sysfs.
std::unique_ptr<WatchdogDevice> MakeSystemWatchdogDevice(std::filesystem::path sysfs = "/sys");

} // namespace tlacpi
