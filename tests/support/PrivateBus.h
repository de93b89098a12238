#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// A session or system bus of the test's own: a dbus-daemon child listening in the test's
// TOLV_ROOT, with a folder of activatable services. DBUS_SESSION_BUS_ADDRESS (or
// DBUS_SYSTEM_BUS_ADDRESS) points at it while it lives (and is restored afterwards), so
// everything the test starts from then on uses it.
namespace testsupport {

// Sets an environment variable while it lives, then gives back the previous value or none.
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::string& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string m_Name;
    std::optional<std::string> m_Saved;
};

enum class BusKind { Session, System };

// The variable that names the address of that bus.
const char* BusAddressVariable(BusKind kind);

class PrivateBus {
public:
    explicit PrivateBus(BusKind kind = BusKind::Session);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // False when the daemon could not be started; Error() says why.
    bool Started() const { return m_Pid > 0; }
    const std::string& Error() const { return m_Error; }
    const std::string& Address() const { return m_Address; }
    // Where .service files for activation go; the daemon rereads it when it changes.
    const std::filesystem::path& ServiceFolder() const { return m_ServiceFolder; }
    // Writes an activation file for name that runs exec, and has the daemon read it at once.
    void AddActivatableService(const std::string& name, const std::string& exec) const;
    // Copies an activation file into the service folder, and has the daemon read it at once.
    void InstallServiceFile(const std::filesystem::path& file) const;

private:
    void ReloadConfig() const;

    BusKind m_Kind;
    pid_t m_Pid = -1;
    std::string m_Address;
    std::string m_Error;
    std::optional<ScopedVariable> m_AddressVariable;
    std::filesystem::path m_ServiceFolder;
};

// One method call as a fake service received it.
struct ReceivedCall {
    std::string member;
    std::vector<std::uint32_t> arguments;
};

// A service on the session bus run by a thread of the test: owns name, serves object path with
// interface, answers methods with no arguments and the method "SetTime" with two u arguments,
// and records every call. Methods outside `methods` do not exist; methods in `failing` answer
// with an error reply; `silent` methods never answer.
class FakeBusService {
public:
    struct Options {
        std::string name;
        std::string path;
        std::string interface;
        std::set<std::string> methods{"Start", "Stop", "Close", "SetTime"};
        std::set<std::string> failing;
        std::set<std::string> silent;
    };

    explicit FakeBusService(Options options);
    ~FakeBusService();
    FakeBusService(const FakeBusService&) = delete;
    FakeBusService& operator=(const FakeBusService&) = delete;

    // True once the name is owned; false when that failed (Error() says why).
    bool Ready() const { return m_Ready; }
    const std::string& Error() const { return m_Error; }
    std::vector<ReceivedCall> Calls() const;

    // Exposed for the service's callbacks.
    void Record(ReceivedCall call);
    const Options& GetOptions() const { return m_Options; }

private:
    void Run(std::atomic<int>& state);

    Options m_Options;
    bool m_Ready = false;
    std::string m_Error;
    mutable std::mutex m_Mutex;
    std::vector<ReceivedCall> m_Calls;
    std::atomic<bool> m_Stop{false};
    std::thread m_Thread;
};

} // namespace testsupport
