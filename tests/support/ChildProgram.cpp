#include "ChildProgram.h"

#include "TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
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
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, out, 2);
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0)
        m_Pid = pid;
    posix_spawn_file_actions_destroy(&actions);
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
