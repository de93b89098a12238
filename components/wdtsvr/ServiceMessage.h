#pragma once

#include "platform/WindowMessages.h"
#include "watchdog/CWatchDogControl.h"

#include <cstdint>
#include <string>

// What the watchdog service does with a message posted to its window, and around sleep and
// shutdown. Message 2054 carries the restart countdown in wParam and the reload period in lParam:
// times that keep the gap arm the watchdog with them (SetTime, then Start), 0 and 0 switch it off
// (Close), any other pair is refused with the reason and leaves the watchdog as it was. Other
// messages are ignored.
namespace wdtsvr {

inline constexpr const char* kWindowClass = "TMainForm";
inline constexpr const char* kWindowCaption = "WdtSVR";
inline constexpr std::uint32_t kServiceMessage = 2054;

// The times the service arms, in seconds. A reload period close to the countdown lets the
// countdown run out between two kicks whenever the kick comes a little late; one not shorter
// than it restarts a healthy machine.
inline constexpr std::int32_t kShortestRestart = 10;
inline constexpr std::int32_t kLongestRestart = 255;
inline constexpr std::int32_t kShortestReload = 5;
inline constexpr std::int32_t kReloadGap = 5; // the reload period at least this much shorter

struct ServiceCommand {
    enum class Kind { Arm, Close, Refuse, Ignore };
    Kind kind = Kind::Ignore;
    std::int32_t restart = 0;
    std::int32_t reload = 0;
    std::string refusal; // for Refuse: why, in words
};

ServiceCommand InterpretMessage(const platform::WindowMessage& message);

// What the service remembers between messages and power events.
struct ServiceState {
    // Whether this service has armed the watchdog since it started or last closed it. Until it
    // has, a countdown may still run that an earlier service armed before it was killed; the
    // backend of this process knows nothing of it, so a Close writes 0 to the firmware itself.
    bool armed = false;
    // Closed by this service for sleep or shutdown while armed: armed again with the same times
    // on wake or when the shutdown is called off, unless a message said otherwise meanwhile.
    bool paused = false;
    // The times of the last Arm, while armed or paused.
    std::int32_t restart = 0;
    std::int32_t reload = 0;
};

// Carries out command on control; answers the line to log.
std::string Apply(CWatchDogControl& control, const ServiceCommand& command,
                  const platform::WindowMessage& message, ServiceState& state);

// Before sleep or shutdown (what names it for the log): closes the watchdog when this service
// armed it. Answers the line to log.
std::string PauseForPowerDown(CWatchDogControl& control, ServiceState& state,
                              const std::string& what);
// After wake or a called-off shutdown: arms the watchdog again with the times it had, when the
// pause closed it. Answers the line to log.
std::string ResumeAfterPowerDown(CWatchDogControl& control, ServiceState& state,
                                 const std::string& what);

} // namespace wdtsvr
