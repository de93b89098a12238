#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

// Method calls on the session bus (D-Bus through sd-bus, which needs no event loop or
// application object on the calling thread). Every call opens its own connection and closes it
// again: nothing is kept between calls, and any thread may call.
namespace platform {

// A failed call. what() carries the bus's message; ErrorName() the bus error name
// ("org.freedesktop.DBus.Error.ServiceUnknown", ...), empty when no bus was reached at all.
class BusCallError : public std::runtime_error {
public:
    BusCallError(const std::string& message, std::string errorName)
        : std::runtime_error(message), m_ErrorName(std::move(errorName))
    {
    }
    const std::string& ErrorName() const { return m_ErrorName; }
    // The destination could not be found or started.
    bool IsServiceMissing() const;

private:
    std::string m_ErrorName;
};

struct BusMethod {
    std::string destination; // bus name of the service
    std::string path;        // object path
    std::string interface;
    std::string member;      // method name
};

inline constexpr std::chrono::milliseconds kBusCallTimeout{5000};

// Calls method with the arguments as unsigned 32-bit values (signature "u" per argument) and
// waits for the reply, which is discarded. Throws BusCallError on any failure: no session bus,
// no such service, no such method, an error reply, or no reply within the timeout. A missing
// service is reported with the destination's name in the message. Nothing is retried.
void CallSessionBusMethod(const BusMethod& method, std::span<const std::uint32_t> arguments,
                          std::chrono::milliseconds timeout = kBusCallTimeout);

// True when the name has an owner on the session bus or the bus can start a service for it.
// False on every failure, including no session bus; never throws.
bool IsSessionBusNameAvailable(const std::string& name) noexcept;

} // namespace platform
