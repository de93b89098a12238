#pragma once

#include <optional>
#include <string>
#include <systemd/sd-event.h>

// The main loop of a service program that runs the direct watchdog backend in its own process.
//
// The loop is the program's user-interface thread: calls that the kick thread hands over are run
// here (the wake hook signals an eventfd that the loop watches). SIGTERM, SIGINT, SIGHUP and
// SIGQUIT end the loop; the program then closes the watchdog before it exits. SIGHUP and SIGQUIT
// count too, because a service killed by either would leave the firmware counting down with
// nobody to kick it.
namespace service {

// A service program takes no arguments but --help. Answers the exit code when the program must
// end at once: 0 after printing usage on stdout for --help, 2 with usage on stderr for anything
// else; no value when it runs.
std::optional<int> CommandLineExit(int argc, char** argv, const char* usage);

class ServiceLoop {
public:
    explicit ServiceLoop(std::string programName);
    ~ServiceLoop();
    ServiceLoop(const ServiceLoop&) = delete;
    ServiceLoop& operator=(const ServiceLoop&) = delete;

    // False when the loop could not be set up; Error() says why.
    bool Ok() const { return m_Error.empty(); }
    const std::string& Error() const { return m_Error; }

    sd_event* Event() const { return m_Event; }

    // Runs until a stop signal or Exit; answers the exit code.
    int Run();
    void Exit(int code);

    // One line on stderr, prefixed with the program's name.
    void Log(const std::string& line) const;

private:
    std::string m_ProgramName;
    std::string m_Error;
    sd_event* m_Event = nullptr;
    int m_WakeFd = -1;
};

} // namespace service
