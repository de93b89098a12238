#include "platform/BusClient.h"

#include <cstring>
#include <memory>
#include <systemd/sd-bus.h>

namespace platform {
namespace {

constexpr const char* kBusService = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kBusInterface = "org.freedesktop.DBus";

struct BusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageDeleter {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using BusPtr = std::unique_ptr<sd_bus, BusDeleter>;
using MessagePtr = std::unique_ptr<sd_bus_message, MessageDeleter>;

class ScopedError {
public:
    ScopedError() = default;
    ~ScopedError() { sd_bus_error_free(&m_Error); }
    ScopedError(const ScopedError&) = delete;
    ScopedError& operator=(const ScopedError&) = delete;
    sd_bus_error* Get() { return &m_Error; }
    std::string Name() const { return m_Error.name ? m_Error.name : ""; }
    std::string Message() const { return m_Error.message ? m_Error.message : ""; }

private:
    sd_bus_error m_Error = SD_BUS_ERROR_NULL;
};

std::string ErrnoText(int negativeErrno)
{
    return std::strerror(-negativeErrno);
}

BusPtr OpenSessionBus()
{
    sd_bus* bus = nullptr;
    int rc = sd_bus_open_user(&bus);
    if (rc < 0)
        throw BusCallError("cannot connect to the session bus: " + ErrnoText(rc), "");
    return BusPtr(bus);
}

} // namespace

bool BusCallError::IsServiceMissing() const
{
    return m_ErrorName == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           m_ErrorName == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
           m_ErrorName.starts_with("org.freedesktop.DBus.Error.Spawn.");
}

void CallSessionBusMethod(const BusMethod& method, std::span<const std::uint32_t> arguments,
                          std::chrono::milliseconds timeout)
{
    BusPtr bus = OpenSessionBus();
    const std::string target = method.destination + " " + method.path + " " + method.interface +
                               "." + method.member;
    sd_bus_message* raw = nullptr;
    int rc = sd_bus_message_new_method_call(bus.get(), &raw, method.destination.c_str(),
                                            method.path.c_str(), method.interface.c_str(),
                                            method.member.c_str());
    if (rc < 0)
        throw BusCallError("cannot call " + target + ": " + ErrnoText(rc), "");
    MessagePtr call(raw);
    for (std::uint32_t argument : arguments) {
        rc = sd_bus_message_append_basic(call.get(), 'u', &argument);
        if (rc < 0)
            throw BusCallError("cannot call " + target + ": " + ErrnoText(rc), "");
    }

    ScopedError error;
    sd_bus_message* reply = nullptr;
    const auto usec = static_cast<std::uint64_t>(timeout.count()) * 1000u;
    rc = sd_bus_call(bus.get(), call.get(), usec, error.Get(), &reply);
    MessagePtr replyHolder(reply);
    if (rc >= 0)
        return;

    std::string text = error.Message();
    if (text.empty())
        text = ErrnoText(rc);
    BusCallError failure(text, error.Name());
    if (failure.IsServiceMissing())
        throw BusCallError("\"" + method.destination + "\" is not available: " + text,
                           error.Name());
    throw failure;
}

bool IsSessionBusNameAvailable(const std::string& name) noexcept
{
    try {
        BusPtr bus = OpenSessionBus();
        const auto usec = static_cast<std::uint64_t>(kBusCallTimeout.count()) * 1000u;
        (void)sd_bus_set_method_call_timeout(bus.get(), usec); // the library default is 25 s

        ScopedError error;
        sd_bus_message* raw = nullptr;
        if (sd_bus_call_method(bus.get(), kBusService, kBusPath, kBusInterface, "NameHasOwner",
                               error.Get(), &raw, "s", name.c_str()) >= 0) {
            MessagePtr reply(raw);
            int owned = 0;
            if (sd_bus_message_read(reply.get(), "b", &owned) >= 0 && owned)
                return true;
        }

        ScopedError listError;
        raw = nullptr;
        if (sd_bus_call_method(bus.get(), kBusService, kBusPath, kBusInterface,
                               "ListActivatableNames", listError.Get(), &raw, "") < 0)
            return false;
        MessagePtr reply(raw);
        if (sd_bus_message_enter_container(reply.get(), 'a', "s") < 0)
            return false;
        const char* entry = nullptr;
        while (sd_bus_message_read_basic(reply.get(), 's', &entry) > 0) {
            if (entry && name == entry)
                return true;
        }
        return false;
    } catch (...) {
        // No session bus, or no memory: the name is not reachable from here.
        return false;
    }
}

} // namespace platform
