#pragma once

#include "ChildProgram.h"
#include "PrivateBus.h"

#include "SimState.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One run of the real program for a whole-program test: on the simulated firmware in the
// case's TOLV_ROOT, with its settings seeded in the store and a session bus of its own (no
// notification-item host on it, so a tray icon can only go to an X tray). Declare it after the
// X session and the buses it needs, so the program ends before them.
namespace systeme2e {

inline constexpr const char* kCaption = "TOLV Watchdog Timer";
inline constexpr const char* kWindowClass = "TMainForm";
// The X class of every window the program shows (the program's name for people).
inline constexpr const char* kProgramClass = "TOLV Watchdog Timer";
inline constexpr std::uint32_t kStateOn = 15;
inline constexpr std::uint32_t kStateOff = 0;
// A stored state that still reads as "on" but that the program never writes itself: a store
// holding it after the program ended was not written on the way out.
inline constexpr std::uint32_t kMarkOn = 1;
// Generous: the machine is shared and the program runs with sanitizers.
inline constexpr std::chrono::seconds kStartWait{60};
inline constexpr std::chrono::seconds kWait{10};

// What logind's Inhibit is asked for, argument by argument.
const std::vector<std::string>& InhibitArguments();

struct Settings {
    std::uint32_t lastState = kStateOn;
    std::uint32_t rebootTime = 60;
    std::uint32_t resetTime = 40;
};

class ProgramRun {
public:
    explicit ProgramRun(const Settings& settings);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // False when the session bus or the program could not be started.
    bool Start(const std::vector<std::string>& arguments = {});
    // Writes the settings into the store (Start does it itself).
    bool Seed() const;
    // Starts the program through launcher (the words before the program's own, such as those
    // that run it as another user) on the session bus in place now, instead of a bus of the
    // run's own. Seed first; the store is left as it is, so a test can hand it to that user.
    bool StartThrough(const std::vector<std::string>& launcher, const std::vector<std::string>& arguments = {});
    // The program took the stored state: armed with the stored countdown and LAST_STATE
    // rewritten as 15 when on; when off, LAST_STATE reads 0.
    bool WaitUntilSettled();
    bool Running();
    std::optional<testsupport::ChildExit> WaitForExit(std::chrono::milliseconds timeout);
    bool Signal(int signal) const;

    // The simulated firmware's state file; no value before the first write.
    std::optional<tlacpi::SimState> Firmware() const;
    bool Armed() const;
    bool Disarmed() const;

    // The texts of the trace log's lines, without their time stamps.
    std::vector<std::string> Trace() const;
    long TraceCount(const std::string& text) const;
    // Each of texts appears as a line, in this order (other lines may come between).
    bool TraceHasInOrder(const std::vector<std::string>& texts) const;
    bool TraceHasLineStarting(const std::string& start) const;

    std::optional<std::uint32_t> LastState() const;
    bool WriteLastState(std::uint32_t value) const;

    // The trace log, the firmware state and the program's output, for failure messages.
    std::string Describe() const;

private:
    Settings m_Settings;
    std::filesystem::path m_Sim;
    testsupport::ScopedVariable m_Firmware;
    std::unique_ptr<testsupport::PrivateBus> m_SessionBus;
    std::unique_ptr<testsupport::ChildProgram> m_Program;
};

// Points the system bus at a socket that does not exist: no logind, and never the machine's.
std::unique_ptr<testsupport::ScopedVariable> NoSystemBus();

// Milliseconds from since until condition holds, polled every millisecond; no value when it
// did not hold within timeout.
std::optional<double> MillisecondsUntil(const std::function<bool()>& condition,
                                        std::chrono::steady_clock::time_point since,
                                        std::chrono::milliseconds timeout = kWait);

} // namespace systeme2e
