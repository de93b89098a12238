#pragma once

#include "watchdog/CWatchDogControl.h"

// The two backends that forward to outside components: the automation server on the session bus
// and the watchdog service program's window.

inline constexpr const char* kAutomationProgId = "TolvWatchDogTimerSVR.WatchDogControl";

// True when the automation server can be reached (its bus name has an owner or is activatable).
// Never throws.
bool IsDllComAvailable();

// Forwards each operation by name to the automation server. Failures throw std::runtime_error
// carrying the bus's message (and the ProgID when the service is missing); nothing is retried.
class WatchDogDllCom : public CWatchDogControl {
public:
    void Start() override;
    void Stop() override;
    void Close() override;
    int SetTime(std::int32_t restartSeconds, std::int32_t reloadSeconds) override;
};

// Posts message 2054 to the service program's window (class "TMainForm", caption "WdtSVR").
class WatchDogWMI : public CWatchDogControl {
public:
    void Start() override;
    void Close() override;
    int SetTime(std::int32_t restartSeconds, std::int32_t reloadSeconds) override;

private:
    std::int32_t m_RestartTime = 0;
    std::int32_t m_ReloadTime = 0;
};
