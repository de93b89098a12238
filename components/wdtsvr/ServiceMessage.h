#pragma once

#include "platform/WindowMessages.h"
#include "watchdog/CWatchDogControl.h"

#include <cstdint>
#include <string>

// What the watchdog service does with a message posted to its window. Message 2054 carries the
// restart countdown in wParam and the reload period in lParam: both positive arm the watchdog
// with them (SetTime, then Start), both 0 switch it off (Close). Anything else is ignored.
namespace wdtsvr {

inline constexpr const char* kWindowClass = "TMainForm";
inline constexpr const char* kWindowCaption = "WdtSVR";
inline constexpr std::uint32_t kServiceMessage = 2054;

struct ServiceCommand {
    enum class Kind { Arm, Close, Ignore };
    Kind kind = Kind::Ignore;
    std::int32_t restart = 0;
    std::int32_t reload = 0;
};

ServiceCommand InterpretMessage(const platform::WindowMessage& message);

// What the service remembers between messages.
struct ServiceState {
    // Whether this service has armed the watchdog since it started or last closed it. Until it
    // has, a countdown may still run that an earlier service armed before it was killed; the
    // backend of this process knows nothing of it, so a Close writes 0 to the firmware itself.
    bool armed = false;
};

// Carries out command on control; answers the line to log.
std::string Apply(CWatchDogControl& control, const ServiceCommand& command,
                  const platform::WindowMessage& message, ServiceState& state);

} // namespace wdtsvr
