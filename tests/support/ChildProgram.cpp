#include "ChildProgram.h"

#include "TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <cerrno>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace testsupport {

ChildProgram::ChildProgram(const std::filesystem::path& program,
                           const std::vector<std::string>& arguments, std::filesystem::path log)
    : m_Log(std::move(log))
{
    std::filesystem::create_directories(m_Log.parent_path());
    int out = ::open(m_Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0)
        return;
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    m_Pid = SpawnTiedToParent(words, out, out);
    ::close(out);
}

ChildProgram::~ChildProgram()
{
    if (m_Pid > 0 && !m_Exit) {
        ::kill(m_Pid, SIGKILL);
        ::waitpid(m_Pid, nullptr, 0);
    }
}

bool ChildProgram::Signal(int signal) const
{
    return m_Pid > 0 && !m_Exit && ::kill(m_Pid, signal) == 0;
}

std::optional<ChildExit> ChildProgram::Wait(std::chrono::milliseconds timeout)
{
    if (m_Pid <= 0 || m_Exit)
        return m_Exit;
    WaitUntil(
        [&] {
            int status = 0;
            if (::waitpid(m_Pid, &status, WNOHANG) != m_Pid)
                return false;
            ChildExit result;
            result.exited = WIFEXITED(status);
            result.code = result.exited ? WEXITSTATUS(status) : -1;
            result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            m_Exit = result;
            return true;
        },
        timeout);
    return m_Exit;
}

std::string ChildProgram::Log() const
{
    return ReadFile(m_Log);
}

pid_t SpawnTiedToParent(const std::vector<std::string>& argv, int stdoutFd, int stderrFd)
{
    std::vector<std::string> words = argv;
    std::vector<char*> pointers;
    for (auto& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // The child: only async-signal-safe calls, the parent may have threads.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
        ::_exit(127);
    if (stdoutFd >= 0 && ::dup2(stdoutFd, 1) < 0)
        ::_exit(127);
    if (stderrFd >= 0 && ::dup2(stderrFd, 2) < 0)
        ::_exit(127);
    ::execvpe(pointers[0], pointers.data(), environ);
    ::_exit(127);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace testsupport
