#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// A program of the build started by a test, with stdout and stderr going to a log file. The
// child inherits the test's environment as it is when started (TOLV_ROOT, the session bus,
// TLACPI_FIRMWARE). A child still running at destruction is killed.
namespace testsupport {

struct ChildExit {
    bool exited = false; // ended by exit (then code) or by a signal (then signal)
    int code = -1;
    int signal = 0;
};

class ChildProgram {
public:
    ChildProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                 std::filesystem::path log);
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    bool Started() const { return m_Pid > 0; }
    pid_t Pid() const { return m_Pid; }
    bool Signal(int signal) const;
    // Waits for the end; no value when the child is still running after timeout.
    std::optional<ChildExit> Wait(std::chrono::milliseconds timeout);
    // What the child wrote so far.
    std::string Log() const;

private:
    pid_t m_Pid = -1;
    std::optional<ChildExit> m_Exit;
    std::filesystem::path m_Log;
};

// Starts the program found on PATH (or at a path) with the test's environment, stdout to
// stdoutFd and stderr to stderrFd (-1: inherited). The child is killed when the test process
// dies, so a crashed test never leaves a daemon behind holding its output open. Answers the
// child's id, or -1 with errno set.
pid_t SpawnTiedToParent(const std::vector<std::string>& argv, int stdoutFd, int stderrFd);

// Polls condition every few milliseconds until it holds or timeout passes; answers the last
// result. For waiting on other processes, where no fake clock can help.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

} // namespace testsupport
