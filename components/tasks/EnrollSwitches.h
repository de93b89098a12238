#pragma once

#include <string>
#include <vector>

// The command line of TaskEnroll:
//   -R -T:<task name> -P:<program path> [-A:<argument text>]   create or replace the task
//   -D -T:<task name>                                          delete the task
// Switch letters are matched without regard to case. The argument text of -A follows the
// Windows command-line conventions and is split into the program's arguments.
namespace tasks {

enum class EnrollAction { None, Register, Delete };

struct EnrollSwitches {
    EnrollAction action = EnrollAction::None;
    std::string taskName;
    std::string program;
    std::vector<std::string> arguments;
};

// Parses argv[1..]; on a bad command line answers false with the reason in `error`.
bool ParseEnrollSwitches(const std::vector<std::string>& args, EnrollSwitches& switches,
                         std::string& error);

// Carries out the parsed command; false with the reason in `error` when it failed.
// Registering writes the system-wide entry when this user may, else the person's own
// (AutostartFolders.h). Deleting removes the entries this user may remove; a task that does not
// exist is no failure, so the tool can be run again after an interruption. A system-wide entry
// that stays in force for this user is told in `notice`.
bool RunEnroll(const EnrollSwitches& switches, std::string& error, std::string* notice = nullptr);

} // namespace tasks
