#include "PrivateBus.h"

#include "ChildProgram.h"
#include "TestSupport.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace testsupport {
namespace {

std::string BusConfig(BusKind kind, const std::filesystem::path& socket,
                      const std::filesystem::path& services)
{
    const std::string type = kind == BusKind::System ? "system" : "session";
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>" + type + "</type>\n"
           "  <listen>unix:path=" + socket.string() + "</listen>\n"
           "  <servicedir>" + services.string() + "</servicedir>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

// Reads one line from fd, waiting at most timeout in total.
std::string ReadLine(int fd, std::chrono::milliseconds timeout)
{
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (line.empty() || line.back() != '\n') {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd item{fd, POLLIN, 0};
        int rc = ::poll(&item, 1, static_cast<int>(left.count()));
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            break;
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            break;
        line += c;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

} // namespace

ScopedVariable::ScopedVariable(std::string name, const std::string& value) : m_Name(std::move(name))
{
    if (const char* saved = std::getenv(m_Name.c_str()))
        m_Saved = saved;
    ::setenv(m_Name.c_str(), value.c_str(), 1);
}

ScopedVariable::~ScopedVariable()
{
    if (m_Saved)
        ::setenv(m_Name.c_str(), m_Saved->c_str(), 1);
    else
        ::unsetenv(m_Name.c_str());
}

const char* BusAddressVariable(BusKind kind)
{
    return kind == BusKind::System ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS";
}

PrivateBus::PrivateBus(BusKind kind) : m_Kind(kind)
{
    // Both kinds may run side by side in one test.
    const auto folder = Root() / (kind == BusKind::System ? "dbus-system" : "dbus");
    m_ServiceFolder = folder / "services";
    std::filesystem::create_directories(m_ServiceFolder);
    const auto config = folder / (kind == BusKind::System ? "system.conf" : "session.conf");
    WriteFile(config, BusConfig(kind, folder / "bus", m_ServiceFolder));

    int output[2];
    if (::pipe2(output, O_CLOEXEC) < 0) {
        m_Error = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    const std::string configArgument = "--config-file=" + config.string();
    pid_t pid = SpawnTiedToParent({"dbus-daemon", configArgument, "--print-address", "--nofork"},
                                  output[1], -1);
    ::close(output[1]);
    if (pid < 0) {
        ::close(output[0]);
        m_Error = std::string("cannot start dbus-daemon: ") + std::strerror(errno);
        return;
    }
    m_Address = ReadLine(output[0], std::chrono::seconds(20));
    ::close(output[0]);
    m_Pid = pid;
    if (m_Address.empty()) {
        m_Error = "dbus-daemon printed no address";
        ::kill(m_Pid, SIGKILL);
        ::waitpid(m_Pid, nullptr, 0);
        m_Pid = -1;
        return;
    }
    m_AddressVariable.emplace(BusAddressVariable(kind), m_Address);
}

PrivateBus::~PrivateBus()
{
    if (m_Pid > 0) {
        ::kill(m_Pid, SIGTERM);
        ::waitpid(m_Pid, nullptr, 0);
    }
}

void PrivateBus::AddActivatableService(const std::string& name, const std::string& exec) const
{
    WriteFile(m_ServiceFolder / (name + ".service"),
              "[D-BUS Service]\nName=" + name + "\nExec=" + exec + "\n");
    ReloadConfig();
}

void PrivateBus::InstallServiceFile(const std::filesystem::path& file) const
{
    WriteFile(m_ServiceFolder / file.filename(), ReadFile(file));
    ReloadConfig();
}

// The daemon notices new service files by itself, but only a little later; a test must not
// depend on that.
void PrivateBus::ReloadConfig() const
{
    sd_bus* bus = nullptr;
    const int rc = m_Kind == BusKind::System ? sd_bus_open_system(&bus) : sd_bus_open_user(&bus);
    if (rc >= 0)
        (void)sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus", "ReloadConfig", nullptr, nullptr, "");
    sd_bus_flush_close_unref(bus);
}

namespace {

int HandleMessage(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    auto* service = static_cast<FakeBusService*>(userdata);
    const auto& options = service->GetOptions();
    if (!sd_bus_message_is_method_call(message, nullptr, nullptr))
        return 0;
    const char* interface = sd_bus_message_get_interface(message);
    const char* member = sd_bus_message_get_member(message);
    if (!interface || !member || options.interface != interface || !options.methods.count(member))
        return sd_bus_reply_method_errorf(message, SD_BUS_ERROR_UNKNOWN_METHOD,
                                          "Unknown method %s or interface %s.",
                                          member ? member : "", interface ? interface : "");
    ReceivedCall call{member, {}};
    const char* signature = sd_bus_message_get_signature(message, 1);
    const std::string expected = call.member == "SetTime" ? "uu" : "";
    if (!signature || expected != signature)
        return sd_bus_reply_method_errorf(message, SD_BUS_ERROR_INVALID_ARGS,
                                          "Invalid arguments '%s' to call %s(), expecting '%s'.",
                                          signature ? signature : "", member, expected.c_str());
    if (call.member == "SetTime") {
        std::uint32_t restart = 0, reload = 0;
        if (sd_bus_message_read(message, "uu", &restart, &reload) < 0)
            return sd_bus_reply_method_errorf(message, SD_BUS_ERROR_INVALID_ARGS, "bad arguments");
        call.arguments = {restart, reload};
    }
    service->Record(call);
    if (options.silent.count(member))
        return 1;
    if (options.failing.count(member))
        return sd_bus_reply_method_errorf(message, "com.example.Fake.Error.Failed",
                                          "The fake refuses %s", member);
    return sd_bus_reply_method_return(message, "");
}

} // namespace

FakeBusService::FakeBusService(Options options) : m_Options(std::move(options))
{
    std::atomic<int> state{0};
    m_Thread = std::thread([this, &state] { Run(state); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (state.load() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    m_Ready = state.load() == 1;
    if (!m_Ready) {
        m_Stop = true;
        m_Thread.join();
        if (m_Error.empty())
            m_Error = "the fake service did not start";
    }
}

FakeBusService::~FakeBusService()
{
    m_Stop = true;
    if (m_Thread.joinable())
        m_Thread.join();
}

std::vector<ReceivedCall> FakeBusService::Calls() const
{
    std::lock_guard lock(m_Mutex);
    return m_Calls;
}

void FakeBusService::Record(ReceivedCall call)
{
    std::lock_guard lock(m_Mutex);
    m_Calls.push_back(std::move(call));
}

void FakeBusService::Run(std::atomic<int>& state)
{
    sd_bus* bus = nullptr;
    int rc = sd_bus_open_user(&bus);
    if (rc >= 0)
        rc = sd_bus_add_object(bus, nullptr, m_Options.path.c_str(), HandleMessage, this);
    if (rc >= 0)
        rc = sd_bus_request_name(bus, m_Options.name.c_str(), 0);
    if (rc < 0) {
        m_Error = std::string("fake service: ") + std::strerror(-rc);
        state = -1;
        sd_bus_flush_close_unref(bus);
        return;
    }
    state = 1;
    while (!m_Stop.load()) {
        rc = sd_bus_process(bus, nullptr);
        if (rc < 0)
            break;
        if (rc > 0)
            continue;
        (void)sd_bus_wait(bus, 20000); // short, so the stop request is seen soon
    }
    sd_bus_flush_close_unref(bus);
}

} // namespace testsupport
