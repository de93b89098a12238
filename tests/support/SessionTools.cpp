#include "SessionTools.h"

#include "ChildProgram.h"
#include "TestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

int OpenLog(const std::filesystem::path& file)
{
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    return ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

bool ReadOutput(int fd, std::string& out, std::chrono::milliseconds timeout, bool lineOnly)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[65536];
    while (!lineOnly || out.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd item{fd, POLLIN, 0};
        const int ready = ::poll(&item, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        // A line is read byte by byte so nothing after it is taken from the pipe.
        const ssize_t n = ::read(fd, buffer, lineOnly ? 1 : sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return !lineOnly;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<ToolResult> RunTool(const std::vector<std::string>& argv, const std::filesystem::path& log,
                                  std::chrono::milliseconds timeout)
{
    int output[2];
    if (::pipe2(output, O_CLOEXEC) < 0)
        return std::nullopt;
    const int logFd = OpenLog(log);
    const pid_t pid = SpawnTiedToParent(argv, output[1], logFd);
    ::close(output[1]);
    if (logFd >= 0)
        ::close(logFd);
    if (pid < 0) {
        ::close(output[0]);
        return std::nullopt;
    }
    ToolResult result;
    const bool ended = ReadOutput(output[0], result.output, timeout, false);
    ::close(output[0]);
    if (!ended)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended)
        return std::nullopt;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void EndHelper(pid_t pid, std::chrono::milliseconds grace)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    if (!WaitUntil([pid] { return ::waitpid(pid, nullptr, WNOHANG) == pid; }, grace)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

std::string StartSessionHelper(std::vector<SessionHelper>& helpers, const std::string& name,
                               const std::vector<std::string>& argv,
                               const std::filesystem::path& log,
                               const std::function<bool(pid_t)>& ready,
                               std::chrono::milliseconds timeout)
{
    const int fd = OpenLog(log);
    const pid_t pid = SpawnTiedToParent(argv, fd, fd);
    if (fd >= 0)
        ::close(fd);
    if (pid < 0)
        return "cannot start " + name + ": " + std::strerror(errno);
    helpers.push_back({name, pid});
    const bool up = WaitUntil(
        [&] {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                helpers.back().pid = -1;
                return true;
            }
            return ready(pid);
        },
        timeout);
    if (up && helpers.back().pid > 0)
        return {};
    return name + (up ? " ended" : " did not come up") + "; its log:\n" + ReadFile(log);
}

} // namespace testsupport
