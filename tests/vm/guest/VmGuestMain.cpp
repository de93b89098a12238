// tolv-vm-guest: the direct watchdog backend inside a virtual machine, on the kernel's own
// watchdog driver, through the real firmware library in device mode (libtlacpi.so beside it).
//
//   tolv-vm-guest run RESTART RELOAD [OPTIONS]
//       SetTime(RESTART, RELOAD), Start, then the UI thread's loop until SIGTERM (then Close).
//       --second            after arming, a second process of this program opens the device too
//       --retime SECONDS    after arming, SetTime(SECONDS, RELOAD): a countdown to refuse or round
//       --kicks N           after N kicks: the kick figures, then Close; a refused Close goes on
//                           kicking until the process is killed
//       --stop-after N      after N kicks: the kick figures, then SIGSTOP to the whole process
//                           (kick thread included)
//   tolv-vm-guest second RESTART RELOAD
//       SetTime while another process holds the device; prints what the library says.
//   tolv-vm-guest status [--json]
//       The program's status command (what `tolv-watchdog-timer --status` prints), one console
//       line per line of it (the JSON object on one line), then its exit status.
//   tolv-vm-guest notice
//       What the program's start tells after a restart by the watchdog (and records as told).
//
// Every line it prints starts with "tolv-vm: " and is read by the harness on the serial console.

#include "platform/Paths.h"
#include "platform/UiThread.h"
#include "readout/RestartNotice.h"
#include "readout/StatusCommand.h"
#include "tolv/BiosInterface.h"
#include "watchdog/WatchDogControl.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...)
{
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::printf("tolv-vm: %s\n", line);
    std::fflush(stdout);
}

std::int64_t NowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Every write the backend makes through the library, with its time and whether the kick thread
// made it. The real library does the work; this only forwards and takes notes.
struct WriteNote {
    std::int64_t beginNs;
    std::int64_t endNs;
    std::uint32_t value;
    bool kickThread;
};
constexpr std::size_t MaxNotes = 8192;
WriteNote g_Notes[MaxNotes];
std::atomic<std::size_t> g_NoteCount{0};
pid_t g_MainThread = 0;

tolv::AcpiFunctions g_Library{};
tolv::AcpiFunctions g_Forwarding{};
std::int32_t (*g_LastError)(char*, std::uint32_t) = nullptr;
std::int32_t (*g_Status)(std::int32_t*, std::int32_t*) = nullptr;

// The backend reads the library's failure text through the installed table's error slot.
void ForwardLastError()
{
    char text[1024] = "";
    if (g_LastError)
        (void)g_LastError(text, sizeof text);
    tolv::SetLastFirmwareErrorForTesting(text);
}

std::int32_t NotedWrite(std::uint32_t item, std::uint32_t value, std::uint32_t mode)
{
    const std::int64_t begin = NowNs();
    const std::int32_t result = g_Library.Ordinal2(item, value, mode);
    const bool kickThread = pid_t(syscall(SYS_gettid)) != g_MainThread;
    if (result) {
        const std::size_t index = g_NoteCount.load();
        if (index < MaxNotes) {
            g_Notes[index] = {begin, NowNs(), value, kickThread};
            g_NoteCount.store(index + 1);
        }
    }
    ForwardLastError();
    return result;
}

std::int32_t ForwardedList(std::uint32_t group, void* buffer, std::uint32_t* size)
{
    const std::int32_t result = g_Library.Ordinal5(group, buffer, size);
    ForwardLastError();
    return result;
}

bool LoadLibrary()
{
    const std::string path = (platform::ProgramFolder() / "libtlacpi.so").string();
    const tolv::AcpiFunctions* library = tolv::LoadAcpiLibrary(path.c_str());
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!library || !handle) {
        Say("FAIL no firmware library at %s: %s", path.c_str(), tolv::LastFirmwareError().c_str());
        return false;
    }
    g_LastError = reinterpret_cast<decltype(g_LastError)>(dlsym(handle, "TlAcpiLastError"));
    g_Status = reinterpret_cast<decltype(g_Status)>(dlsym(handle, "TlAcpiWatchdogStatus"));
    g_Library = *library;
    g_Forwarding = *library;
    g_Forwarding.Ordinal2 = NotedWrite;
    g_Forwarding.Ordinal5 = ForwardedList;
    tolv::SetAcpiFunctionsForTesting(&g_Forwarding);
    return true;
}

std::string DriverAttribute(const char* name)
{
    std::ifstream file(std::string("/sys/class/watchdog/watchdog0/") + name);
    std::string value;
    std::getline(file, value);
    return file ? value : std::string("?");
}

// The library's view of the device next to the driver's own attributes.
void SayStatus()
{
    std::int32_t timeout = -1;
    std::int32_t bootStatus = -1;
    const bool known = g_Status && g_Status(&timeout, &bootStatus);
    Say("status library-timeout=%d library-bootstatus=%d driver-timeout=%s driver-state=%s "
        "driver-bootstatus=%s",
        known ? timeout : -1, known ? bootStatus : -1, DriverAttribute("timeout").c_str(),
        DriverAttribute("state").c_str(), DriverAttribute("bootstatus").c_str());
}

std::size_t Kicks()
{
    std::size_t kicks = 0;
    bool first = true;  // the kick thread's first write arms; the kicks come after it
    for (std::size_t i = 0, n = g_NoteCount.load(); i < n; ++i)
        if (g_Notes[i].kickThread && g_Notes[i].value > 0)
            kicks += first ? (first = false, 0) : 1;
    return kicks;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::size_t(fraction * double(values.size() - 1) + 0.5)];
}

// Lateness of each kick, as bench_watchdog measures it: when its write began against when it
// was due, the end of the kick thread's previous write plus the reload period (the thread
// samples once a second, so with a reload of 1 s every pass kicks).
void SayKickFigures(std::int32_t reload)
{
    std::vector<double> lateness;
    std::int64_t previous = -1;
    for (std::size_t i = 0, n = g_NoteCount.load(); i < n; ++i) {
        if (!g_Notes[i].kickThread || g_Notes[i].value == 0)
            continue;
        if (previous >= 0)
            lateness.push_back(double(g_Notes[i].beginNs - previous) / 1e3 - reload * 1e6);
        previous = g_Notes[i].endNs;
    }
    Say("lateness kicks=%zu median_us=%.0f p99_us=%.0f max_us=%.0f", lateness.size(),
        Percentile(lateness, 0.5), Percentile(lateness, 0.99), Percentile(lateness, 1.0));
}

struct Options {
    std::string mode;
    std::int32_t restart = 0;
    std::int32_t reload = 0;
    std::int32_t retime = 0;
    std::size_t kicks = 0;
    std::size_t stopAfter = 0;
    bool second = false;
};

bool ParseNumber(const char* text, std::int32_t& number)
{
    const std::string_view view(text);
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), number);
    return ec == std::errc() && end == view.data() + view.size() && number > 0;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    if (argc < 4 || !ParseNumber(argv[2], options.restart) || !ParseNumber(argv[3], options.reload))
        return false;
    options.mode = argv[1];
    for (int i = 4; i < argc; ++i) {
        const std::string_view option = argv[i];
        std::int32_t number = 0;
        if (option == "--second")
            options.second = true;
        else if (i + 1 == argc || !ParseNumber(argv[++i], number))
            return false;
        else if (option == "--retime")
            options.retime = number;
        else if (option == "--kicks")
            options.kicks = std::size_t(number);
        else if (option == "--stop-after")
            options.stopAfter = std::size_t(number);
        else
            return false;
    }
    return options.mode == "run" || options.mode == "second";
}

int g_WakePipe[2] = {-1, -1};

void SpawnSecondOpener(const Options& options)
{
    const std::string restart = std::to_string(options.restart);
    const std::string reload = std::to_string(options.reload);
    char* arguments[] = {const_cast<char*>("/proc/self/exe"), const_cast<char*>("second"),
                         const_cast<char*>(restart.c_str()), const_cast<char*>(reload.c_str()),
                         nullptr};
    pid_t child = 0;
    int status = 0;
    if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, arguments, environ) != 0
        || waitpid(child, &status, 0) != child)
        Say("FAIL the second opener did not run: %s", std::strerror(errno));
}

void Retime(WatchDogControl& control, const Options& options)
{
    control.SetTime(options.retime, options.reload);
    const std::string failure = control.TimeFailure();
    Say("retime %d: %s", int(options.retime), failure.empty() ? "taken" : failure.c_str());
    SayStatus();
}

// What happens once a number of kicks were seen; false when the loop is to end.
bool AfterKicks(WatchDogControl& control, const Options& options, std::size_t kicks,
                bool& closeTried)
{
    if (options.stopAfter && kicks >= options.stopAfter) {
        SayKickFigures(options.reload);
        Say("stopping after %zu kicks", kicks);
        raise(SIGSTOP);  // the whole process: the kick thread stops with it
    }
    if (options.kicks && kicks >= options.kicks && !closeTried) {
        closeTried = true;
        SayKickFigures(options.reload);
        control.Close();
        if (!control.IsRunning()) {
            Say("closed");
            SayStatus();
            return false;
        }
        Say("close refused: %s", control.CloseFailure().c_str());
    }
    return true;
}

void Loop(WatchDogControl& control, const Options& options, int signals)
{
    std::size_t said = 0;
    bool closeTried = false;
    for (;;) {
        platform::ProcessSynchronizeQueue();
        const std::size_t kicks = Kicks();
        if (kicks != said) {
            Say("kicks %zu", kicks);
            said = kicks;
            if (!AfterKicks(control, options, kicks, closeTried))
                return;
        }
        pollfd fds[2] = {{signals, POLLIN, 0}, {g_WakePipe[0], POLLIN, 0}};
        if (poll(fds, 2, 100) < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN) {
            char bytes[64];
            while (read(g_WakePipe[0], bytes, sizeof bytes) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) {
            control.Close();
            Say("ended by signal, %s", control.IsRunning() ? "still armed" : "closed");
            return;
        }
    }
}

int Run(WatchDogControl& control, const Options& options)
{
    // Blocked before the kick thread exists, so only the loop sees them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    const int signals = pthread_sigmask(SIG_BLOCK, &stop, nullptr) == 0
        ? signalfd(-1, &stop, SFD_CLOEXEC) : -1;
    if (signals < 0 || pipe2(g_WakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Say("FAIL cannot set up the loop: %s", std::strerror(errno));
        return 1;
    }
    platform::SetSynchronizeWakeHook([] {
        const char byte = 1;
        (void)write(g_WakePipe[1], &byte, 1);  // a full pipe already wakes the loop
    });
    control.SetTime(options.restart, options.reload);
    if (!control.TimeFailure().empty()) {
        Say("FAIL countdown %d not taken: %s", int(options.restart), control.TimeFailure().c_str());
        return 1;
    }
    control.Start();
    Say("armed restart=%d reload=%d", int(options.restart), int(options.reload));
    SayStatus();
    if (options.second)
        SpawnSecondOpener(options);
    if (options.retime)
        Retime(control, options);
    Loop(control, options, signals);
    return 0;
}

// The program's status command as it runs in a process of its own; the firmware library is the
// real one from the program folder, not the noting table of the run mode.
int SayStatusCommand(bool json)
{
    std::ostringstream out;
    const int status = readout::PrintStatus(json, out);
    std::string text = out.str();
    if (json)
        std::replace(text.begin(), text.end(), '\n', ' ');
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        Say("status%s %s", json ? "-json" : "", line.c_str());
    Say("status exit %d", status);
    return 0;
}

int SayNotice()
{
    std::string text = readout::TakeRestartNotice().value_or("none");
    std::replace(text.begin(), text.end(), '\n', ' ');
    Say("notice %s", text.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "status" && argc <= 3)
        return SayStatusCommand(argc == 3 && std::string_view(argv[2]) == "--json");
    if (mode == "notice" && argc == 2)
        return SayNotice();
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: tolv-vm-guest run|second RESTART RELOAD [--second] "
                             "[--retime S] [--kicks N] [--stop-after N]\n"
                             "       tolv-vm-guest status [--json] | notice\n");
        return 2;
    }
    g_MainThread = pid_t(syscall(SYS_gettid));
    if (!LoadLibrary())
        return 1;
    auto* control = new WatchDogControl;  // lives for the whole process, as the shared one does
    (void)ExchangeWatchDogControlForTesting(control);
    if (options.mode == "run")
        return Run(*control, options);
    control->SetTime(options.restart, options.reload);
    Say("second opener: %s",
        control->TimeFailure().empty() ? "took the device" : control->TimeFailure().c_str());
    return 0;
}
