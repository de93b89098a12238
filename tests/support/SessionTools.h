#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// The pieces the private desktop sessions of whole-program tests (X and Wayland) share: helper
// processes with their output in a log, and tools whose output the test reads.
namespace testsupport {

// Opens (creating its folder) a log file for appending; -1 when that failed.
int OpenLog(const std::filesystem::path& file);

// Reads fd into out until end of file, or with lineOnly until the first newline. False when
// the time ran out first.
bool ReadOutput(int fd, std::string& out, std::chrono::milliseconds timeout, bool lineOnly);

struct ToolResult {
    int status = -1;
    std::string output;
};

// Runs a tool and collects its standard output; its standard error goes to log. No value when
// it could not be started or did not end within timeout (then it is killed).
std::optional<ToolResult> RunTool(const std::vector<std::string>& argv, const std::filesystem::path& log,
                                  std::chrono::milliseconds timeout);

// A helper process of a session (the display server, a window manager, a bar ...).
struct SessionHelper {
    std::string name;
    pid_t pid = -1; // -1 once it has ended
};

// Starts a helper with its output in log, adds it to helpers and waits until ready(pid) says it
// is up. A helper that ends first (not installed, display refused) never will be. Answers empty,
// or why not, with the helper's log.
std::string StartSessionHelper(std::vector<SessionHelper>& helpers, const std::string& name,
                               const std::vector<std::string>& argv,
                               const std::filesystem::path& log,
                               const std::function<bool(pid_t)>& ready,
                               std::chrono::milliseconds timeout);

// Ends a helper by its id: SIGTERM, then SIGKILL when it is still there after grace.
void EndHelper(pid_t pid, std::chrono::milliseconds grace);

} // namespace testsupport
