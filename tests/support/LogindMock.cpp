#include "LogindMock.h"

#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <systemd/sd-bus.h>

namespace testsupport {
namespace {

constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";
constexpr std::uint64_t kCallTimeoutUsec = 5'000'000;

struct MessageDeleter {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageDeleter>;

bool NameHasOwner(sd_bus* bus, const char* name)
{
    sd_bus_message* raw = nullptr;
    if (sd_bus_call_method(bus, kBusName, kBusPath, kBusName, "NameHasOwner", nullptr, &raw, "s",
                           name) < 0)
        return false;
    MessagePtr reply(raw);
    int owned = 0;
    return sd_bus_message_read(reply.get(), "b", &owned) >= 0 && owned;
}

// Calls a method with no argument or one string on the mock's logind object; null on failure.
MessagePtr CallMock(sd_bus* bus, const char* interface, const char* member, const char* argument)
{
    sd_bus_message* raw = nullptr;
    const int rc = argument ? sd_bus_call_method(bus, kLogind, kLogindPath, interface, member,
                                                 nullptr, &raw, "s", argument)
                            : sd_bus_call_method(bus, kLogind, kLogindPath, interface, member,
                                                 nullptr, &raw, "");
    return MessagePtr(rc >= 0 ? raw : nullptr);
}

} // namespace

LogindMock::LogindMock()
{
    if (sd_bus_open_system(&m_Bus) < 0) {
        m_Bus = nullptr;
        m_Error = "the logind mock has no system bus to run on";
        return;
    }
    (void)sd_bus_set_method_call_timeout(m_Bus, kCallTimeoutUsec); // else the 25 s default
    // Numbered, so that a test can start a second mock after stopping the first.
    static std::atomic<int> started{0};
    const auto log = Root() / ("logind-mock-" + std::to_string(++started) + ".log");
    m_Process = std::make_unique<ChildProgram>(
        "/usr/bin/python3",
        std::vector<std::string>{"-m", "dbusmock", "--system", "--template", "logind"}, log);
    if (!m_Process->Started()) {
        m_Error = "cannot start python3 -m dbusmock";
        return;
    }
    bool ended = false;
    m_Ready = WaitUntil(
        [&] {
            ended = m_Process->Wait(std::chrono::milliseconds(0)).has_value();
            return ended || NameHasOwner(m_Bus, kLogind);
        },
        std::chrono::seconds(20));
    m_Ready = m_Ready && !ended;
    if (!m_Ready)
        m_Error = "the logind mock did not come up: " + m_Process->Log();
}

LogindMock::~LogindMock()
{
    Stop();
    sd_bus_flush_close_unref(m_Bus);
}

void LogindMock::Stop()
{
    if (!m_Process)
        return;
    if (m_Process->Signal(SIGTERM)) {
        (void)Continue(); // a paused mock would keep the SIGTERM pending
        (void)m_Process->Wait(std::chrono::seconds(10)); // if not, the destructor kills it
    }
    m_Process.reset();
}

bool LogindMock::Pause() const
{
    return m_Process && m_Process->Signal(SIGSTOP);
}

bool LogindMock::Continue() const
{
    return m_Process && m_Process->Signal(SIGCONT);
}

bool LogindMock::Emit(const char* member, bool starting) const
{
    sd_bus_message* raw = nullptr;
    if (!m_Bus || sd_bus_message_new_method_call(m_Bus, &raw, kLogind, kLogindPath,
                                                 kMockInterface, "EmitSignal") < 0)
        return false;
    MessagePtr call(raw);
    // EmitSignal(interface, name, signature, arguments as variants)
    if (sd_bus_message_append(call.get(), "sssav", kManager, member, "b", 1, "b",
                              starting ? 1 : 0) < 0)
        return false;
    sd_bus_message* reply = nullptr;
    const int rc = sd_bus_call(m_Bus, call.get(), 0, nullptr, &reply);
    sd_bus_message_unref(reply);
    return rc >= 0;
}

bool LogindMock::EmitPrepareForSleep(bool starting) const
{
    return Emit("PrepareForSleep", starting);
}

bool LogindMock::EmitPrepareForShutdown(bool starting) const
{
    return Emit("PrepareForShutdown", starting);
}

bool LogindMock::RefuseInhibit(const std::string& message) const
{
    const std::string code = "raise dbus.exceptions.DBusException('" + message +
                             "', name='org.freedesktop.DBus.Error.AccessDenied')";
    sd_bus_message* reply = nullptr;
    const int rc = m_Bus ? sd_bus_call_method(m_Bus, kLogind, kLogindPath, kMockInterface,
                                              "AddMethod", nullptr, &reply, "sssss", kManager,
                                              "Inhibit", "ssss", "h", code.c_str())
                         : -1;
    sd_bus_message_unref(reply);
    return rc >= 0;
}

std::vector<std::vector<std::string>> LogindMock::InhibitCalls() const
{
    std::vector<std::vector<std::string>> calls;
    MessagePtr reply = m_Bus ? CallMock(m_Bus, kMockInterface, "GetMethodCalls", "Inhibit")
                             : nullptr;
    // a(tav): a time stamp and the arguments of each call
    if (!reply || sd_bus_message_enter_container(reply.get(), 'a', "(tav)") <= 0)
        return calls;
    while (sd_bus_message_enter_container(reply.get(), 'r', "tav") > 0) {
        std::uint64_t stamp = 0;
        std::vector<std::string> arguments;
        if (sd_bus_message_read(reply.get(), "t", &stamp) < 0 ||
            sd_bus_message_enter_container(reply.get(), 'a', "v") < 0)
            break;
        while (sd_bus_message_enter_container(reply.get(), 'v', "s") > 0) {
            const char* text = nullptr;
            if (sd_bus_message_read(reply.get(), "s", &text) < 0)
                return calls;
            arguments.emplace_back(text);
            (void)sd_bus_message_exit_container(reply.get()); // the variant just read
        }
        (void)sd_bus_message_exit_container(reply.get()); // the arguments
        (void)sd_bus_message_exit_container(reply.get()); // the call
        calls.push_back(std::move(arguments));
    }
    return calls;
}

int LogindMock::HeldInhibitors() const
{
    MessagePtr reply = m_Bus ? CallMock(m_Bus, kManager, "ListInhibitors", nullptr) : nullptr;
    if (!reply || sd_bus_message_enter_container(reply.get(), 'a', "(ssssuu)") < 0)
        return -1;
    int held = 0;
    while (sd_bus_message_skip(reply.get(), "(ssssuu)") > 0)
        ++held;
    return held;
}

std::string LogindMock::UniqueName() const
{
    sd_bus_message* raw = nullptr;
    if (!m_Bus || sd_bus_call_method(m_Bus, kBusName, kBusPath, kBusName, "GetNameOwner", nullptr,
                                     &raw, "s", kLogind) < 0)
        return {};
    MessagePtr reply(raw);
    const char* owner = nullptr;
    return sd_bus_message_read(reply.get(), "s", &owner) >= 0 && owner ? owner : "";
}

BusForger::BusForger()
{
    const char* name = nullptr;
    if (sd_bus_open_system(&m_Bus) < 0 || sd_bus_get_unique_name(m_Bus, &name) < 0 || !name) {
        m_Bus = sd_bus_flush_close_unref(m_Bus);
        return;
    }
    (void)sd_bus_set_method_call_timeout(m_Bus, kCallTimeoutUsec);
    m_UniqueName = name;
}

BusForger::~BusForger()
{
    sd_bus_flush_close_unref(m_Bus);
}

bool BusForger::SendPrepare(const char* member, bool starting) const
{
    return Send(kLogindPath, kManager, member, [&](sd_bus_message* message) {
        return sd_bus_message_append(message, "b", starting ? 1 : 0);
    });
}

bool BusForger::SendOwnerChanged(const std::string& name, const std::string& oldOwner,
                                 const std::string& newOwner) const
{
    return Send(kBusPath, kBusName, "NameOwnerChanged", [&](sd_bus_message* message) {
        return sd_bus_message_append(message, "sss", name.c_str(), oldOwner.c_str(),
                                     newOwner.c_str());
    });
}

bool BusForger::Send(const char* path, const char* interface, const char* member,
                     const std::function<int(sd_bus_message*)>& append) const
{
    if (!m_Bus)
        return false;
    const std::vector<std::string> destinations = OtherConnections();
    if (destinations.empty())
        return false;
    for (const std::string& destination : destinations) {
        sd_bus_message* raw = nullptr;
        if (sd_bus_message_new_signal(m_Bus, &raw, path, interface, member) < 0)
            return false;
        MessagePtr signal(raw);
        if (sd_bus_message_set_destination(signal.get(), destination.c_str()) < 0 ||
            append(signal.get()) < 0 || sd_bus_send(m_Bus, signal.get(), nullptr) < 0)
            return false;
    }
    // The bus handles one client's messages in order: once it answers this call, it has passed
    // every signal above on.
    sd_bus_message* reply = nullptr;
    const int rc = sd_bus_call_method(m_Bus, kBusName, kBusPath, kBusName, "GetId", nullptr,
                                      &reply, "");
    sd_bus_message_unref(reply);
    return rc >= 0;
}

// Every unique name on the bus but this client's own.
std::vector<std::string> BusForger::OtherConnections() const
{
    std::vector<std::string> names;
    sd_bus_message* raw = nullptr;
    if (sd_bus_call_method(m_Bus, kBusName, kBusPath, kBusName, "ListNames", nullptr, &raw, "") < 0)
        return names;
    MessagePtr reply(raw);
    char** all = nullptr;
    if (sd_bus_message_read_strv(reply.get(), &all) < 0)
        return names;
    for (char** name = all; name && *name; ++name) {
        if (**name == ':' && m_UniqueName != *name)
            names.emplace_back(*name);
        std::free(*name);
    }
    std::free(all);
    return names;
}

} // namespace testsupport
