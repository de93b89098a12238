#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

// Sleep, shutdown and end-of-session events for the main window.
//
// Sleep and shutdown come from systemd-logind on the system bus (PrepareForSleep,
// PrepareForShutdown). While the program listens it holds a "delay" inhibitor, so logind waits
// (at most its InhibitDelayMaxSec, 5 s by default) until the handler has switched the watchdog
// off; the inhibitor is let go once the handler has returned and taken again after resume or a
// cancelled shutdown. The end of the session reaches the program as SIGTERM or SIGHUP; SIGINT and
// SIGQUIT (Ctrl-C, Ctrl-\ in a terminal) are taken the same way. Without
// a system bus or without logind only the signals arrive.
//
// Any client of the system bus can send a signal that looks like logind's, even straight to this
// connection. Only signals whose sender is logind's unique name count; that name is asked for when
// opening and followed through NameOwnerChanged from the bus itself. A wake or a cancelled
// shutdown counts only after logind announced the sleep or the shutdown.
//
// Everything runs on the thread that calls Dispatch: the caller watches Fds() for readability
// and calls Dispatch when one of them is readable. Only one object at a time can watch the
// signals; while it does, those signals no longer end the process, so the handler has to.
namespace platform {

enum class PowerEvent {
    Suspend,           // logind PrepareForSleep(true)
    Resume,            // logind PrepareForSleep(false)
    Shutdown,          // logind PrepareForShutdown(true)
    ShutdownCancelled, // logind PrepareForShutdown(false)
    SessionEnd,        // SIGTERM, SIGHUP, SIGINT or SIGQUIT received by the process
};

const char* PowerEventName(PowerEvent event);

// Whether the source watches the end-of-session signals. A program whose own event loop already
// takes them (a service on sd-event with a signalfd) leaves them to that loop, which then has to
// switch the watchdog off itself.
enum class EndSignals { Watch, LeaveAlone };

class PowerEvents {
public:
    using Handler = std::function<void(PowerEvent)>;
    using LogHandler = std::function<void(const std::string&)>;

    explicit PowerEvents(Handler handler, EndSignals endSignals = EndSignals::Watch);
    // Lets go of the inhibitor, closes the bus and gives the watched signals back their previous
    // dispositions.
    ~PowerEvents();
    PowerEvents(const PowerEvents&) = delete;
    PowerEvents& operator=(const PowerEvents&) = delete;

    // Receives one line per change worth a trace entry ("inhibitor refused: ..."); a line equal
    // to the previous one is not repeated. Called from Open and Dispatch; it must not destroy
    // this object.
    void SetLog(LogHandler log);

    // Starts watching the end-of-session signals (unless left alone), connects to the system bus
    // (DBUS_SYSTEM_BUS_ADDRESS when set), subscribes to logind's signals, learns logind's unique
    // name and takes the inhibitor. False when there is no system bus or no logind; the signals
    // are delivered all the same. A refused inhibitor is not a failure. Blocks only for its own
    // bus calls, each answered or given up within 5 s; a second call only answers the first
    // result.
    bool Open();
    // One line for the trace log: what the source is doing or why it is silent.
    const std::string& Status() const { return m_Status; }
    // Descriptors to watch for readability. They may change in Dispatch (the bus lost), so read
    // them again after each call.
    std::vector<int> Fds() const;
    // Never blocks: handles whatever the bus and the signal watch have, and calls the handler
    // once per event. The handler may destroy this object; Dispatch then returns at once. After
    // Resume and ShutdownCancelled the inhibitor is asked for again; it is held from the
    // Dispatch that reads logind's answer.
    void Dispatch();
    bool InhibitorHeld() const { return m_InhibitFd >= 0; }

private:
    struct Callbacks; // the bus's callbacks, in PowerEvents.cpp
    struct InhibitReply {
        int fd = -1; // ours to close
        std::string error;
    };

    bool OpenBus();
    bool Silent(const std::string& why);
    std::string SilentTail() const;
    int Subscribe();
    void CloseBus();
    void ProcessBus();
    void DrainSignals();
    bool FromLogind(sd_bus_message* message);
    void OnPrepare(PowerEvent event, bool starting);
    void OnLogindLeft();
    void OnLogindArrived(const char* owner);
    void TakeInhibitor();
    void AcceptInhibitor(InhibitReply reply);
    void ReleaseInhibitor();
    bool Preparing() const { return m_SleepPreparing || m_ShutdownPreparing; }
    bool Deliver(PowerEvent event);
    void Report(const std::string& line);
    void Log(const std::string& line);

    Handler m_Handler;
    LogHandler m_Log;
    std::string m_Status = "not opened";
    std::string m_LastLogged;
    bool m_Opened = false;
    bool m_OpenResult = false;
    const EndSignals m_EndSignals;
    bool m_WatchingSignals = false;
    sd_bus* m_Bus = nullptr;
    // logind's unique name (":1.3"); empty while logind is not known to be on the bus.
    std::string m_LogindOwner;
    bool m_ForgeryLogged = false;
    std::vector<sd_bus_slot*> m_Matches;
    sd_bus_slot* m_InhibitCall = nullptr; // the Inhibit request waiting for its reply
    int m_InhibitFd = -1;
    bool m_SleepPreparing = false;
    bool m_ShutdownPreparing = false;
    // Bus events read but not yet handed to the handler.
    std::deque<PowerEvent> m_Pending;
    // Expires when the object is destroyed, so Dispatch can tell after each handler call.
    std::shared_ptr<bool> m_Alive = std::make_shared<bool>(true);
};

} // namespace platform
