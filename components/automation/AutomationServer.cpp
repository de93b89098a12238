#include "AutomationServer.h"

#include "watchdog/WatchDogForwarding.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <systemd/sd-bus.h>

namespace automation {
namespace {

struct Context {
    WatchDogMethods* methods;
    service::ServiceLoop* loop;
};

// Runs one method and sends its answer; an exception becomes an error reply too, so the caller
// always learns what went wrong.
template <typename Method>
int Reply(sd_bus_message* message, Context& context, Method method)
{
    MethodResult result;
    try {
        result = method();
    } catch (const std::exception& error) {
        result = MethodError{SD_BUS_ERROR_FAILED, error.what()};
    }
    if (!result)
        return sd_bus_reply_method_return(message, "");
    const bool refused = std::strcmp(result->name, SD_BUS_ERROR_INVALID_ARGS) == 0;
    context.loop->Log((refused ? "refused: " : "failed: ") + result->message);
    return sd_bus_reply_method_errorf(message, result->name, "%s", result->message.c_str());
}

int OnStart(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto& context = *static_cast<Context*>(userdata);
    context.loop->Log("Start");
    return Reply(message, context, [&] { return context.methods->Start(); });
}

int OnStop(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto& context = *static_cast<Context*>(userdata);
    context.loop->Log("Stop");
    return Reply(message, context, [&] { return context.methods->Stop(); });
}

int OnClose(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto& context = *static_cast<Context*>(userdata);
    context.loop->Log("Close");
    return Reply(message, context, [&] { return context.methods->Close(); });
}

int OnSetTime(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto& context = *static_cast<Context*>(userdata);
    std::uint32_t restart = 0;
    std::uint32_t reload = 0;
    if (int rc = sd_bus_message_read(message, "uu", &restart, &reload); rc < 0)
        return rc;
    context.loop->Log("SetTime(" + std::to_string(restart) + ", " + std::to_string(reload) + ")");
    return Reply(message, context, [&] { return context.methods->SetTime(restart, reload); });
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

// Why the session bus could not be reached, in words a person can act on.
std::string SessionBusProblem(int negativeErrno)
{
    // Without DBUS_SESSION_BUS_ADDRESS sd-bus tries $XDG_RUNTIME_DIR/bus, and without that
    // either it answers ENOMEDIUM.
    if (negativeErrno == -ENOMEDIUM)
        return "no session bus (DBUS_SESSION_BUS_ADDRESS is not set)";
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address)
        return "no session bus (DBUS_SESSION_BUS_ADDRESS is not set, and $XDG_RUNTIME_DIR/bus: "
            + ErrnoText(negativeErrno) + ")";
    return "cannot connect to the session bus at " + std::string(address) + ": "
        + ErrnoText(negativeErrno);
}

// Who owns name on the bus, as far as the bus tells: its unique name, process and program.
std::string OwnerOf(sd_bus* bus, const char* name)
{
    sd_bus_creds* creds = nullptr;
    const std::uint64_t wanted = SD_BUS_CREDS_UNIQUE_NAME | SD_BUS_CREDS_PID | SD_BUS_CREDS_EXE
        | SD_BUS_CREDS_COMM | SD_BUS_CREDS_AUGMENT;
    if (sd_bus_get_name_creds(bus, name, wanted, &creds) < 0)
        return "another connection";
    const char* text = nullptr;
    std::string owner = "another connection";
    if (sd_bus_creds_get_unique_name(creds, &text) >= 0)
        owner = text;
    pid_t pid = 0;
    if (sd_bus_creds_get_pid(creds, &pid) >= 0) {
        owner += " (process " + std::to_string(pid);
        if (sd_bus_creds_get_exe(creds, &text) >= 0 || sd_bus_creds_get_comm(creds, &text) >= 0)
            owner += std::string(", ") + text;
        owner += ")";
    }
    sd_bus_creds_unref(creds);
    return owner;
}

std::string OwnProblem(sd_bus* bus, int negativeErrno)
{
    const std::string prefix = "cannot own " + std::string(kAutomationProgId) + ": ";
    if (negativeErrno == -EEXIST)
        return prefix + "the name is taken by " + OwnerOf(bus, kAutomationProgId);
    return prefix + ErrnoText(negativeErrno);
}

} // namespace

int RunAutomationServer(WatchDogMethods& methods, service::ServiceLoop& loop)
{
    if (!loop.Ok()) {
        loop.Log(loop.Error());
        return 1;
    }
    Context context{&methods, &loop};
    sd_bus* bus = nullptr;
    if (int rc = sd_bus_open_user(&bus); rc < 0) {
        loop.Log(SessionBusProblem(rc));
        return 1;
    }
    int code = 1;
    int rc = sd_bus_add_object_vtable(bus, nullptr, kObjectPath, kAutomationProgId, kVtable,
                                      &context);
    if (rc < 0)
        loop.Log("cannot serve " + std::string(kObjectPath) + ": " + ErrnoText(rc));
    else if (rc = sd_bus_request_name(bus, kAutomationProgId, 0); rc < 0)
        loop.Log(OwnProblem(bus, rc));
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
    MethodResult closed;
    try {
        closed = methods.Close();
    } catch (const std::exception& error) {
        closed = MethodError{SD_BUS_ERROR_FAILED, error.what()};
    }
    if (closed) {
        loop.Log("closing failed: " + closed->message);
        code = 1;
    }
    sd_bus_flush_close_unref(bus);
    return code;
}

} // namespace automation
