#include "system/common.h"

#include "platform/Paths.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

// Filled by the first call and kept for the rest of the run. Only the user-interface thread
// writes the log, so no lock guards it.
std::string g_LogFile;

std::timespec WallClock()
{
    std::timespec now{};
    (void)clock_gettime(CLOCK_REALTIME, &now); // cannot fail for CLOCK_REALTIME
    return now;
}

TraceLogClock g_Clock = &WallClock;

} // namespace

std::string GetLogFolder()
{
    std::string folder = platform::CommonAppDataFolder().string();
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    folder += "TOLV/TolvWatchDogTimer/";
    std::error_code ec;
    // A failure shows up as a failed open of the log file, which TraceLog tolerates.
    (void)std::filesystem::create_directories(folder, ec);
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

    if (g_LogFile.empty())
        g_LogFile = GetLogFolder() + "trace.log";

    std::FILE* file = std::fopen(g_LogFile.c_str(), "a");
    if (!file)
        return;

    const std::timespec now = g_Clock();
    std::tm local{};
    if (!localtime_r(&now.tv_sec, &local))
        local = std::tm{};
    const long nanoseconds = now.tv_nsec < 0 || now.tv_nsec > 999999999 ? 0 : now.tv_nsec;
    std::fprintf(file, "%02d:%02d:%02d.%03d %s\n", local.tm_hour, local.tm_min, local.tm_sec,
                 static_cast<int>(nanoseconds / 1000000), message);
    std::fclose(file);
}

void ResetTraceLogPathForTesting()
{
    g_LogFile.clear();
}

void SetTraceLogClockForTesting(TraceLogClock clock)
{
    g_Clock = clock ? clock : &WallClock;
}
