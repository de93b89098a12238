#include "EnrollSwitches.h"

#include "AutostartFolders.h"
#include "TaskEntry.h"
#include "system/autostart.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <unistd.h>

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

bool IsPermissionError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// The person's own folder is touched with the caller's rights only, whatever rights this tool
// was given: the folder is named by the caller's environment.
bool DropToCaller(std::string& error)
{
    const gid_t gid = ::getgid();
    const uid_t uid = ::getuid();
    if ((::getegid() != gid && ::setresgid(gid, gid, gid) != 0)
        || (::geteuid() != uid && ::setresuid(uid, uid, uid) != 0)) {
        error = std::string("cannot give up the rights beyond the caller's: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool WriteUserEntry(const std::string& fileName, const std::string& entry, std::string& error)
{
    if (!DropToCaller(error))
        return false;
    const AutostartFolder folder = OpenUserFolder(true);
    if (folder.error != 0) {
        error = folder.reason;
        return false;
    }
    return WriteEntryAt(folder, fileName, entry, error) == 0;
}

// The system-wide entry when this user may write it, else the person's own.
bool Register(const EnrollSwitches& switches, const std::string& fileName, std::string& error)
{
    const std::string entry = BuildDesktopEntry(switches.taskName, switches.program, switches.arguments);
    std::string systemError;
    const AutostartFolder system = OpenSystemFolder(true);
    int failure = system.error;
    if (failure != 0)
        systemError = system.reason;
    else
        failure = WriteEntryAt(system, fileName, entry, systemError);
    if (failure == 0) {
        // An entry of the person's own that switches the program off would still win.
        const AutostartFolder own = OpenUserFolder(false);
        if (own.error != 0 || ReadEntryState(own.fd.Get(), fileName) != EntryState::Inactive)
            return true;
        return WriteUserEntry(fileName, entry, error);
    }
    if (!IsPermissionError(failure)) {
        error = systemError;
        return false;
    }
    if (WriteUserEntry(fileName, entry, error))
        return true;
    error = systemError + "; " + error;
    return false;
}

// Removes what this user may remove; a system-wide entry that stays is told in notice.
bool Delete(const std::string& fileName, std::string& error, std::string* notice)
{
    bool systemStays = false;
    const AutostartFolder system = OpenSystemFolder(false);
    if (system.error == 0) {
        const int failure = RemoveEntryAt(system, fileName, error);
        if (failure != 0 && !IsPermissionError(failure))
            return false;
        systemStays = failure != 0 && ReadEntryState(system.fd.Get(), fileName) == EntryState::Active;
    } else if (system.error != ENOENT) {
        error = system.reason;
        return false;
    }
    if (!DropToCaller(error))
        return false;
    const AutostartFolder own = OpenUserFolder(false);
    // No folder of the person's own, or one of somebody else (a configuration home of another
    // user), holds no entry of this user's.
    if (own.error != 0 && own.error != ENOENT && own.error != EPERM) {
        error = own.reason;
        return false;
    }
    if (own.error == 0 && RemoveEntryAt(own, fileName, error) != 0)
        return false;
    if (systemStays && notice)
        *notice = "the system-wide entry " + (system.path / fileName).string()
                + " stays and starts the program for every user; only an administrator can remove it";
    return true;
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

bool RunEnroll(const EnrollSwitches& switches, std::string& error, std::string* notice)
{
    const std::optional<std::string> name = TaskFileName(switches.taskName);
    if (!name) {
        error = "task name \"" + switches.taskName + "\" cannot name an autostart entry";
        return false;
    }
    const std::string fileName = *name + ".desktop";
    if (switches.action == EnrollAction::Register)
        return Register(switches, fileName, error);
    return Delete(fileName, error, notice);
}

} // namespace tasks
