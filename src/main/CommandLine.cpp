#include "main/CommandLine.h"

bool HasHiddenSwitch(const std::vector<std::string_view>& arguments)
{
    for (std::string_view argument : arguments) {
        if (argument == "-h" || argument == "-H")
            return true;
    }
    return false;
}

CommandLineChoice ParseCommandLine(const std::vector<std::string_view>& arguments)
{
    using Action = CommandLineChoice::Action;
    int status = 0;
    int json = 0;
    int help = 0;
    for (std::string_view argument : arguments) {
        if (argument == "--status")
            ++status;
        else if (argument == "--json")
            ++json;
        else if (argument == "--help")
            ++help;
        else if (argument.starts_with("--"))
            return {Action::UsageError, false, "unknown option " + std::string(argument)};
    }
    const auto count = static_cast<int>(arguments.size());
    if (help)
        return count == 1 ? CommandLineChoice{Action::Help, false, {}} : CommandLineChoice{Action::UsageError, false, "--help stands alone"};
    if (status) {
        if (status == 1 && json <= 1 && count == status + json)
            return {Action::Status, json == 1, {}};
        return {Action::UsageError, false, "--status takes --json once and nothing else"};
    }
    if (json)
        return {Action::UsageError, false, "--json goes with --status"};
    return {Action::Window, false, {}};
}

const char* UsageText()
{
    return "Usage: tolv-watchdog-timer [-h]\n"
           "       tolv-watchdog-timer --status [--json]\n"
           "       tolv-watchdog-timer --help\n"
           "\n"
           "  -h        start hidden in the notification area\n"
           "  --status  tell the watchdog's state, the program's and the stored settings', then end:\n"
           "            exit status 0 when all is as stored, 1 when something is wrong\n"
           "  --json    with --status: tell it as one JSON object\n"
           "  --help    show this text\n"
           "\n"
           "A usage error ends with exit status 2.\n";
}
