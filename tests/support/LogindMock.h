#pragma once

#include "ChildProgram.h"

#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

struct sd_bus;
struct sd_bus_message;

// A stand-in for systemd-logind: python-dbusmock's logind template, run as a child process on
// the system bus that DBUS_SYSTEM_BUS_ADDRESS names (a PrivateBus of kind System). The test
// talks to it through the mock's control interface on a connection of its own.
namespace testsupport {

class LogindMock {
public:
    // Starts the mock and waits until it owns org.freedesktop.login1.
    LogindMock();
    // Stops the mock when it still runs.
    ~LogindMock();
    LogindMock(const LogindMock&) = delete;
    LogindMock& operator=(const LogindMock&) = delete;

    // False when the mock did not come up; Error() says why (with the mock's own output).
    bool Ready() const { return m_Ready; }
    const std::string& Error() const { return m_Error; }

    // Ends the mock with SIGTERM by its process id and waits for it; logind leaves the bus.
    void Stop();
    // Freezes the mock (SIGSTOP) and lets it go on (SIGCONT): calls made meanwhile are answered
    // only after Continue, after everything it sent before.
    bool Pause() const;
    bool Continue() const;

    // Has logind send PrepareForSleep or PrepareForShutdown; false when the mock did not take it.
    bool EmitPrepareForSleep(bool starting) const;
    bool EmitPrepareForShutdown(bool starting) const;
    // Makes every later Inhibit call fail with org.freedesktop.DBus.Error.AccessDenied, as a
    // polkit refusal does.
    bool RefuseInhibit(const std::string& message) const;

    // The arguments of every Inhibit call so far, in order.
    std::vector<std::vector<std::string>> InhibitCalls() const;
    // The inhibitors logind counts as held: those whose descriptor is open somewhere. -1 when
    // the mock did not answer.
    int HeldInhibitors() const;
    // The mock's unique name on the bus (":1.3"); empty when it has none.
    std::string UniqueName() const;

private:
    bool Emit(const char* member, bool starting) const;

    std::unique_ptr<ChildProgram> m_Process;
    sd_bus* m_Bus = nullptr; // the test's own connection to the system bus
    bool m_Ready = false;
    std::string m_Error;
};

// Another client of the same system bus that sends what only logind or the bus itself may send:
// logind's signals under its own name, and NameOwnerChanged for logind's name, addressed to every
// other connection on the bus in turn (a broadcast would be stopped by the receivers' match
// rules). Each send returns once the bus has passed the message on, so whatever anyone sends
// afterwards reaches a receiver after it.
class BusForger {
public:
    BusForger();
    ~BusForger();
    BusForger(const BusForger&) = delete;
    BusForger& operator=(const BusForger&) = delete;

    bool Ready() const { return m_Bus != nullptr; }
    const std::string& UniqueName() const { return m_UniqueName; }

    // PrepareForSleep or PrepareForShutdown on logind's object and interface.
    bool SendPrepare(const char* member, bool starting) const;
    // NameOwnerChanged(name, oldOwner, newOwner) on the bus's object and interface.
    bool SendOwnerChanged(const std::string& name, const std::string& oldOwner,
                          const std::string& newOwner) const;

private:
    bool Send(const char* path, const char* interface, const char* member,
              const std::function<int(sd_bus_message*)>& append) const;
    std::vector<std::string> OtherConnections() const;

    sd_bus* m_Bus = nullptr;
    std::string m_UniqueName;
};

} // namespace testsupport
