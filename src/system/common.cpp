#include "system/common.h"

#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "platform/SharedFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr const char* kLogName = "trace.log";

// Filled by the first call and kept for the rest of the run: the machine root then and the log
// folder below it. Only the user-interface thread writes the log, so no lock guards them.
std::filesystem::path g_LogRoot;
std::string g_LogFolder;

std::timespec WallClock()
{
    std::timespec now{};
    (void)clock_gettime(CLOCK_REALTIME, &now); // cannot fail for CLOCK_REALTIME
    return now;
}

TraceLogClock g_Clock = &WallClock;

std::string LogFolderPath()
{
    std::string folder = platform::CommonAppDataFolder().string();
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + "TOLV/TolvWatchDogTimer/";
}

// The log file opened for appending, or nothing when it cannot be or is no regular file. The
// log folder is shared by the group: a link anywhere below the machine root is not followed
// (lines would land in another file, or the log in another member's folder), and a FIFO is
// opened without blocking so that it cannot hold up the user-interface thread.
platform::UniqueFd OpenLogFile()
{
    const platform::FdResult folder = platform::OpenFolders(g_LogFolder, true, g_LogRoot);
    if (!folder.fd.IsValid())
        return {};
    const int appending = O_WRONLY | O_APPEND | O_NOCTTY | O_NONBLOCK;
    platform::UniqueFd fd(platform::OpenOrCreateAt(folder.fd.Get(), kLogName, appending, platform::kPlainFileMode));
    struct stat info {};
    if (!fd.IsValid() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return {};
    return fd;
}

} // namespace

std::string GetLogFolder()
{
    std::string folder = LogFolderPath();
    // A failure shows up as a failed open of the log file, which TraceLog tolerates.
    (void)platform::OpenFolders(folder, true);
    return folder;
}

void TraceLog(const char* format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    // vsnprintf never writes past the buffer; a longer message is cut and stays terminated.
    const int length = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (length < 0)
        message[0] = '\0';

    if (g_LogFolder.empty()) {
        g_LogRoot = platform::MachineRoot();
        g_LogFolder = LogFolderPath();
    }

    const platform::UniqueFd fd = OpenLogFile();
    if (!fd.IsValid())
        return;

    const std::timespec now = g_Clock();
    tzset(); // a time zone changed since the last line shows in the stamps
    std::tm local{};
    if (!localtime_r(&now.tv_sec, &local))
        local = std::tm{};
    const long nanoseconds = now.tv_nsec < 0 || now.tv_nsec > 999999999 ? 0 : now.tv_nsec;
    char line[sizeof message + 32];
    const int size = std::snprintf(line, sizeof line, "%02d:%02d:%02d.%03d %s\n", local.tm_hour, local.tm_min,
                                   local.tm_sec, static_cast<int>(nanoseconds / 1000000), message);
    // One write per line: lines of two programs appending at once never interleave.
    if (size > 0) {
        const std::size_t length = std::min(static_cast<std::size_t>(size), sizeof line - 1);
        ssize_t wrote;
        do
            wrote = ::write(fd.Get(), line, length);
        while (wrote < 0 && errno == EINTR);
    }
    // Closed on the way out; nothing to do about a line that did not reach the log.
}

void ResetTraceLogPathForTesting()
{
    g_LogRoot.clear();
    g_LogFolder.clear();
}

void SetTraceLogClockForTesting(TraceLogClock clock)
{
    g_Clock = clock ? clock : &WallClock;
}
