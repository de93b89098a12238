#include "watchdog/WatchDogForwarding.h"

#include "platform/BusClient.h"
#include "platform/WindowMessages.h"

#include <array>
#include <stdexcept>
#include <string>

namespace {

constexpr const char* kAutomationObjectPath = "/WatchDogControl";

constexpr const char* kServiceWindowClass = "TMainForm";
constexpr const char* kServiceWindowCaption = "WdtSVR";
constexpr std::uint32_t kServiceMessage = 2054;

platform::BusMethod AutomationMethod(const char* name)
{
    return platform::BusMethod{kAutomationProgId, kAutomationObjectPath, kAutomationProgId, name};
}

// The server takes whole seconds as unsigned 32-bit numbers. A negative time has no meaning
// there (it would arrive as a count of more than 68 years), so it is refused here as a failure
// of the call, before anything is sent.
std::uint32_t ToServerSeconds(std::int32_t seconds, const char* what)
{
    if (seconds < 0)
        throw std::runtime_error(std::string("The ") + what + " of " + std::to_string(seconds) +
                                 " seconds cannot be sent to " + kAutomationProgId);
    return static_cast<std::uint32_t>(seconds);
}

void CallAutomation(const char* name, std::span<const std::uint32_t> arguments = {})
{
    // Each operation is a complete exchange of its own: the server keeps the state.
    platform::CallSessionBusMethod(AutomationMethod(name), arguments);
}

// The window is looked up afresh for every message; a missing window or a failed post is
// not reported (delivery is never confirmed).
void PostToServiceWindow(std::int32_t wParam, std::int32_t lParam)
{
    auto window = platform::FindWindow(kServiceWindowClass, kServiceWindowCaption);
    if (!window)
        return;
    (void)platform::PostMessage(*window, kServiceMessage, wParam, lParam);
}

} // namespace

bool IsDllComAvailable()
{
    return platform::IsSessionBusNameAvailable(kAutomationProgId);
}

void WatchDogDllCom::Start()
{
    CallAutomation("Start");
}

void WatchDogDllCom::Stop()
{
    CallAutomation("Stop");
}

void WatchDogDllCom::Close()
{
    CallAutomation("Close");
}

int WatchDogDllCom::SetTime(std::int32_t restartSeconds, std::int32_t reloadSeconds)
{
    const std::array<std::uint32_t, 2> arguments{
        ToServerSeconds(restartSeconds, "restart time"),
        ToServerSeconds(reloadSeconds, "reload time"),
    };
    CallAutomation("SetTime", arguments);
    return 0;
}

void WatchDogWMI::Start()
{
    PostToServiceWindow(m_RestartTime, m_ReloadTime);
}

void WatchDogWMI::Close()
{
    PostToServiceWindow(0, 0);
}

int WatchDogWMI::SetTime(std::int32_t restartSeconds, std::int32_t reloadSeconds)
{
    m_RestartTime = restartSeconds;
    m_ReloadTime = reloadSeconds;
    return 1;
}
