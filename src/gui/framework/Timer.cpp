#include "gui/framework/Timer.h"

#include <QTimer>
#include <utility>

#include "gui/framework/Application.h"

namespace framework {

Timer::Timer() : m_Timer(std::make_unique<QTimer>())
{
    m_Timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_Timer.get(), &QTimer::timeout, [this] { Guarded([this] { m_OnTimer(this); }); });
}

Timer::~Timer() = default;

void Timer::SetInterval(int interval)
{
    if (interval < 0)
        interval = 0;
    if (m_Interval == interval)
        return;
    m_Interval = interval;
    UpdateTimer();
}

void Timer::SetEnabled(bool enabled)
{
    if (m_Enabled == enabled)
        return;
    m_Enabled = enabled;
    UpdateTimer();
}

void Timer::SetOnTimer(NotifyEvent handler)
{
    m_OnTimer = std::move(handler);
    UpdateTimer();
}

bool Timer::Running() const
{
    return m_Timer->isActive();
}

void Timer::UpdateTimer()
{
    m_Timer->stop();
    if (m_Enabled && m_Interval != 0 && m_OnTimer)
        m_Timer->start(m_Interval);
}

} // namespace framework
