#pragma once

#include "watchdog/CWatchDogControl.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

// What the automation server's methods do with the watchdog backend, and what they answer. The
// server answers more truthfully than the program's own backend would: a Start after a Stop
// kicks again, times that would let the countdown run out on a healthy machine are refused, and
// a firmware that cannot be armed or switched off is an error reply, never a success.
namespace automation {

// An error reply: the D-Bus error name and its message.
struct MethodError {
    const char* name;
    std::string message;
};
// No value: the method succeeded.
using MethodResult = std::optional<MethodError>;

// The times of a SetTime call as the controller takes them; no value when either does not fit
// a signed 32-bit number of seconds.
std::optional<std::pair<std::int32_t, std::int32_t>> ControllerTimes(std::uint32_t restart,
                                                                     std::uint32_t reload);

// Why SetTime(restart, reload) is refused: a time of 0, a reload period not shorter than the
// restart countdown, or a time that does not fit. No value when the times can be used.
std::optional<std::string> RefuseTimes(std::uint32_t restart, std::uint32_t reload);

class WatchDogMethods {
public:
    // restart and reload: the times the backend holds now (what a Start without SetTime arms).
    WatchDogMethods(CWatchDogControl& control, std::int32_t restart, std::int32_t reload);

    // Arms the firmware with the current times and keeps it kicked, also after a Stop.
    MethodResult Start();
    // Switches the watchdog off and holds the kick thread.
    MethodResult Stop();
    // Ends the kick thread and switches the watchdog off; an error when the firmware refuses
    // (the backend then keeps it kicked).
    MethodResult Close();
    // Writes the restart countdown at once and keeps both times for the kicks.
    MethodResult SetTime(std::uint32_t restart, std::uint32_t reload);

private:
    CWatchDogControl& m_Control;
    std::int32_t m_Restart;
    std::int32_t m_Reload;
    bool m_Stopped = false;
};

} // namespace automation
