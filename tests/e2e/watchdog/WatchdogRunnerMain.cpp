// watchdog-e2e-runner RESTART RELOAD
//
// Runs the direct watchdog backend as the program does: SetTime(RESTART, RELOAD), Start, then
// the UI thread's loop serving the kick thread's calls, until SIGTERM or SIGINT; then Close.
// The firmware library is the real one beside the program (TLACPI_FIRMWARE picks the firmware).

#include "platform/UiThread.h"
#include "watchdog/WatchDogControl.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

bool ParseSeconds(const char* text, std::int32_t& seconds)
{
    const std::string_view view(text);
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), seconds);
    return ec == std::errc() && end == view.data() + view.size() && seconds > 0;
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
    std::int32_t restart = 0;
    std::int32_t reload = 0;
    if (argc != 3 || !ParseSeconds(argv[1], restart) || !ParseSeconds(argv[2], reload)) {
        std::fprintf(stderr, "usage: watchdog-e2e-runner RESTART RELOAD\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

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

    // The direct backend regardless of what else the machine offers.
    auto* control = new WatchDogControl;  // lives for the whole process, as the shared one does
    ExchangeWatchDogControlForTesting(control);
    control->SetTime(restart, reload);
    control->Start();
    std::printf("started: restart %d s, reload %d s\n", int(restart), int(reload));

    for (;;) {
        platform::ProcessSynchronizeQueue();
        pollfd fds[2] = {{signals, POLLIN, 0}, {g_WakePipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
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
    control->Close();
    std::printf("closed\n");
    return 0;
}
