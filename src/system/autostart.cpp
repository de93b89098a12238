#include "system/autostart.h"

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "system/common.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <csignal>
#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

const char16_t* const kAutostartTaskName = u"TOLV WatchDog Timer";

namespace {

constexpr const char* kProbeLibrary = "libTaskProbe.so";
constexpr const char* kProbeExport = "CheckScheduleTaskExist";
constexpr const char* kEnrollTool = "TaskEnroll";

using CheckScheduleTaskExistFn = std::int32_t (*)(const char16_t*);

// The probe is loaded for one query at a time; only the user-interface thread asks.
void* g_ProbeModule = nullptr;
CheckScheduleTaskExistFn g_CheckScheduleTaskExist = nullptr;

std::filesystem::path g_HelperFolderForTesting;
std::filesystem::path g_ProgramForTesting;

std::filesystem::path HelperFolder()
{
    return g_HelperFolderForTesting.empty() ? platform::ProgramFolder()
                                            : g_HelperFolderForTesting;
}

// Appends an argument in double quotes, as the task's switches carry their values.
void AppendQuotedSwitch(std::string& line, const char* name, std::string_view value)
{
    line += ' ';
    line += name;
    line += QuoteCommandLineArgument(value);
}

std::string Utf16TaskName()
{
    std::string name;
    for (const char16_t* c = kAutostartTaskName; *c; ++c)
        name += static_cast<char>(*c); // the task name is plain ASCII
    return name;
}

bool RunEnrollTool(const std::string& arguments)
{
    int status = -1;
    const std::filesystem::path tool = HelperFolder() / kEnrollTool;
    return RunProgram(tool, arguments, true, false, &status) == 0 && status == 0;
}

} // namespace

bool LoadTaskProbe()
{
    if (g_ProbeModule)
        return true;
    const std::filesystem::path path = HelperFolder() / kProbeLibrary;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return false;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return false;
    g_ProbeModule = module;
    g_CheckScheduleTaskExist =
        reinterpret_cast<CheckScheduleTaskExistFn>(dlsym(module, kProbeExport));
    return true;
}

bool UnloadTaskProbe()
{
    if (g_ProbeModule) {
        (void)dlclose(g_ProbeModule); // nothing to do about a failed unload
        g_ProbeModule = nullptr;
        g_CheckScheduleTaskExist = nullptr;
    }
    return true;
}

bool IsAutostartTaskRegistered()
{
    bool registered = false;
    if (LoadTaskProbe() && g_CheckScheduleTaskExist)
        registered = g_CheckScheduleTaskExist(kAutostartTaskName) == 0;
    UnloadTaskProbe();
    return registered;
}

bool RegisterAutostartTask()
{
    const std::filesystem::path program =
        g_ProgramForTesting.empty() ? platform::ProgramFile() : g_ProgramForTesting;
    // The program file may be gone since the start (the package was removed): an entry for it
    // would start nothing at the next log-on.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(program, ec) || access(program.c_str(), X_OK) != 0) {
        TraceLog("Autostart not registered: no program at %s", program.c_str());
        return false;
    }
    std::string arguments = " -R";
    AppendQuotedSwitch(arguments, "-T:", Utf16TaskName());
    AppendQuotedSwitch(arguments, "-P:", program.string());
    AppendQuotedSwitch(arguments, "-A:", " -h ");
    return RunEnrollTool(arguments);
}

bool RemoveAutostartTask()
{
    std::string arguments = " -D";
    AppendQuotedSwitch(arguments, "-T:", Utf16TaskName());
    return RunEnrollTool(arguments);
}

int RunProgram(const std::filesystem::path& exePath, std::string_view arguments, bool wait,
               bool show, int* exitStatus)
{
    (void)show; // a started program decides itself whether it shows a window
    if (exitStatus)
        *exitStatus = -1;

    // Made absolute first: a relative path must still name the same file after the change of
    // directory below.
    std::error_code ec;
    std::filesystem::path program = std::filesystem::absolute(exePath, ec);
    if (ec)
        program = exePath;
    // Callers rely on the current directory being the program's folder afterwards; a folder
    // that cannot be entered shows up as a failed start.
    if (program.has_parent_path() && chdir(program.parent_path().c_str()) != 0) {
    }

    std::vector<std::string> words = SplitCommandLine(arguments);
    std::vector<char*> argv;
    const std::string programText = exePath.string();
    argv.push_back(const_cast<char*>(programText.c_str()));
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // No descriptor of this process leaks into the started one.
    (void)posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    // The started program gets a clean signal state: a signal this process blocks or ignores
    // (the session-end signals are taken through a blocked mask) must not stay blocked or
    // ignored in it, or it could not be stopped.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);

    if (error != 0) {
        TraceLog("Cannot start %s: %s", program.c_str(), std::strerror(error));
        char text[64];
        std::snprintf(text, sizeof text, "CreateProcess failed (%d).\n", error);
        platform::ShowMessageBox(text, "Error", platform::MB_OK);
        return 1;
    }

    if (!wait) {
        // Reaped in the background so that a program left running leaves no zombie behind.
        std::thread([pid] {
            int ignored = 0;
            while (waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
            }
        }).detach();
        return 0;
    }

    int status = 0;
    pid_t done;
    while ((done = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    if (exitStatus && done == pid) {
        if (WIFEXITED(status))
            *exitStatus = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            *exitStatus = 128 + WTERMSIG(status);
    }
    return 0;
}

std::vector<std::string> SplitCommandLine(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\\') {
            std::size_t count = 0;
            while (i < text.size() && text[i] == '\\') {
                ++count;
                ++i;
            }
            inWord = true;
            if (i < text.size() && text[i] == '"') {
                word.append(count / 2, '\\');
                if (count % 2 == 1) {
                    word += '"';
                    ++i;
                }
            } else {
                word.append(count, '\\');
            }
            continue;
        }
        if (c == '"') {
            inWord = true;
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                word += '"';
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            ++i;
            continue;
        }
        word += c;
        inWord = true;
        ++i;
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

std::string QuoteCommandLineArgument(std::string_view argument)
{
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Backslashes before a quote are doubled, and the quote itself escaped.
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // Backslashes before the closing quote are doubled so that it keeps its meaning.
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

void SetTaskHelperFolderForTesting(const std::filesystem::path& folder)
{
    g_HelperFolderForTesting = folder;
}

void SetAutostartProgramForTesting(const std::filesystem::path& program)
{
    g_ProgramForTesting = program;
}
