#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Autostart at log-on as the task "TOLV WatchDog Timer". The program never touches the task
// store itself: two helpers in its own folder do. "libTaskProbe.so" answers whether the task
// exists; "TaskEnroll" creates or deletes it from its command line.

// The task's name as the helpers know it.
extern const char16_t* const kAutostartTaskName;

// Loads the probe library from the helper folder; true when it is loaded.
bool LoadTaskProbe();
// Frees the probe library if loaded; always true.
bool UnloadTaskProbe();

// True only when the probe loads, exports CheckScheduleTaskExist and that answers 0 for the
// task. The library is loaded for this one query and freed again before the answer. A missing
// or broken probe reads as "not registered" and shows nothing.
bool IsAutostartTaskRegistered();

// Run TaskEnroll (hidden, waiting for it) to create or delete the task. True only when the tool
// started and exited with status 0, so the caller can show what really happened. The task
// starts ProgramFile(); when no executable program is there any more, nothing is registered
// (false, with the reason in the trace log).
bool RegisterAutostartTask();
bool RemoveAutostartTask();

// Starts the executable at exePath with the argument text `arguments` (Windows command-line
// conventions, see SplitCommandLine). The path is used as it is, never split or interpreted,
// and becomes argv[0]. Before the start the current directory of this process is set to the
// executable's folder, and it stays there. With wait, blocks until the process ends.
// Answers 0 when the process was started; 1 when it could not be, after showing
// "CreateProcess failed (<errno>).\n" captioned "Error".
// exitStatus, when given, receives the exit code after a wait (128 + signal number for a process
// killed by a signal), and -1 when the process was not waited for or did not start.
// show is accepted for the callers' sake; a started program decides itself whether to show.
int RunProgram(const std::filesystem::path& exePath, std::string_view arguments, bool wait,
               bool show, int* exitStatus = nullptr);

// Splits an argument text by the Windows rules: spaces and tabs separate arguments outside
// double quotes; a double quote starts or ends a quoted part (which may be empty); 2n
// backslashes before a double quote give n backslashes and the quote keeps its meaning, 2n+1
// give n backslashes and a literal quote; other backslashes are literal; inside quotes, two
// double quotes in a row give one literal quote.
std::vector<std::string> SplitCommandLine(std::string_view text);

// Quotes one argument so that SplitCommandLine gives it back unchanged.
std::string QuoteCommandLineArgument(std::string_view argument);

// For tests only: looks for the probe and the tool in `folder` instead of the program's own
// folder; an empty path restores the program folder.
void SetTaskHelperFolderForTesting(const std::filesystem::path& folder);

// For tests only: registers `program` instead of the running program file; an empty path
// restores the running one.
void SetAutostartProgramForTesting(const std::filesystem::path& program);
