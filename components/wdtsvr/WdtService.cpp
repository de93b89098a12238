#include "WdtService.h"

#include "ServiceMessage.h"

#include "platform/PowerEvents.h"

#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <sys/un.h>
#include <vector>

namespace wdtsvr {
namespace {

struct Context {
    CWatchDogControl* control;
    service::ServiceLoop* loop;
    platform::MessageWindow* window;
    ServiceState state;
};

// Runs a step on the watchdog and logs its line, or why it failed.
template <typename Step>
void Carry(Context& context, Step step)
{
    try {
        context.loop->Log(step());
    } catch (const std::exception& error) {
        context.loop->Log("failed: " + std::string(error.what()));
    }
}

void OnPowerEvent(Context& context, platform::PowerEvent event)
{
    CWatchDogControl& control = *context.control;
    ServiceState& state = context.state;
    Carry(context, [&] {
        switch (event) {
        case platform::PowerEvent::Suspend:
            return PauseForPowerDown(control, state, "before sleep");
        case platform::PowerEvent::Shutdown:
            return PauseForPowerDown(control, state, "before shutdown");
        case platform::PowerEvent::Resume:
            return ResumeAfterPowerDown(control, state, "after wake");
        case platform::PowerEvent::ShutdownCancelled:
            return ResumeAfterPowerDown(control, state, "shutdown called off");
        case platform::PowerEvent::SessionEnd:
            break; // the loop takes the stop signals; the source leaves them alone
        }
        return std::string("ignored ") + platform::PowerEventName(event);
    });
}

// Sleep and shutdown from logind, on the loop: the source's descriptors are watched for it, and
// watched afresh when they change (the bus lost).
class PowerWatch {
public:
    explicit PowerWatch(Context& context)
        : m_Loop(*context.loop),
          m_Events([&context](platform::PowerEvent event) { OnPowerEvent(context, event); },
                   platform::EndSignals::LeaveAlone)
    {
        m_Events.SetLog([this](const std::string& line) { m_Loop.Log(line); });
        if (!m_Events.Open())
            m_Loop.Log("no sleep or shutdown events: " + m_Events.Status());
        Rewatch();
    }
    ~PowerWatch() { Unwatch(); }
    PowerWatch(const PowerWatch&) = delete;
    PowerWatch& operator=(const PowerWatch&) = delete;

private:
    static int OnInput(sd_event_source*, int, std::uint32_t, void* userdata)
    {
        auto* self = static_cast<PowerWatch*>(userdata);
        self->m_Events.Dispatch();
        self->Rewatch(); // sd-event lets a source be dropped from its own callback
        return 0;
    }
    void Rewatch()
    {
        const std::vector<int> fds = m_Events.Fds();
        if (fds == m_Fds)
            return;
        Unwatch();
        m_Fds = fds;
        for (int fd : fds) {
            sd_event_source* source = nullptr;
            if (int rc = sd_event_add_io(m_Loop.Event(), &source, fd, EPOLLIN, OnInput, this);
                rc < 0)
                m_Loop.Log("cannot watch the power events: " + std::string(std::strerror(-rc)));
            else
                m_Sources.push_back(source);
        }
    }
    void Unwatch()
    {
        for (sd_event_source* source : m_Sources)
            sd_event_source_disable_unref(source);
        m_Sources.clear();
        m_Fds.clear();
    }

    service::ServiceLoop& m_Loop;
    platform::PowerEvents m_Events;
    std::vector<int> m_Fds;
    std::vector<sd_event_source*> m_Sources;
};

int OnWindowInput(sd_event_source*, int, std::uint32_t, void* userdata)
{
    auto& context = *static_cast<Context*>(userdata);
    const std::size_t droppedBefore = context.window->DroppedCount();
    context.window->ReadPending([&](const platform::WindowMessage& message) {
        Carry(context, [&] {
            return Apply(*context.control, InterpretMessage(message), message, context.state);
        });
    });
    if (const std::size_t dropped = context.window->DroppedCount() - droppedBefore; dropped > 0)
        context.loop->Log("dropped " + std::to_string(dropped) +
                          " malformed or foreign datagram(s)");
    return 0;
}

// Why the window cannot be made before trying: its class and caption are fixed, so only a
// runtime folder too deep for a socket address (TOLV_ROOT) can keep it from having a name.
std::optional<std::string> WindowNameProblem()
{
    if (platform::WindowSocketPath(kWindowClass, kWindowCaption))
        return std::nullopt;
    constexpr std::size_t kLongest = sizeof(sockaddr_un::sun_path) - 1;
    return "the window's socket in " + platform::WindowsFolder().string() + " would have a path "
        + "longer than a Unix socket address holds (" + std::to_string(kLongest)
        + " bytes); TOLV_ROOT is too long";
}

} // namespace

int RunWdtService(CWatchDogControl& control, service::ServiceLoop& loop)
{
    if (!loop.Ok()) {
        loop.Log(loop.Error());
        return 1;
    }
    if (const auto problem = WindowNameProblem()) {
        loop.Log("cannot create the window: " + *problem);
        return 1;
    }
    platform::MessageWindow window(kWindowClass, kWindowCaption);
    if (!window.Create()) {
        loop.Log("cannot create the window: " + window.LastError());
        return 1;
    }
    Context context{&control, &loop, &window, ServiceState{}};
    sd_event_source* source = nullptr;
    if (int rc = sd_event_add_io(loop.Event(), &source, window.Fd(), EPOLLIN, OnWindowInput,
                                 &context);
        rc < 0) {
        loop.Log("cannot watch the window");
        return 1;
    }
    loop.Log("window " + window.SocketPath().string() + " is ready");
    // Lives until the function returns: the inhibitor is let go only after the watchdog is closed.
    const PowerWatch power(context);
    int code = loop.Run();
    sd_event_source_disable_unref(source);

    // No message may arrive after the watchdog has been closed for good.
    window.Destroy();
    loop.Log("closing the watchdog");
    try {
        control.Close();
    } catch (const std::exception& error) {
        loop.Log(std::string("closing failed: ") + error.what());
        code = 1;
    }
    return code;
}

} // namespace wdtsvr
