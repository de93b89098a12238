// watchdog-e2e-runner [--fake-firmware KICKS] [--without-ipc-lock] RESTART RELOAD
//
// Runs the direct watchdog backend as the program does: SetTime(RESTART, RELOAD), Start, then
// the UI thread's loop serving the kick thread's calls, until SIGTERM or SIGINT; then Close.
// The firmware library is the real one beside the program (TLACPI_FIRMWARE picks the firmware).
//
// --fake-firmware KICKS: the firmware is an in-process fake instead, and the runner closes and
//     ends by itself after KICKS kicks, saying how many it saw and how much memory was locked.
// --without-ipc-lock: drops CAP_IPC_LOCK first, so that RLIMIT_MEMLOCK binds even for root.
//
// Just before Start it prints the size of its address space ("image: N kB"), the amount a
// memory lock of everything mapped has to fit under. A Start that fails is reported with the
// value last written to the fake firmware, and the runner ends with 1.

#include "FakeFirmware.h"
#include "platform/UiThread.h"
#include "watchdog/WatchDogControl.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <fstream>
#include <linux/capability.h>
#include <memory>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool ParseNumber(const char* text, std::int32_t& number)
{
    const std::string_view view(text);
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), number);
    return ec == std::errc() && end == view.data() + view.size() && number > 0;
}

struct Options {
    std::int32_t restart = 0;
    std::int32_t reload = 0;
    std::int32_t fakeKicks = 0;  // 0: the real firmware library
    bool withoutIpcLock = false;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string_view option = argv[i];
        if (option == "--without-ipc-lock")
            options.withoutIpcLock = true;
        else if (option != "--fake-firmware" || ++i == argc)
            return false;
        else if (!ParseNumber(argv[i], options.fakeKicks))
            return false;
    }
    return argc - i == 2 && ParseNumber(argv[i], options.restart)
        && ParseNumber(argv[i + 1], options.reload);
}

bool DropIpcLock()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned bit = 1u << (CAP_IPC_LOCK % 32);
    data[CAP_IPC_LOCK / 32].effective &= ~bit;
    data[CAP_IPC_LOCK / 32].permitted &= ~bit;
    data[CAP_IPC_LOCK / 32].inheritable &= ~bit;
    return syscall(SYS_capset, &header, data) == 0;
}

// The kilobytes of a "Name:   N kB" line of /proc/self/status; -1 when there is none.
long StatusKilobytes(const std::string& name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name + ":", 0) == 0)
            return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
    return -1;
}

int g_WakePipe[2] = {-1, -1};

void DrainWakePipe()
{
    char bytes[64];
    while (read(g_WakePipe[0], bytes, sizeof bytes) > 0) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: watchdog-e2e-runner [--fake-firmware KICKS] "
                             "[--without-ipc-lock] RESTART RELOAD\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (options.withoutIpcLock && !DropIpcLock()) {
        std::fprintf(stderr, "cannot drop CAP_IPC_LOCK: %s\n", std::strerror(errno));
        return 1;
    }

    // Blocked before the kick thread exists, so it inherits the mask and the signals reach
    // only the loop below.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    if (pthread_sigmask(SIG_BLOCK, &stop, nullptr) != 0)
        return 1;
    const int signals = signalfd(-1, &stop, SFD_CLOEXEC);
    if (signals < 0 || pipe2(g_WakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "cannot set up the loop: %s\n", std::strerror(errno));
        return 1;
    }
    platform::SetSynchronizeWakeHook([] {
        const char byte = 1;
        (void)write(g_WakePipe[1], &byte, 1);  // a full pipe already wakes the loop
    });

    std::unique_ptr<testsupport::FakeFirmware> firmware;
    if (options.fakeKicks > 0)
        firmware = std::make_unique<testsupport::FakeFirmware>();
    // The SetTime write and the first write come before the kicks.
    const std::size_t enoughWrites = std::size_t(options.fakeKicks) + 2;

    // The direct backend regardless of what else the machine offers.
    auto* control = new WatchDogControl;  // lives for the whole process, as the shared one does
    ExchangeWatchDogControlForTesting(control);
    control->SetTime(options.restart, options.reload);
    std::printf("image: %ld kB\n", StatusKilobytes("VmSize"));
    try {
        control->Start();
    } catch (const std::exception& error) {
        std::printf("start failed: %s\n", error.what());
        if (firmware)
            std::printf("last write: %u\n", firmware->WatchdogValues().back());
        return 1;
    }
    std::printf("started: restart %d s, reload %d s\n", int(options.restart), int(options.reload));

    for (;;) {
        platform::ProcessSynchronizeQueue();
        if (firmware && firmware->WatchdogValues().size() >= enoughWrites)
            break;
        pollfd fds[2] = {{signals, POLLIN, 0}, {g_WakePipe[0], POLLIN, 0}};
        if (poll(fds, 2, firmware ? 20 : -1) < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "poll: %s\n", std::strerror(errno));
            break;
        }
        if (fds[1].revents & POLLIN)
            DrainWakePipe();
        if (fds[0].revents & POLLIN)
            break;
    }
    if (firmware) {
        std::printf("kicks: %zu\n", firmware->WatchdogValues().size() - 2);
        std::printf("locked: %ld kB\n", StatusKilobytes("VmLck"));
    }
    control->Close();
    std::printf("closed\n");
    return 0;
}
