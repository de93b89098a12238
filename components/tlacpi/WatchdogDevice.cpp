#include "WatchdogDevice.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tlacpi {

namespace {

class SystemWatchdogDevice final : public WatchdogDevice {
public:
    explicit SystemWatchdogDevice(std::filesystem::path sysfs) : m_Sysfs(std::move(sysfs)) {}

    int Open(const char* path) override
    {
        const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return -errno;
        // Only a character device can be a watchdog; a plain file at the path is not one.
        struct stat status{};
        if (::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) {
            ::close(fd);
            return -ENODEV;
        }
        return fd;
    }

    int Ioctl(int fd, unsigned long request, void* argument) override
    {
        const int result = ::ioctl(fd, request, argument);
        return result >= 0 ? result : -errno;
    }

    long Write(int fd, const void* data, std::size_t size) override
    {
        const ssize_t written = ::write(fd, data, size);
        return written >= 0 ? static_cast<long>(written) : -errno;
    }

    int Close(int fd) override
    {
        return ::close(fd) == 0 ? 0 : -errno;
    }

    int NoWayOut(int fd) override
    {
        struct stat status{};
        if (::fstat(fd, &status) != 0)
            return -errno;
        std::string value;
        if (const int read = Attribute(status.st_rdev, "nowayout", value); read < 0)
            return read;
        return value == "1" ? 1 : 0;
    }

    int Running(const char* path) override
    {
        // stat, not open: opening the device would start a stopped watchdog.
        dev_t device = 0;
        if (const int found = Node(path, device); found < 0)
            return found;
        std::string value;
        if (const int read = Attribute(device, "state", value); read < 0)
            return read == -ENOENT ? -EOPNOTSUPP : read;  // the device is there; its state is not
        if (value == "active")
            return 1;
        return value == "inactive" ? 0 : -EIO;
    }

    int Node(const char* path, dev_t& device) override
    {
        struct stat status{};
        if (::stat(path, &status) != 0)
            return -errno;
        if (!S_ISCHR(status.st_mode))
            return -ENODEV;
        device = status.st_rdev;
        return 0;
    }

    int Attribute(dev_t device, const char* name, std::string& value) override
    {
        const unsigned major = ::major(device);
        const unsigned minor = ::minor(device);
        // /dev/watchdog (misc 10:130) is the first watchdog's legacy node.
        const std::filesystem::path attribute = major == 10 && minor == 130
            ? m_Sysfs / "class/watchdog/watchdog0" / name
            : m_Sysfs / "dev/char" / (std::to_string(major) + ":" + std::to_string(minor)) / name;
        const int file = ::open(attribute.c_str(), O_RDONLY | O_CLOEXEC);
        if (file < 0)
            return -errno;
        char text[128];
        const ssize_t got = ::read(file, text, sizeof text);
        ::close(file);
        if (got <= 0)
            return -EIO;
        value.assign(text, static_cast<std::size_t>(got));
        value.erase(std::min(value.find('\n'), value.size()));
        return 0;
    }

    int Writable(const char* path) override
    {
        return ::access(path, W_OK) == 0 ? 0 : -errno;
    }

private:
    const std::filesystem::path m_Sysfs;
};

} // namespace

std::unique_ptr<WatchdogDevice> MakeSystemWatchdogDevice(std::filesystem::path sysfs)
{
    return std::make_unique<SystemWatchdogDevice>(std::move(sysfs));
}

} // namespace tlacpi
