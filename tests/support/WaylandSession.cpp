#include "WaylandSession.h"

#include "ChildProgram.h"
#include "SessionTools.h"
#include "TestSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace testsupport {
namespace {

// Generous: the machine is shared and the programs under test run with sanitizers.
constexpr auto kStartTimeout = 30s;
constexpr auto kToolTimeout = 30s;
constexpr auto kStopGrace = 5s;

fs::path SessionFolder()
{
    return Root() / "wayland";
}

bool OnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && ::access((fs::path(folder) / program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

bool QtWaylandPluginInstalled()
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/lib", error)) {
        if (fs::exists(entry.path() / "qt6/plugins/platforms/libqwayland-generic.so", error))
            return true;
    }
    return false;
}

std::optional<std::string> Tool(const std::vector<std::string>& argv)
{
    const auto result = RunTool(argv, SessionFolder() / "tools.log", kToolTimeout);
    if (!result || result->status != 0)
        return std::nullopt;
    return result->output;
}

std::string Hex(unsigned colour)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", colour);
    return text;
}

// The runtime folder's compositor socket ("wayland-N"), once there is one.
std::optional<std::string> WaylandSocket(const fs::path& runtime)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(runtime, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("wayland-", 0) == 0 && entry.is_socket(error))
            return name;
    }
    return std::nullopt;
}

bool BusUp()
{
    return SessionBusCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.GetId")
        .has_value();
}

bool CompositorUp()
{
    return Tool({"swaymsg", "-t", "get_version"}).has_value();
}

// waybar's tray registers itself as the host with the watcher it runs.
bool TrayUp()
{
    const auto reply = SessionBusCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                      "org.freedesktop.DBus.Properties.Get",
                                      {"org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered"});
    return reply && reply->find("true") != std::string::npos;
}

bool PointerUp()
{
    const auto inputs = Tool({"swaymsg", "-r", "-t", "get_inputs"});
    return inputs && inputs->find("\"pointer\"") != std::string::npos;
}

} // namespace

std::string WaylandSession::Unavailable()
{
    if (::geteuid() != 0)
        return "the Wayland session runs as another user through setpriv, which needs root";
    for (const char* program : {"setpriv", "dbus-daemon", "gdbus", "sway", "swaymsg", "waybar", "grim"}) {
        if (!OnPath(program))
            return std::string(program) + " is not installed";
    }
    if (!QtWaylandPluginInstalled())
        return "Qt's Wayland platform plugin (qt6-wayland) is not installed";
    return {};
}

WaylandSession::WaylandSession(const Options& options)
    : m_Folder(SessionFolder()), m_Runtime(SessionFolder() / "run")
{
    const char* display = std::getenv("DISPLAY");
    if (display)
        m_SavedDisplay = display;
    ::unsetenv("DISPLAY");
    fs::create_directories(m_Runtime);
    // The session's user reaches its runtime folder, and the programs under TOLV_ROOT.
    if (::chmod(Root().c_str(), 0755) != 0 || ::chmod(m_Folder.c_str(), 0755) != 0
        || ::chown(m_Runtime.c_str(), User, User) != 0 || ::chmod(m_Runtime.c_str(), 0700) != 0) {
        m_Error = std::string("cannot prepare the runtime folder: ") + std::strerror(errno);
        return;
    }
    SetVariable("XDG_RUNTIME_DIR", m_Runtime.string());
    SetVariable("HOME", m_Runtime.string());
    SetVariable("QT_QPA_PLATFORM", "wayland");
    SetVariable("WLR_BACKENDS", "headless");
    SetVariable("WLR_LIBINPUT_NO_DEVICES", "1");
    SetVariable("WLR_RENDERER", "pixman");
    // The Wayland client library keeps its arrays until the process ends (the program's leak
    // check lets that library off), and it is built without frame pointers: the quick stack
    // walk at each allocation stops in a stray frame and loses the library's name, so the
    // sanitized program walks the whole stack here.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    SetVariable("ASAN_OPTIONS", std::string(sanitizer ? sanitizer : "") + (sanitizer && *sanitizer ? ":" : "")
                                    + "fast_unwind_on_malloc=0");
    const fs::path swayConfig = m_Folder / "sway.conf";
    WriteFile(swayConfig, "output * resolution " + std::to_string(ScreenWidth) + "x"
                              + std::to_string(ScreenHeight) + " bg " + Hex(Background)
                              + " solid_color\nxwayland disable\n");
    const fs::path barConfig = m_Folder / "waybar.json";
    WriteFile(barConfig, R"({"layer": "top", "position": "top", "height": 30,)"
                         R"( "modules-right": ["tray"], "tray": {"icon-size": 22, "spacing": 4}})");
    m_Started = StartBus()
        && StartHelper("sway", AsUser({"sway", "-c", swayConfig.string()}), CompositorUp)
        && (!options.tray || StartHelper("waybar", AsUser({"waybar", "-c", barConfig.string()}), TrayUp))
        && (!options.pointer
            || StartHelper("pointer",
                           {(BinFolder() / "wayland-pointer").string(), std::to_string(ScreenWidth),
                            std::to_string(ScreenHeight), "hold"},
                           PointerUp));
    if (!m_Started)
        StopAll();
}

WaylandSession::~WaylandSession()
{
    StopAll();
}

bool WaylandSession::StartBus()
{
    // The user has no account, which the usual credential check needs; the socket lies in
    // the user's own runtime folder, so an anonymous bus lets in only who can reach that.
    const fs::path config = m_Folder / "bus.conf";
    const fs::path socket = m_Runtime / "bus";
    WriteFile(config, "<busconfig><type>session</type><listen>unix:path=" + socket.string()
                          + "</listen><auth>ANONYMOUS</auth><allow_anonymous/>"
                            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
    SetVariable("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + socket.string());
    return StartHelper("dbus-daemon", AsUser({"dbus-daemon", "--config-file=" + config.string(), "--nofork"}),
                       BusUp);
}

void WaylandSession::SetVariable(const std::string& name, const std::string& value)
{
    m_Variables.push_back(std::make_unique<ScopedVariable>(name, value));
}

bool WaylandSession::StartHelper(const std::string& name, const std::vector<std::string>& argv, bool (*ready)())
{
    const auto up = [&](pid_t pid) {
        if (name == "sway") {
            // Known once sway runs: its sockets are named after the user and its process id.
            const auto socket = WaylandSocket(m_Runtime);
            if (!socket)
                return false;
            if (!std::getenv("SWAYSOCK")) {
                SetVariable("WAYLAND_DISPLAY", *socket);
                SetVariable("SWAYSOCK", (m_Runtime / ("sway-ipc." + std::to_string(User) + "."
                                                                   + std::to_string(pid) + ".sock"))
                                                         .string());
            }
        }
        return ready();
    };
    m_Error = StartSessionHelper(m_Helpers, name, argv, LogOf(name), up, kStartTimeout);
    return m_Error.empty();
}

void WaylandSession::StopAll()
{
    for (auto helper = m_Helpers.rbegin(); helper != m_Helpers.rend(); ++helper)
        EndHelper(helper->pid, kStopGrace);
    m_Helpers.clear();
    // Newest first, so a variable set twice gets its first value back.
    while (!m_Variables.empty())
        m_Variables.pop_back();
    if (m_SavedDisplay)
        ::setenv("DISPLAY", m_SavedDisplay->c_str(), 1);
    m_SavedDisplay.reset();
}

fs::path WaylandSession::LogOf(const std::string& name) const
{
    return m_Folder / (name + ".log");
}

std::vector<std::string> WaylandSession::AsUser(const std::vector<std::string>& argv)
{
    std::vector<std::string> all{"setpriv", "--reuid=" + std::to_string(User), "--regid=" + std::to_string(User),
                                 "--clear-groups", "--pdeathsig=SIGKILL", "--"};
    all.insert(all.end(), argv.begin(), argv.end());
    return all;
}

bool WaylandSession::GiveToUser(const fs::path& folder)
{
    if (::lchown(folder.c_str(), User, User) != 0)
        return false;
    std::error_code error;
    for (auto entry = fs::recursive_directory_iterator(folder, error); !error && entry != fs::recursive_directory_iterator();
         entry.increment(error)) {
        if (::lchown(entry->path().c_str(), User, User) != 0)
            return false;
    }
    return !error;
}

std::string WaylandSession::Describe() const
{
    std::string text;
    for (const char* name : {"dbus-daemon", "sway", "waybar", "pointer", "tools"})
        text += std::string("\n--- ") + name + ".log\n" + ReadFile(LogOf(name));
    return text;
}

std::optional<std::string> SwayTree()
{
    return Tool({"swaymsg", "-r", "-t", "get_tree"});
}

bool SwayScreenshot(const fs::path& png)
{
    return Tool({"grim", png.string()}).has_value() && fs::exists(png);
}

std::optional<std::string> SessionBusCall(const std::string& destination, const std::string& path,
                                          const std::string& method, const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv{"gdbus", "call", "--session", "--dest", destination,
                                  "--object-path", path, "--method", method};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return Tool(argv);
}

bool SwayClick(int x, int y)
{
    return Tool({(BinFolder() / "wayland-pointer").string(), std::to_string(WaylandSession::ScreenWidth),
                 std::to_string(WaylandSession::ScreenHeight), "move", std::to_string(x), std::to_string(y), "press",
                 "release"})
        .has_value();
}

bool SwayKey(const std::string& key)
{
    // wtype's keyboard joins the seat for this one key; the pause lets the focused program
    // bind it before the key comes (a key it missed is simply not seen: callers try again).
    return Tool({"wtype", "-s", "200", "-k", key}).has_value();
}

bool SwayInputAvailable()
{
    return ::access((BinFolder() / "wayland-pointer").c_str(), X_OK) == 0 && OnPath("wtype");
}

} // namespace testsupport
