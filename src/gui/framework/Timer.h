#pragma once

#include <memory>

#include "gui/framework/Component.h"

class QTimer;

namespace framework {

// A periodic timer on the user-interface thread. It runs while it is enabled, its interval is
// not 0 and OnTimer is set; changing any of the three restarts the period from now.
// An exception from OnTimer is shown by the top-level error display and the timer goes on.
class Timer : public Component {
public:
    Timer();
    ~Timer() override;

    // Milliseconds; 1000 unless set. Negative values count as 0 (stopped).
    int Interval() const { return m_Interval; }
    void SetInterval(int interval);

    bool Enabled() const { return m_Enabled; }
    void SetEnabled(bool enabled);

    const NotifyEvent& OnTimer() const { return m_OnTimer; }
    void SetOnTimer(NotifyEvent handler);

    // Whether the period is counting now.
    bool Running() const;

private:
    void UpdateTimer();

    std::unique_ptr<QTimer> m_Timer;
    NotifyEvent m_OnTimer;
    int m_Interval = 1000;
    bool m_Enabled = true;
};

} // namespace framework
