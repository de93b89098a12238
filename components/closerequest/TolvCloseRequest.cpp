// TolvCloseRequest: asks every running copy of the program to close (message 2044 to its main
// window, the request another program sends to end it) and waits until none answers any more.
// The package runs it before the program is removed or replaced, so no watchdog is left armed
// by a program that is going away: the program switches the watchdog off before it ends.
//
//   TolvCloseRequest [--wait SECONDS]      (0 to 600, default 10)
//
// Exit status: 0 no copy runs any more (or none ran), 1 a copy still answers after the wait,
// 2 a bad command line. Run as root it reaches every user's copy; run as a user, only its own.
// What users leave in the shared runtime folder cannot steer it elsewhere: a window counts only
// as a socket of the user whose folder holds it, reached without following links; whatever is
// passed over is named on stderr.

#include "platform/WindowMessages.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t kCloseRequest = 2044;
constexpr const char* kWindowClass = "TMainForm";
constexpr const char* kWindowCaption = "TOLV Watchdog Timer";
constexpr int kDefaultWaitSeconds = 10;
constexpr int kMostWaitSeconds = 600;
constexpr auto kPollPeriod = std::chrono::milliseconds(100);

// The main windows of the running copies that answer now, of every user whose window folder
// this process may enter. With report, what was passed over and why goes to stderr, so that an
// administrator learns why a copy they see running was not asked.
std::vector<platform::UserWindow> RunningCopies(bool report)
{
    if (!report)
        return platform::FindWindowsOfAllUsers(kWindowClass, kWindowCaption);
    return platform::FindWindowsOfAllUsers(kWindowClass, kWindowCaption, [](const std::string& why) {
        std::fprintf(stderr, "TolvCloseRequest: skipped %s\n", why.c_str());
    });
}

std::optional<int> ParseWait(int argc, char** argv)
{
    if (argc == 1)
        return kDefaultWaitSeconds;
    if (argc != 3 || std::strcmp(argv[1], "--wait") != 0)
        return std::nullopt;
    const std::string_view text = argv[2];
    int seconds = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 0
        || seconds > kMostWaitSeconds)
        return std::nullopt;
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<int> wait = ParseWait(argc, argv);
    if (!wait) {
        std::fprintf(stderr, "usage: TolvCloseRequest [--wait SECONDS]   (0 to %d, default %d)\n",
                     kMostWaitSeconds, kDefaultWaitSeconds);
        return 2;
    }
    const std::vector<platform::UserWindow> copies = RunningCopies(true);
    for (const platform::UserWindow& copy : copies) {
        // A copy that ended between the look-up and the post needs no request.
        (void)platform::PostMessage(copy, kCloseRequest, 0, 0);
    }
    if (!copies.empty())
        std::printf("TolvCloseRequest: asked %zu running %s to close\n", copies.size(),
                    copies.size() == 1 ? "copy" : "copies");

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(*wait);
    std::size_t running = copies.size();
    while (running > 0) {
        running = RunningCopies(false).size();
        if (running == 0 || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(kPollPeriod);
    }
    if (running > 0) {
        std::fprintf(stderr, "TolvCloseRequest: %zu %s still running after %d s\n", running,
                     running == 1 ? "copy is" : "copies are", *wait);
        return 1;
    }
    return 0;
}
