#include "ServiceMessage.h"

#include "tolv/BiosInterface.h"

namespace wdtsvr {
namespace {

std::string Seconds(std::int32_t seconds)
{
    return std::to_string(seconds) + " s";
}

std::string Describe(const platform::WindowMessage& message)
{
    return "message " + std::to_string(message.message) + " (" + std::to_string(message.wParam) +
           ", " + std::to_string(message.lParam) + ")";
}

// Why the pair cannot be armed, in words; empty when it can.
std::string TimesProblem(std::int32_t restart, std::int32_t reload)
{
    std::string problem;
    if (restart < kShortestRestart || restart > kLongestRestart)
        problem = "the restart countdown (" + Seconds(restart) + ") must be " +
                  std::to_string(kShortestRestart) + " to " + Seconds(kLongestRestart);
    else if (reload < kShortestReload)
        problem = "the reload period (" + Seconds(reload) + ") must be at least " +
                  Seconds(kShortestReload);
    else if (reload > restart - kReloadGap) // restart is in range here: no overflow
        problem = "the reload period (" + Seconds(reload) + ") must be at least " +
                  Seconds(kReloadGap) + " shorter than the restart countdown (" +
                  Seconds(restart) + ")";
    if (!problem.empty() && (restart == 0) != (reload == 0))
        problem += "; 0 and 0 switch the watchdog off";
    return problem;
}

// Hazard: from here the firmware counts down and only the backend's kicks keep the machine up.
std::string Arm(CWatchDogControl& control, ServiceState& state, std::int32_t restart,
                std::int32_t reload)
{
    (void)control.SetTime(restart, reload); // its result means nothing; TimeFailure says more
    control.Start();
    state = ServiceState{.armed = true, .paused = false, .restart = restart, .reload = reload};
    std::string line = "SetTime(" + std::to_string(restart) + ", " + std::to_string(reload) +
                       "), Start";
    if (const std::string failure = control.TimeFailure(); !failure.empty())
        line += " (" + failure + ")";
    return line;
}

} // namespace

ServiceCommand InterpretMessage(const platform::WindowMessage& message)
{
    ServiceCommand command;
    if (message.message != kServiceMessage)
        return command;
    command.restart = message.wParam;
    command.reload = message.lParam;
    if (message.wParam == 0 && message.lParam == 0) {
        command.kind = ServiceCommand::Kind::Close;
    } else if (std::string problem = TimesProblem(message.wParam, message.lParam);
               !problem.empty()) {
        command.kind = ServiceCommand::Kind::Refuse;
        command.refusal = std::move(problem);
    } else {
        command.kind = ServiceCommand::Kind::Arm;
    }
    return command;
}

std::string Apply(CWatchDogControl& control, const ServiceCommand& command,
                  const platform::WindowMessage& message, ServiceState& state)
{
    const std::string received = Describe(message);
    switch (command.kind) {
    case ServiceCommand::Kind::Close: {
        control.Close();
        const bool leftover = !state.armed && !state.paused;
        state = ServiceState{};
        if (const std::string failure = control.CloseFailure(); !failure.empty()) {
            state.armed = true; // still on and kicked by the backend
            return received + ": Close failed: " + failure;
        }
        if (!leftover)
            return received + ": Close";
        // Hazard: a countdown left running by a killed service restarts the machine unless it
        // is switched off here. The firmware library never starts a stopped device to stop it.
        if (!control.WriteTimer(0)) {
            const std::string reason = tolv::LastFirmwareError();
            return received + ": Close; a countdown left running before this service could "
                              "not be switched off"
                + (reason.empty() ? std::string() : ": " + reason);
        }
        return received + ": Close, with 0 written for any countdown an earlier service left";
    }
    case ServiceCommand::Kind::Arm:
        return received + ": " + Arm(control, state, command.restart, command.reload);
    case ServiceCommand::Kind::Refuse:
        return received + ": refused, the watchdog is left as it was: " + command.refusal;
    case ServiceCommand::Kind::Ignore:
        break;
    }
    return received + ": ignored";
}

std::string PauseForPowerDown(CWatchDogControl& control, ServiceState& state,
                              const std::string& what)
{
    if (!state.armed)
        return what + ": nothing armed here";
    // Hazard: a countdown left running while the machine sleeps or goes down restarts it, or
    // runs out the moment it wakes, before anything kicks again.
    control.Close();
    if (const std::string failure = control.CloseFailure(); !failure.empty())
        return what + ": the watchdog could not be closed: " + failure;
    state.armed = false;
    state.paused = true;
    return what + ": Close; armed again afterwards with " + Seconds(state.restart) + " and " +
           Seconds(state.reload);
}

std::string ResumeAfterPowerDown(CWatchDogControl& control, ServiceState& state,
                                 const std::string& what)
{
    if (!state.paused)
        return what + ": nothing to arm again";
    return what + ": " + Arm(control, state, state.restart, state.reload);
}

} // namespace wdtsvr
