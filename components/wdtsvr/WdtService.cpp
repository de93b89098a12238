#include "WdtService.h"

#include "ServiceMessage.h"

#include <exception>
#include <optional>
#include <string>
#include <sys/un.h>

namespace wdtsvr {
namespace {

struct Context {
    CWatchDogControl* control;
    service::ServiceLoop* loop;
    platform::MessageWindow* window;
    ServiceState state;
};

int OnWindowInput(sd_event_source*, int, std::uint32_t, void* userdata)
{
    auto& context = *static_cast<Context*>(userdata);
    const std::size_t droppedBefore = context.window->DroppedCount();
    context.window->ReadPending([&](const platform::WindowMessage& message) {
        try {
            context.loop->Log(
                Apply(*context.control, InterpretMessage(message), message, context.state));
        } catch (const std::exception& error) {
            context.loop->Log("failed: " + std::string(error.what()));
        }
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
