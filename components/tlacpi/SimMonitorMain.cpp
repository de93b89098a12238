// tlacpi-sim-monitor DIR [--on-expire CMD] [--interval-ms N]
//
// Counts down the simulated watchdog of DIR/watchdog.state, prints the remaining time once per
// interval (1000 ms by default) and, when an armed countdown runs out, prints a line with
// "EXPIRED", records it and starts CMD through /bin/sh -c. Ends cleanly on SIGTERM or SIGINT.

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

constexpr int kShortestIntervalMs = 10;
constexpr int kLongestIntervalMs = 3600000;

constexpr const char* kUsage =
    "usage: tlacpi-sim-monitor DIR [--on-expire CMD] [--interval-ms N]\n"
    "\n"
    "Watches the simulated watchdog in DIR/watchdog.state (the firmware library with\n"
    "TLACPI_FIRMWARE=sim:DIR) and prints the remaining countdown once per interval. When an\n"
    "armed countdown runs out it prints EXPIRED, appends a line to DIR/expiries.log, sets\n"
    "expired=1 in DIR/monitor.state and starts CMD, without waiting for it.\n"
    "\n"
    "  --on-expire CMD   run through /bin/sh -c at every expiry\n"
    "  --interval-ms N   the pause between two looks: 10 to 3600000 ms (default 1000)\n"
    "  --help            this text\n"
    "\n"
    "SIGTERM or SIGINT end it with status 0; a bad command line ends it with status 2, a\n"
    "folder that cannot be made with status 1.\n";

struct Options {
    std::string folder;
    std::string onExpire;
    int intervalMs = 1000;
    bool help = false;
};

// The options, or no value with the reason in error.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            options.help = true;
        } else if (arg == "--on-expire" && i + 1 < argc) {
            options.onExpire = argv[++i];
        } else if (arg == "--interval-ms" && i + 1 < argc) {
            const std::string_view value = argv[++i];
            int ms = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
            if (ec != std::errc() || end != value.data() + value.size() || ms < kShortestIntervalMs
                || ms > kLongestIntervalMs) {
                error = "--interval-ms takes " + std::to_string(kShortestIntervalMs) + " to "
                    + std::to_string(kLongestIntervalMs) + ", not \"" + std::string(value) + "\"";
                return std::nullopt;
            }
            options.intervalMs = ms;
        } else if (!arg.empty() && arg[0] != '-' && options.folder.empty()) {
            options.folder = arg;
        } else {
            error = "unexpected argument \"" + std::string(arg) + "\"";
            return std::nullopt;
        }
    }
    if (options.folder.empty() && !options.help) {
        error = "no folder given";
        return std::nullopt;
    }
    return options;
}

// Starts the command and does not wait for it: the countdown goes on being shown while it runs,
// and a stop signal ends the monitor at once. ReapCommands collects it when it has ended.
void StartCommand(const std::string& command)
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
    if (error != 0)
        std::fprintf(stderr, "cannot run %s: %s\n", command.c_str(), std::strerror(error));
}

// Collects the commands that have ended (the monitor has no other children) and tells of those
// that failed.
void ReapCommands()
{
    int status = 0;
    for (pid_t child; (child = waitpid(-1, &status, WNOHANG)) > 0;) {
        if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
            std::fprintf(stderr, "the --on-expire command (process %d) ended with status %d\n",
                         static_cast<int>(child), WEXITSTATUS(status));
        else if (WIFSIGNALED(status))
            std::fprintf(stderr, "the --on-expire command (process %d) ended by signal %d\n",
                         static_cast<int>(child), WTERMSIG(status));
    }
}

// 0 when the folder is there (made when missing), otherwise the exit status after saying why.
int PrepareFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    if (std::filesystem::exists(folder, ec) && !std::filesystem::is_directory(folder, ec)) {
        std::fprintf(stderr, "tlacpi-sim-monitor: %s is not a folder\n%s", folder.c_str(), kUsage);
        return 2;
    }
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "tlacpi-sim-monitor: cannot make the folder %s: %s\n",
                     folder.c_str(), ec.message().c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    const auto options = ParseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "tlacpi-sim-monitor: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (const int status = PrepareFolder(options->folder); status != 0)
        return status;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // The signals that end the monitor are blocked and taken with a timed wait, which is
    // also the pause between looks: no signal can slip in between a check and the wait.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);

    tlacpi::SimMonitor monitor(options->folder);
    const timespec interval{options->intervalMs / 1000, (options->intervalMs % 1000) * 1000000L};
    for (;;) {
        ReapCommands();
        const auto look = monitor.Check(tlacpi::MonotonicMs());
        std::printf("%s\n", look.line.c_str());
        if (look.expired && !options->onExpire.empty())
            StartCommand(options->onExpire);
        const int signal = sigtimedwait(&stop, nullptr, &interval);
        if (signal == SIGTERM || signal == SIGINT)
            break;
    }
    // Commands still running are left to finish on their own.
    std::printf("monitor ended\n");
    return 0;
}
