#include "WatchdogDevice.h"

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
        // /dev/watchdog (misc 10:130) is the first watchdog's legacy node.
        std::string attribute = "/sys/class/watchdog/watchdog0/nowayout";
        if (!(major(status.st_rdev) == 10 && minor(status.st_rdev) == 130))
            attribute = "/sys/dev/char/" + std::to_string(major(status.st_rdev)) + ":"
                + std::to_string(minor(status.st_rdev)) + "/nowayout";
        const int file = ::open(attribute.c_str(), O_RDONLY | O_CLOEXEC);
        if (file < 0)
            return -errno;
        char value = 0;
        const ssize_t got = ::read(file, &value, 1);
        ::close(file);
        if (got != 1)
            return -EIO;
        return value == '1' ? 1 : 0;
    }
};

} // namespace

std::unique_ptr<WatchdogDevice> MakeSystemWatchdogDevice()
{
    return std::make_unique<SystemWatchdogDevice>();
}

} // namespace tlacpi
