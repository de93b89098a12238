#include "WatchDogMethods.h"

#include <limits>
#include <systemd/sd-bus.h>

namespace automation {
namespace {

MethodError Failed(std::string message)
{
    return MethodError{SD_BUS_ERROR_FAILED, std::move(message)};
}

std::string Call(std::uint32_t restart, std::uint32_t reload)
{
    return "SetTime(" + std::to_string(restart) + ", " + std::to_string(reload) + ")";
}

} // namespace

std::optional<std::pair<std::int32_t, std::int32_t>> ControllerTimes(std::uint32_t restart,
                                                                     std::uint32_t reload)
{
    constexpr auto kLimit = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
    if (restart > kLimit || reload > kLimit)
        return std::nullopt;
    return std::make_pair(static_cast<std::int32_t>(restart), static_cast<std::int32_t>(reload));
}

std::optional<std::string> RefuseTimes(std::uint32_t restart, std::uint32_t reload)
{
    if (!ControllerTimes(restart, reload))
        return Call(restart, reload) + ": times above "
            + std::to_string(std::numeric_limits<std::int32_t>::max())
            + " seconds are not accepted";
    if (restart == 0 || reload == 0)
        return Call(restart, reload) + ": both times must be at least 1 second";
    if (reload >= restart)
        return Call(restart, reload) + ": the reload period (" + std::to_string(reload)
            + " s) must be shorter than the restart countdown (" + std::to_string(restart)
            + " s), or the countdown runs out between two kicks";
    return std::nullopt;
}

WatchDogMethods::WatchDogMethods(CWatchDogControl& control, std::int32_t restart,
                                 std::int32_t reload)
    : m_Control(control)
    , m_Restart(restart)
    , m_Reload(reload)
{
}

MethodResult WatchDogMethods::Start()
{
    if (m_Stopped) {
        // The backend ignores Start while it holds a stopped kick thread; ending that thread
        // lets the Start below make one that arms and kicks again.
        m_Control.Close();
        m_Stopped = false;
    }
    // The countdown goes into the firmware now, so that one which cannot take it is told to
    // the caller; the kick thread would find out only after the answer.
    (void)m_Control.SetTime(m_Restart, m_Reload); // TimeFailure tells the outcome
    if (const std::string failure = m_Control.TimeFailure(); !failure.empty())
        return Failed("Start: " + failure);
    m_Control.Start();
    return std::nullopt;
}

MethodResult WatchDogMethods::Stop()
{
    m_Control.Stop();
    m_Stopped = true;
    return std::nullopt;
}

MethodResult WatchDogMethods::Close()
{
    m_Control.Close();
    m_Stopped = false;
    if (const std::string failure = m_Control.CloseFailure(); !failure.empty())
        return Failed("Close: " + failure);
    return std::nullopt;
}

MethodResult WatchDogMethods::SetTime(std::uint32_t restart, std::uint32_t reload)
{
    if (auto refusal = RefuseTimes(restart, reload))
        return MethodError{SD_BUS_ERROR_INVALID_ARGS, std::move(*refusal)};
    const auto times = *ControllerTimes(restart, reload);
    (void)m_Control.SetTime(times.first, times.second); // TimeFailure tells the outcome
    if (const std::string failure = m_Control.TimeFailure(); !failure.empty())
        return Failed(Call(restart, reload) + ": " + failure);
    m_Restart = times.first;
    m_Reload = times.second;
    return std::nullopt;
}

} // namespace automation
