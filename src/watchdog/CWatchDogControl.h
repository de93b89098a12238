#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The one interface through which the rest of the program reaches the watchdog. Times are whole
// seconds; the restart countdown always comes before the reload period.
class CWatchDogControl {
public:
    virtual ~CWatchDogControl() = default;
    virtual void Start() {}
    virtual void Stop() {}
    virtual void Close() {}
    // The result is not read by any caller.
    virtual int SetTime(std::int32_t restartSeconds, std::int32_t reloadSeconds)
    {
        (void)restartSeconds;
        (void)reloadSeconds;
        return 0;
    }
    // Why the last SetTime could not put the countdown into the watchdog, in words for the
    // user; empty when it did, or when the backend cannot tell (the forwarding backends hand
    // the time on and answer for it themselves).
    virtual std::string TimeFailure() const { return {}; }
    // Why the last Close could not switch the watchdog off (a device that cannot be stopped);
    // empty when it could, or when the backend cannot tell. Such a watchdog is kept kicked.
    virtual std::string CloseFailure() const { return {}; }
    // Why the watchdog is no longer being kicked while it is on (an error ended the kick
    // thread), in words for the user; empty while kicks go on, once Close has run, or when the
    // backend cannot tell. The countdown then runs out unless Close, or Close, SetTime and
    // Start, follow.
    virtual std::string KickFailure() const { return {}; }
    // For a program that must end while the watchdog cannot be switched off (CloseFailure not
    // empty): ends the kicking, then writes the longest countdown the firmware accepts, so that
    // the restart nobody can prevent any more comes as late as possible. Answers the seconds now
    // counting down, 0 when none longer was written (nothing running, or a backend that forwards
    // and answers for the watchdog itself).
    virtual std::int32_t StretchCountdown() { return 0; }
    // Writes the countdown into the firmware (0 switches the watchdog off); true when it got there.
    virtual bool WriteTimer(std::int32_t seconds)
    {
        (void)seconds;
        return false;
    }
};

// The shared controller, created on first use with the backend chosen from the registry and the
// installed components; deliberately never destroyed (Close is the only clean-up a backend gets).
CWatchDogControl* GetWatchDogControl();

// "Model Type WMI" = 5 under the settings key selects the service-window backend.
bool IsModelTypeWMI();

// Called on the UI thread, from the queue that platform::ProcessSynchronizeQueue runs, when a
// backend's kicks stop while the watchdog is on; the text is the backend's KickFailure. One
// handler per process (the main window shows the text); an empty function removes it. UI thread.
void SetKickFailureHandler(std::function<void(const std::string&)> handler);

// For backends, on the UI thread: writes the failure to the trace log and hands it to the
// handler, if one is set.
void ReportKickFailure(const std::string& failure);
