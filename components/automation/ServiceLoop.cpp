#include "ServiceLoop.h"

#include "platform/UiThread.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace service {
namespace {

// Each of these would otherwise end the process with the watchdog armed and no longer kicked;
// SIGQUIT (Ctrl-\ in a terminal) would even leave a core dump first.
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

int OnWake(sd_event_source*, int fd, std::uint32_t, void*)
{
    std::uint64_t count;
    // Only clears the counter; EAGAIN means it was clear already. (A cast to void does not
    // silence the fortified read's unused-result warning.)
    if (::read(fd, &count, sizeof count) < 0) {
    }
    platform::ProcessSynchronizeQueue();
    return 0;
}

int OnStopSignal(sd_event_source* source, const struct signalfd_siginfo* info, void* userdata)
{
    auto* loop = static_cast<ServiceLoop*>(userdata);
    loop->Log(std::string("received SIG") + ::sigabbrev_np(static_cast<int>(info->ssi_signo)) +
              ", stopping");
    return sd_event_exit(sd_event_source_get_event(source), 0);
}

} // namespace

std::optional<int> CommandLineExit(int argc, char** argv, const char* usage)
{
    if (argc <= 1)
        return std::nullopt;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    std::fprintf(stderr, "%s: unexpected argument \"%s\"\n%s", argv[0], argv[1], usage);
    return 2;
}

ServiceLoop::ServiceLoop(std::string programName) : m_ProgramName(std::move(programName))
{
    // Signals must be blocked before any thread starts, so that every thread inherits the mask
    // and only the loop sees them.
    sigset_t mask;
    sigemptyset(&mask);
    for (int signal : kStopSignals)
        sigaddset(&mask, signal);
    if (int rc = ::pthread_sigmask(SIG_BLOCK, &mask, nullptr); rc != 0) {
        m_Error = std::string("cannot block the stop signals: ") + std::strerror(rc);
        return;
    }
    (void)std::signal(SIGPIPE, SIG_IGN); // a vanished peer is an error result, not a death

    if (int rc = sd_event_new(&m_Event); rc < 0) {
        m_Error = std::string("cannot create the event loop: ") + std::strerror(-rc);
        return;
    }
    for (int signal : kStopSignals) {
        if (int rc = sd_event_add_signal(m_Event, nullptr, signal, OnStopSignal, this); rc < 0) {
            m_Error = std::string("cannot watch signals: ") + std::strerror(-rc);
            return;
        }
    }
    m_WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_WakeFd < 0) {
        m_Error = std::string("cannot create the wake-up event: ") + std::strerror(errno);
        return;
    }
    if (int rc = sd_event_add_io(m_Event, nullptr, m_WakeFd, EPOLLIN, OnWake, this); rc < 0) {
        m_Error = std::string("cannot watch the wake-up event: ") + std::strerror(-rc);
        return;
    }
    const int wakeFd = m_WakeFd;
    platform::SetSynchronizeWakeHook([wakeFd] {
        const std::uint64_t one = 1;
        // Fails only when already signalled enough.
        if (::write(wakeFd, &one, sizeof one) < 0) {
        }
    });
}

ServiceLoop::~ServiceLoop()
{
    platform::SetSynchronizeWakeHook({});
    if (m_Event)
        sd_event_unref(m_Event);
    if (m_WakeFd >= 0)
        (void)::close(m_WakeFd);
}

int ServiceLoop::Run()
{
    if (!Ok())
        return 1;
    // Calls queued before the loop started would otherwise wait for the next wake-up.
    platform::ProcessSynchronizeQueue();
    int rc = sd_event_loop(m_Event);
    if (rc < 0) {
        Log(std::string("event loop failed: ") + std::strerror(-rc));
        return 1;
    }
    return rc;
}

void ServiceLoop::Exit(int code)
{
    (void)sd_event_exit(m_Event, code); // fails only when the loop has already ended
}

void ServiceLoop::Log(const std::string& line) const
{
    std::fprintf(stderr, "%s: %s\n", m_ProgramName.c_str(), line.c_str());
    std::fflush(stderr);
}

} // namespace service
