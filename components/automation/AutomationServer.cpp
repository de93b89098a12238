#include "AutomationServer.h"

#include "watchdog/WatchDogForwarding.h"

#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <systemd/sd-bus.h>

namespace automation {
namespace {

struct Context {
    CWatchDogControl* control;
    service::ServiceLoop* loop;
};

// Runs one controller operation; an exception becomes the error reply, so the caller sees it.
template <typename Operation>
int Reply(sd_bus_message* message, Context& context, Operation operation)
{
    try {
        operation();
    } catch (const std::exception& error) {
        context.loop->Log(std::string("failed: ") + error.what());
        return sd_bus_reply_method_errorf(message, SD_BUS_ERROR_FAILED, "%s", error.what());
    }
    return sd_bus_reply_method_return(message, "");
}

int OnStart(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto& context = *static_cast<Context*>(userdata);
    context.loop->Log("Start");
    return Reply(message, context, [&] { context.control->Start(); });
}

int OnStop(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto& context = *static_cast<Context*>(userdata);
    context.loop->Log("Stop");
    return Reply(message, context, [&] { context.control->Stop(); });
}

int OnClose(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto& context = *static_cast<Context*>(userdata);
    context.loop->Log("Close");
    return Reply(message, context, [&] { context.control->Close(); });
}

int OnSetTime(sd_bus_message* message, void* userdata, sd_bus_error* error)
{
    auto& context = *static_cast<Context*>(userdata);
    std::uint32_t restart = 0;
    std::uint32_t reload = 0;
    if (int rc = sd_bus_message_read(message, "uu", &restart, &reload); rc < 0)
        return rc;
    context.loop->Log("SetTime(" + std::to_string(restart) + ", " + std::to_string(reload) + ")");
    auto times = ControllerTimes(restart, reload);
    if (!times) {
        context.loop->Log("refused: the times are out of range");
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS,
                                 "SetTime(%u, %u): times above %d seconds are not accepted",
                                 restart, reload, std::numeric_limits<std::int32_t>::max());
    }
    return Reply(message, context,
                 [&] { (void)context.control->SetTime(times->first, times->second); });
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Start", "", "", OnStart, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Stop", "", "", OnStop, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Close", "", "", OnClose, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("SetTime", "uu", SD_BUS_PARAM(restart) SD_BUS_PARAM(reload), "", ,
                             OnSetTime, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

std::string ErrnoText(int negativeErrno)
{
    return std::strerror(-negativeErrno);
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

int RunAutomationServer(CWatchDogControl& control, service::ServiceLoop& loop)
{
    if (!loop.Ok()) {
        loop.Log(loop.Error());
        return 1;
    }
    Context context{&control, &loop};
    sd_bus* bus = nullptr;
    if (int rc = sd_bus_open_user(&bus); rc < 0) {
        loop.Log("cannot connect to the session bus: " + ErrnoText(rc));
        return 1;
    }
    int code = 1;
    int rc = sd_bus_add_object_vtable(bus, nullptr, kObjectPath, kAutomationProgId, kVtable,
                                      &context);
    if (rc < 0)
        loop.Log("cannot serve " + std::string(kObjectPath) + ": " + ErrnoText(rc));
    else if (rc = sd_bus_request_name(bus, kAutomationProgId, 0); rc < 0)
        loop.Log("cannot own " + std::string(kAutomationProgId) + ": " + ErrnoText(rc));
    else if (rc = sd_bus_attach_event(bus, loop.Event(), SD_EVENT_PRIORITY_NORMAL); rc < 0)
        loop.Log("cannot attach to the event loop: " + ErrnoText(rc));
    else {
        // Losing the bus ends the loop with a failure; the watchdog is closed all the same.
        (void)sd_bus_set_exit_on_disconnect(bus, 1);
        loop.Log("serving " + std::string(kAutomationProgId) + " " + kObjectPath);
        code = loop.Run();
    }

    // Nobody could reach the watchdog after this process ends, so it must not stay armed.
    loop.Log("closing the watchdog");
    try {
        control.Close();
    } catch (const std::exception& error) {
        loop.Log(std::string("closing failed: ") + error.what());
        code = 1;
    }
    sd_bus_flush_close_unref(bus);
    return code;
}

} // namespace automation
