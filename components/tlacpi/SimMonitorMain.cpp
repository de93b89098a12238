// tlacpi-sim-monitor DIR [--on-expire CMD] [--interval-ms N]
//
// Counts down the simulated watchdog of DIR/watchdog.state, prints the remaining time once per
// interval (1000 ms by default) and, when an armed countdown runs out, prints a line with
// "EXPIRED", records it and runs CMD through /bin/sh -c. Ends cleanly on SIGTERM or SIGINT.

#include "SimMonitor.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

namespace {

struct Options {
    std::string folder;
    std::string onExpire;
    int intervalMs = 1000;
};

std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--on-expire" && i + 1 < argc) {
            options.onExpire = argv[++i];
        } else if (arg == "--interval-ms" && i + 1 < argc) {
            const std::string_view value = argv[++i];
            int ms = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
            if (ec != std::errc() || end != value.data() + value.size() || ms < 10 || ms > 3600000)
                return std::nullopt;
            options.intervalMs = ms;
        } else if (!arg.empty() && arg[0] != '-' && options.folder.empty()) {
            options.folder = arg;
        } else {
            return std::nullopt;
        }
    }
    if (options.folder.empty())
        return std::nullopt;
    return options;
}

void RunCommand(const std::string& command)
{
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    std::string text = command;
    char* arguments[] = {shell, dashC, text.data(), nullptr};
    pid_t child = 0;
    const int error = posix_spawn(&child, shell, nullptr, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        std::fprintf(stderr, "cannot run %s: %s\n", command.c_str(), std::strerror(error));
        return;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: tlacpi-sim-monitor DIR [--on-expire CMD] [--interval-ms N]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // The signals that end the monitor are blocked and taken with a timed wait, which is
    // also the pause between looks: no signal can slip in between a check and the wait.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);

    std::error_code ec;
    std::filesystem::create_directories(options->folder, ec);
    tlacpi::SimMonitor monitor(options->folder);
    const timespec interval{options->intervalMs / 1000, (options->intervalMs % 1000) * 1000000L};
    for (;;) {
        const auto look = monitor.Check(tlacpi::MonotonicMs());
        std::printf("%s\n", look.line.c_str());
        if (look.expired && !options->onExpire.empty())
            RunCommand(options->onExpire);
        const int signal = sigtimedwait(&stop, nullptr, &interval);
        if (signal == SIGTERM || signal == SIGINT)
            break;
    }
    std::printf("monitor ended\n");
    return 0;
}
