#include "WatchdogDevice.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tlacpi {

namespace {

class SystemWatchdogDevice final : public WatchdogDevice {
public:
    int Open(const char* path) override
    {
        const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
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
};

} // namespace

std::unique_ptr<WatchdogDevice> MakeSystemWatchdogDevice()
{
    return std::make_unique<SystemWatchdogDevice>();
}

} // namespace tlacpi
