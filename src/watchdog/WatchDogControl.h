#pragma once

#include "tolv/BiosInterface.h"
#include "watchdog/CWatchDogControl.h"
#include "watchdog/WatchDogThread.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

using tolv::WatchdogItemId;

// The direct backend: writes the countdown into the firmware's watchdog item and keeps it from
// running out with a kick thread of its own. UI thread only.
class WatchDogControl : public CWatchDogControl {
public:
    // closeWait bounds how long Close waits for the kick thread to end, and how long a write
    // waits for the write before it.
    explicit WatchDogControl(std::chrono::milliseconds closeWait = std::chrono::milliseconds(3000));
    // Ends a kick thread that still runs (tests and helper programs; the program's own shared
    // controller is never destroyed).
    ~WatchDogControl() override;

    // Only when not running: creates the kick thread with the stored times and lets it run.
    // Also locks the process's memory, once, when permitted (after the thread exists, so that
    // a limit on locked memory can never refuse the thread its stack). When the system refuses
    // the thread, the countdown is switched off and the error (std::system_error) raised.
    void Start() override;
    // The kick thread writes 0 and then holds until Close, or until SetTime arms the countdown
    // again; does nothing without a kick thread.
    void Stop() override;
    // Only when running: ends the kick thread, then writes 0. When the thread does not end
    // within the bound (a device call stuck in the kernel) or the firmware refuses the 0 (a
    // device that cannot be stopped), the watchdog stays on and kicked, the backend stays
    // running and CloseFailure says why.
    void Close() override;
    std::string CloseFailure() const override { return m_CloseFailure; }
    // Only when running: ends the kick thread (nothing then rewrites a shorter countdown) and
    // searches the longest countdown the firmware takes, up to kLongestCountdown, in a bounded
    // number of writes under one hold of the item; the longest one taken is the one left in
    // effect. The backend no longer runs afterwards, so a later Close writes nothing. When the
    // thread does not end within the bound, nothing is written and the thread kicks on.
    std::int32_t StretchCountdown() override;
    // The longest countdown StretchCountdown asks for: the device interface's 16-bit limit.
    static constexpr std::int32_t kLongestCountdown = 65535;
    // Writes the restart countdown at once; only when that succeeds are both times stored, and
    // a running kick thread writes them at its next pass and kicks with them from there.
    // Answers 0.
    int SetTime(std::int32_t restartSeconds, std::int32_t reloadSeconds) override;
    std::string TimeFailure() const override { return m_TimeFailure; }
    std::string KickFailure() const override;
    bool WriteTimer(std::int32_t seconds) override;

    bool IsRunning() const { return m_Running; }
    std::int32_t ReloadTime() const { return m_ReloadTime; }
    std::int32_t RestartTime() const { return m_RestartTime; }
    // The kick thread while one exists, else null.
    WatchDogThread* KickThread() const { return m_Thread.get(); }
    const WatchdogItem& Item() const { return m_Item; }

private:
    // False when the thread did not end within the bound; it then goes on kicking.
    bool EndKickThread();
    // Answers the longest countdown taken, 0 when none above the running one was.
    std::int32_t WriteLongestCountdown();

    const std::chrono::milliseconds m_CloseWait;
    WatchdogItem m_Item;  // before m_Thread: the thread writes with it until it has ended
    std::unique_ptr<WatchDogThread> m_Thread;
    bool m_Running = false;
    std::int32_t m_ReloadTime = 55;
    std::int32_t m_RestartTime = 60;
    std::string m_TimeFailure;
    std::string m_CloseFailure;
};

// Testing only: makes control the shared controller that GetWatchDogControl answers (null: the
// next call chooses a backend again) and hands back the previous one, which the caller then
// owns. The program itself never replaces its controller.
CWatchDogControl* ExchangeWatchDogControlForTesting(CWatchDogControl* control);
