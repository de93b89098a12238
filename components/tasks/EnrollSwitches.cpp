#include "EnrollSwitches.h"

#include "TaskEntry.h"
#include "system/autostart.h"

#include <cctype>
#include <system_error>

namespace tasks {

namespace {

struct ValueSwitch {
    char letter;
    std::string* value;
    const char* what;
    bool seen = false;
};

// A value switch written without its colon ("-T x", "-TTask"): say how it is written.
std::string MissingColon(const std::string& arg, const ValueSwitch& value)
{
    const std::string hint = std::string("-") + value.letter + " takes its value after a colon, "
        + "as in -" + value.letter + ":\"<" + value.what + ">\"";
    return arg.size() == 2 ? hint : "unknown switch \"" + arg + "\"; " + hint;
}

} // namespace

bool ParseEnrollSwitches(const std::vector<std::string>& args, EnrollSwitches& switches,
                         std::string& error)
{
    switches = EnrollSwitches{};
    std::string argumentText;
    ValueSwitch values[] = {
        {'T', &switches.taskName, "task name"},
        {'P', &switches.program, "program path"},
        {'A', &argumentText, "arguments"},
    };

    for (const std::string& arg : args) {
        if (arg.size() < 2 || arg[0] != '-') {
            error = "unexpected argument \"" + arg + "\"";
            return false;
        }
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(arg[1])));
        if ((letter == 'R' || letter == 'D') && arg.size() == 2) {
            const EnrollAction action = letter == 'R' ? EnrollAction::Register : EnrollAction::Delete;
            if (switches.action != EnrollAction::None && switches.action != action) {
                error = "-R and -D exclude each other";
                return false;
            }
            switches.action = action;
            continue;
        }
        ValueSwitch* match = nullptr;
        for (ValueSwitch& candidate : values)
            if (candidate.letter == letter)
                match = &candidate;
        if (!match) {
            error = "unknown switch \"" + arg + "\"";
            return false;
        }
        if (arg.size() < 3 || arg[2] != ':') {
            error = MissingColon(arg, *match);
            return false;
        }
        if (match->seen) {
            error = std::string("-") + letter + ": given twice";
            return false;
        }
        match->seen = true;
        *match->value = arg.substr(3);
    }

    if (switches.action == EnrollAction::None) {
        error = "missing -R or -D";
        return false;
    }
    if (!values[0].seen || switches.taskName.empty()) {
        error = "missing task name (-T:<name>)";
        return false;
    }
    if (!TaskFileName(switches.taskName)) {
        error = "task name \"" + switches.taskName + "\" cannot name an autostart entry";
        return false;
    }
    if (switches.action == EnrollAction::Register) {
        if (!values[1].seen || switches.program.empty()) {
            error = "-R needs the program (-P:<path>)";
            return false;
        }
    } else if (values[1].seen || values[2].seen) {
        error = "-P and -A belong to -R only";
        return false;
    }
    switches.arguments = SplitCommandLine(argumentText);
    return true;
}

bool RunEnroll(const EnrollSwitches& switches, std::string& error)
{
    const auto path = TaskEntryPath(switches.taskName);
    if (!path) {
        error = "task name \"" + switches.taskName + "\" cannot name an autostart entry";
        return false;
    }
    if (switches.action == EnrollAction::Register) {
        const std::string entry =
            BuildDesktopEntry(switches.taskName, switches.program, switches.arguments);
        return WriteFileAtomically(*path, entry, error);
    }
    std::error_code ec;
    std::filesystem::remove(*path, ec);
    if (ec) {
        error = "cannot delete " + path->string() + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace tasks
