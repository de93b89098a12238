#include "ServiceMessage.h"

#include "tolv/BiosInterface.h"

namespace wdtsvr {
namespace {

std::string Describe(const platform::WindowMessage& message)
{
    return "message " + std::to_string(message.message) + " (" + std::to_string(message.wParam) +
           ", " + std::to_string(message.lParam) + ")";
}

} // namespace

ServiceCommand InterpretMessage(const platform::WindowMessage& message)
{
    ServiceCommand command;
    if (message.message != kServiceMessage)
        return command;
    if (message.wParam == 0 && message.lParam == 0) {
        command.kind = ServiceCommand::Kind::Close;
    } else if (message.wParam > 0 && message.lParam > 0) {
        command.kind = ServiceCommand::Kind::Arm;
        command.restart = message.wParam;
        command.reload = message.lParam;
    }
    // A single zero or a negative time has no meaning: the watchdog is left as it is.
    return command;
}

std::string Apply(CWatchDogControl& control, const ServiceCommand& command,
                  const platform::WindowMessage& message, ServiceState& state)
{
    const std::string received = Describe(message);
    switch (command.kind) {
    case ServiceCommand::Kind::Close: {
        control.Close();
        const bool leftover = !state.armed;
        state.armed = false;
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
    case ServiceCommand::Kind::Arm: {
        (void)control.SetTime(command.restart, command.reload); // its result means nothing
        control.Start();
        state.armed = true;
        std::string line = received + ": SetTime(" + std::to_string(command.restart) + ", " +
                           std::to_string(command.reload) + "), Start";
        if (command.reload >= command.restart)
            line += " (warning: the reload period is not shorter than the restart countdown)";
        return line;
    }
    case ServiceCommand::Kind::Ignore:
        break;
    }
    return received + ": ignored";
}

} // namespace wdtsvr
