#include "platform/PowerEvents.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";
constexpr const char* kOwnerChangedMatch =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='org.freedesktop.login1'";

constexpr const char* kInhibitWhat = "sleep:shutdown";
constexpr const char* kInhibitWho = "TOLV Watchdog Timer";
constexpr const char* kInhibitWhy = "Switching the hardware watchdog off";
constexpr const char* kInhibitMode = "delay";

// Each bus call waits at most this long (the library's default is 25 s).
constexpr std::uint64_t kCallTimeoutUsec = 5'000'000;

// The end of the session (SIGTERM, SIGHUP) and a person's interrupt or quit at a terminal
// (SIGINT, SIGQUIT): each would end the process with the watchdog armed and no longer kicked.
constexpr std::array<int, 4> kWatchedSignals{SIGTERM, SIGHUP, SIGINT, SIGQUIT};
// A byte in the signal pipe that is no signal: it only asks for a Dispatch.
constexpr unsigned char kWakeByte = 0;

std::string ErrnoText(int negativeErrno)
{
    return std::strerror(-negativeErrno);
}

// The self-pipe of the signal watch. It stays open for the life of the process: a handler
// running on another thread may still be about to write when the watch ends, and a closed and
// reused descriptor would then receive its byte.
struct SignalPipe {
    int read = -1;
    int write = -1;
};

SignalPipe& ProcessSignalPipe()
{
    static SignalPipe pipe;
    if (pipe.read < 0) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0)
            pipe = SignalPipe{ends[0], ends[1]};
    }
    return pipe;
}

// Read by the signal handler, which may run on any thread.
std::atomic<int> g_SignalWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);
// The object that watches the signals and the dispositions it replaced; UI thread only.
const PowerEvents* g_SignalWatcher = nullptr;
std::array<struct sigaction, kWatchedSignals.size()> g_PreviousActions{};

void OnWatchedSignal(int signal)
{
    const int savedErrno = errno;
    const int fd = g_SignalWriteFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signal);
        // A full pipe already holds bytes that will make the watcher look.
        const ssize_t written = ::write(fd, &byte, 1);
        (void)written;
    }
    errno = savedErrno;
}

// Empties the pipe and answers how many signals it held.
int DrainSignalPipe()
{
    const int fd = ProcessSignalPipe().read;
    int signals = 0;
    std::array<unsigned char, 64> bytes{};
    while (true) {
        const ssize_t got = ::read(fd, bytes.data(), bytes.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return signals;
        signals += static_cast<int>(std::count_if(bytes.begin(), bytes.begin() + got,
                                                  [](unsigned char b) { return b != kWakeByte; }));
    }
}

void WakeSignalPipe()
{
    const ssize_t written = ::write(ProcessSignalPipe().write, &kWakeByte, 1);
    (void)written; // a full pipe wakes the watcher just as well
}

// Installs the handler for the watched signals; empty on success, else why not.
std::string StartSignalWatch(const PowerEvents* watcher)
{
    if (g_SignalWatcher)
        return "the end-of-session signals are already watched by another power event source";
    const SignalPipe& pipe = ProcessSignalPipe();
    if (pipe.read < 0)
        return std::string("cannot watch the end-of-session signals: pipe: ") + std::strerror(errno);
    (void)DrainSignalPipe(); // left from an earlier watch that nobody dispatched
    g_SignalWriteFd.store(pipe.write);

    struct sigaction action {};
    action.sa_handler = OnWatchedSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kWatchedSignals.size(); ++i) {
        if (::sigaction(kWatchedSignals[i], &action, &g_PreviousActions[i]) != 0) {
            const std::string reason = std::strerror(errno);
            while (i-- > 0)
                (void)::sigaction(kWatchedSignals[i], &g_PreviousActions[i], nullptr);
            return "cannot watch the end-of-session signals: sigaction: " + reason;
        }
    }
    g_SignalWatcher = watcher;
    return {};
}

void StopSignalWatch()
{
    for (std::size_t i = 0; i < kWatchedSignals.size(); ++i)
        (void)::sigaction(kWatchedSignals[i], &g_PreviousActions[i], nullptr); // cannot fail here
    g_SignalWatcher = nullptr;
}

bool IsServiceMissing(const sd_bus_error* error)
{
    return sd_bus_error_has_names(error, SD_BUS_ERROR_SERVICE_UNKNOWN,
                                  SD_BUS_ERROR_NAME_HAS_NO_OWNER);
}

std::string ErrorText(const sd_bus_error* error, int rc)
{
    if (error && error->message && *error->message)
        return error->message;
    if (error && error->name)
        return error->name;
    return ErrnoText(rc);
}

// Who owns a name on the bus now, as the bus itself answers.
struct NameOwner {
    std::string owner;    // a unique name; empty when none or unknown
    std::string failure;  // why the bus gave no answer; empty when it did
};

NameOwner LookUpOwner(sd_bus* bus, const char* name)
{
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int rc = sd_bus_call_method(bus, kBusName, kBusPath, kBusName, "GetNameOwner", &error, &reply,
                                "s", name);
    const char* owner = nullptr;
    if (rc >= 0)
        rc = sd_bus_message_read(reply, "s", &owner);
    NameOwner result;
    if (rc >= 0 && owner)
        result.owner = owner;
    else if (!sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER))
        result.failure = ErrorText(&error, rc < 0 ? rc : -EBADMSG);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return result;
}

} // namespace

const char* PowerEventName(PowerEvent event)
{
    switch (event) {
    case PowerEvent::Suspend: return "suspend";
    case PowerEvent::Resume: return "resume";
    case PowerEvent::Shutdown: return "shutdown";
    case PowerEvent::ShutdownCancelled: return "shutdown cancelled";
    case PowerEvent::SessionEnd: return "session end";
    }
    return "unknown";
}

// sd-bus calls plain functions; these hand the messages to the object.
struct PowerEvents::Callbacks {
    static int PrepareForSleep(sd_bus_message* message, void* userdata, sd_bus_error*)
    {
        auto* self = static_cast<PowerEvents*>(userdata);
        int starting = 0;
        if (self->FromLogind(message) && sd_bus_message_read(message, "b", &starting) >= 0)
            self->OnPrepare(starting ? PowerEvent::Suspend : PowerEvent::Resume, starting);
        return 0;
    }

    static int PrepareForShutdown(sd_bus_message* message, void* userdata, sd_bus_error*)
    {
        auto* self = static_cast<PowerEvents*>(userdata);
        int starting = 0;
        if (self->FromLogind(message) && sd_bus_message_read(message, "b", &starting) >= 0)
            self->OnPrepare(starting ? PowerEvent::Shutdown : PowerEvent::ShutdownCancelled,
                            starting);
        return 0;
    }

    static int NameOwnerChanged(sd_bus_message* message, void* userdata, sd_bus_error*)
    {
        // Only the bus itself tells who owns a name; any client can address a signal that looks
        // like this one straight to this connection, past the match rule's sender.
        const char* sender = sd_bus_message_get_sender(message);
        const char* name = nullptr;
        const char* oldOwner = nullptr;
        const char* newOwner = nullptr;
        if (!sender || std::strcmp(sender, kBusName) != 0 ||
            sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0 ||
            std::strcmp(name, kLogind) != 0)
            return 0;
        auto* self = static_cast<PowerEvents*>(userdata);
        if (*oldOwner)
            self->OnLogindLeft();
        if (*newOwner)
            self->OnLogindArrived(newOwner);
        return 0;
    }

    static int InhibitReplied(sd_bus_message* reply, void* userdata, sd_bus_error*)
    {
        auto* self = static_cast<PowerEvents*>(userdata);
        sd_bus_slot_unref(self->m_InhibitCall); // sd-bus keeps the slot alive during the call
        self->m_InhibitCall = nullptr;
        if (sd_bus_is_open(self->m_Bus) <= 0)
            return 0; // the connection is closing; that is reported on its own
        self->AcceptInhibitor(ReadInhibitReply(reply, sd_bus_message_get_error(reply), 0));
        return 0;
    }

    // The descriptor in a reply to Inhibit, duplicated (the message owns its own copy).
    static InhibitReply ReadInhibitReply(sd_bus_message* reply, const sd_bus_error* error, int rc)
    {
        InhibitReply result;
        if (sd_bus_error_is_set(error) || rc < 0) {
            result.error = ErrorText(error, rc);
            return result;
        }
        int fd = -1;
        rc = sd_bus_message_read(reply, "h", &fd);
        if (rc >= 0)
            fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (rc < 0 || fd < 0)
            result.error = "unreadable reply: " + ErrnoText(rc < 0 ? rc : -errno);
        result.fd = fd;
        return result;
    }
};

PowerEvents::PowerEvents(Handler handler, EndSignals endSignals)
    : m_Handler(std::move(handler)), m_EndSignals(endSignals)
{
}

PowerEvents::~PowerEvents()
{
    CloseBus();
    if (m_WatchingSignals)
        StopSignalWatch();
}

void PowerEvents::SetLog(LogHandler log)
{
    m_Log = std::move(log);
}

bool PowerEvents::Open()
{
    if (m_Opened)
        return m_OpenResult;
    m_Opened = true;
    if (m_EndSignals == EndSignals::Watch) {
        const std::string signalProblem = StartSignalWatch(this);
        m_WatchingSignals = signalProblem.empty();
        if (!m_WatchingSignals)
            Report(signalProblem);
    }
    m_OpenResult = OpenBus();
    // The calls above may have read signals into the connection's queue, where no descriptor
    // shows them; one wake byte makes the caller's first Dispatch pick them up.
    if (m_WatchingSignals)
        WakeSignalPipe();
    return m_OpenResult;
}

bool PowerEvents::OpenBus()
{
    int rc = sd_bus_open_system(&m_Bus);
    if (rc >= 0) {
        (void)sd_bus_set_method_call_timeout(m_Bus, kCallTimeoutUsec); // else the 25 s default
        rc = Subscribe();
    }
    if (rc < 0)
        return Silent("no system bus (" + ErrnoText(rc) + ")");
    // Subscribed first, so that logind coming or going after the answer is seen too.
    NameOwner logind = LookUpOwner(m_Bus, kLogind);
    if (!logind.failure.empty())
        return Silent("no system bus (" + logind.failure + ")");
    if (logind.owner.empty()) {
        // The connection stays, so that a logind started later is noticed.
        Report("logind is not on the system bus" + SilentTail());
        return false;
    }
    m_LogindOwner = std::move(logind.owner);

    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    rc = sd_bus_call_method(m_Bus, kLogind, kLogindPath, kLogindManager, "Inhibit", &error,
                            &reply, "ssss", kInhibitWhat, kInhibitWho, kInhibitWhy, kInhibitMode);
    const bool logindMissing = rc < 0 && IsServiceMissing(&error);
    const bool busFailed = rc < 0 && !sd_bus_error_is_set(&error);
    InhibitReply result = Callbacks::ReadInhibitReply(reply, &error, rc);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (busFailed)
        return Silent("no system bus (" + result.error + ")");
    if (logindMissing) {
        // It left since the lookup; its NameOwnerChanged is on its way.
        Report("logind is not on the system bus" + SilentTail());
        return false;
    }
    AcceptInhibitor(std::move(result));
    return true;
}

// Reports why, closes the bus and answers false.
bool PowerEvents::Silent(const std::string& why)
{
    Report(why + SilentTail());
    CloseBus();
    return false;
}

std::string PowerEvents::SilentTail() const
{
    return m_WatchingSignals ? ": only the end-of-session signals are watched"
                             : ": no power events";
}

// Waits for the bus to confirm each match, so that no signal sent after Open is missed.
int PowerEvents::Subscribe()
{
    const std::array<std::pair<const char*, sd_bus_message_handler_t>, 2> signals{{
        {"PrepareForSleep", &Callbacks::PrepareForSleep},
        {"PrepareForShutdown", &Callbacks::PrepareForShutdown},
    }};
    for (const auto& [member, callback] : signals) {
        sd_bus_slot* slot = nullptr;
        const int rc = sd_bus_match_signal(m_Bus, &slot, kLogind, kLogindPath, kLogindManager,
                                           member, callback, this);
        if (rc < 0)
            return rc;
        m_Matches.push_back(slot);
    }
    sd_bus_slot* slot = nullptr;
    const int rc =
        sd_bus_add_match(m_Bus, &slot, kOwnerChangedMatch, &Callbacks::NameOwnerChanged, this);
    if (rc >= 0)
        m_Matches.push_back(slot);
    return rc;
}

void PowerEvents::CloseBus()
{
    ReleaseInhibitor();
    m_InhibitCall = sd_bus_slot_unref(m_InhibitCall);
    for (sd_bus_slot* slot : m_Matches)
        sd_bus_slot_unref(slot);
    m_Matches.clear();
    // No flush: nothing we sent needs to arrive, and a stuck bus must not hold up the caller.
    m_Bus = sd_bus_close_unref(m_Bus);
    m_LogindOwner.clear();
    m_SleepPreparing = false;
    m_ShutdownPreparing = false;
}

std::vector<int> PowerEvents::Fds() const
{
    std::vector<int> fds;
    if (m_WatchingSignals)
        fds.push_back(ProcessSignalPipe().read);
    if (m_Bus) {
        const int fd = sd_bus_get_fd(m_Bus);
        if (fd >= 0)
            fds.push_back(fd);
    }
    return fds;
}

void PowerEvents::Dispatch()
{
    DrainSignals();
    ProcessBus();
    while (!m_Pending.empty()) {
        const PowerEvent event = m_Pending.front();
        m_Pending.pop_front();
        if (!Deliver(event))
            return;
    }
}

void PowerEvents::DrainSignals()
{
    if (!m_WatchingSignals)
        return;
    for (int signals = DrainSignalPipe(); signals > 0; --signals)
        m_Pending.push_back(PowerEvent::SessionEnd);
}

void PowerEvents::ProcessBus()
{
    if (!m_Bus)
        return;
    // Everything queued inside the connection must be handled now: once read from the socket,
    // it no longer makes the descriptor readable.
    int rc = 0;
    while ((rc = sd_bus_process(m_Bus, nullptr)) > 0) {
    }
    if (rc < 0 || sd_bus_is_open(m_Bus) <= 0)
        (void)Silent("system bus connection lost (" + ErrnoText(rc < 0 ? rc : -ENOTCONN) + ")");
}

// Whether logind sent message. Anything else is dropped; the first such signal is logged, the
// rest quietly, so that nobody can fill the trace log with them.
bool PowerEvents::FromLogind(sd_bus_message* message)
{
    const char* sender = sd_bus_message_get_sender(message);
    if (sender && !m_LogindOwner.empty() && m_LogindOwner == sender)
        return true;
    if (!m_ForgeryLogged) {
        m_ForgeryLogged = true;
        const char* member = sd_bus_message_get_member(message);
        Log(std::string("ignored ") + (member ? member : "a signal") + " from " +
            (sender ? sender : "an unknown sender") + ", which is not logind (" +
            (m_LogindOwner.empty() ? "not on the bus" : m_LogindOwner) +
            "); later ones are ignored without a line");
    }
    return false;
}

void PowerEvents::OnPrepare(PowerEvent event, bool starting)
{
    const bool shutdown = event == PowerEvent::Shutdown || event == PowerEvent::ShutdownCancelled;
    bool& preparing = shutdown ? m_ShutdownPreparing : m_SleepPreparing;
    // An end with nothing begun would arm a watchdog that was never switched off for it.
    if (!starting && !preparing)
        return;
    preparing = starting;
    m_Pending.push_back(event);
}

void PowerEvents::OnLogindLeft()
{
    m_LogindOwner.clear();
    m_InhibitCall = sd_bus_slot_unref(m_InhibitCall);
    ReleaseInhibitor();
    m_SleepPreparing = false;
    m_ShutdownPreparing = false;
    Report("logind left the system bus: no sleep or shutdown events until it returns");
}

void PowerEvents::OnLogindArrived(const char* owner)
{
    m_LogindOwner = owner;
    Report("logind is on the system bus again");
    TakeInhibitor();
}

void PowerEvents::TakeInhibitor()
{
    if (!m_Bus || m_InhibitFd >= 0 || m_InhibitCall)
        return;
    const int rc = sd_bus_call_method_async(m_Bus, &m_InhibitCall, kLogind, kLogindPath,
                                            kLogindManager, "Inhibit", &Callbacks::InhibitReplied,
                                            this, "ssss", kInhibitWhat, kInhibitWho, kInhibitWhy,
                                            kInhibitMode);
    if (rc < 0) {
        m_InhibitCall = nullptr;
        Report("inhibitor refused: cannot send the request: " + ErrnoText(rc));
    }
}

void PowerEvents::AcceptInhibitor(InhibitReply reply)
{
    if (reply.fd < 0) {
        Report("inhibitor refused: " + reply.error);
        return;
    }
    // Granted while the machine is already going down, after the handler has run: holding it
    // would only make logind wait out its whole delay.
    const bool handlerStillToRun =
        std::any_of(m_Pending.begin(), m_Pending.end(), [](PowerEvent event) {
            return event == PowerEvent::Suspend || event == PowerEvent::Shutdown;
        });
    if (m_InhibitFd >= 0 || (Preparing() && !handlerStillToRun)) {
        ::close(reply.fd);
        return;
    }
    m_InhibitFd = reply.fd;
    Report("listening to logind: delay inhibitor held");
}

void PowerEvents::ReleaseInhibitor()
{
    if (m_InhibitFd < 0)
        return;
    ::close(m_InhibitFd); // closing is the release; logind notices the hang-up
    m_InhibitFd = -1;
}

bool PowerEvents::Deliver(PowerEvent event)
{
    const std::weak_ptr<bool> alive = m_Alive;
    if (m_Handler)
        m_Handler(event);
    if (alive.expired())
        return false;
    switch (event) {
    case PowerEvent::Suspend:
    case PowerEvent::Shutdown:
        ReleaseInhibitor();
        break;
    case PowerEvent::Resume:
    case PowerEvent::ShutdownCancelled:
        if (!Preparing())
            TakeInhibitor();
        break;
    case PowerEvent::SessionEnd:
        break;
    }
    return true;
}

void PowerEvents::Report(const std::string& line)
{
    m_Status = line;
    Log(line);
}

void PowerEvents::Log(const std::string& line)
{
    if (line == m_LastLogged)
        return;
    m_LastLogged = line;
    if (m_Log)
        m_Log(line);
}

} // namespace platform
