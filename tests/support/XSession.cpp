#include "XSession.h"

#include "ChildProgram.h"
#include "SessionTools.h"
#include "TestSupport.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace testsupport {
namespace {

// Generous: the machine is shared and the programs under test run with sanitizers.
constexpr auto kStartTimeout = 30s;
constexpr auto kToolTimeout = 30s;
constexpr auto kStopGrace = 5s;

std::filesystem::path SessionFolder()
{
    return Root() / "xsession";
}

// The tool's output when it succeeded; empty otherwise.
std::string ToolOutput(const std::vector<std::string>& argv)
{
    const auto result = RunTool(argv, SessionFolder() / "tools.log", kToolTimeout);
    return result && result->status == 0 ? result->output : std::string();
}

bool ToolSucceeds(const std::vector<std::string>& argv)
{
    const auto result = RunTool(argv, SessionFolder() / "tools.log", kToolTimeout);
    return result && result->status == 0;
}

std::string Hex(XWindowId window)
{
    std::ostringstream text;
    text << "0x" << std::hex << window;
    return text.str();
}

std::vector<XWindowId> ParseWindowList(const std::string& text)
{
    std::vector<XWindowId> windows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        char* end = nullptr;
        const unsigned long id = std::strtoul(line.c_str(), &end, 0);
        if (end != line.c_str() && id != 0)
            windows.push_back(id);
    }
    return windows;
}

// xdotool matches an extended regular expression, ignoring case.
std::string ExactPattern(const std::string& text)
{
    std::string pattern = "^";
    for (char c : text) {
        if (std::strchr(".^$|()[]{}*+?\\", c))
            pattern += '\\';
        pattern += c;
    }
    return pattern + "$";
}

std::vector<XWindowId> Search(const std::string& field, const std::string& value,
                              WindowSearch which)
{
    std::vector<std::string> argv{"xdotool", "search"};
    if (which == WindowSearch::VisibleOnly)
        argv.push_back("--onlyvisible");
    argv.push_back(field);
    argv.push_back(ExactPattern(value));
    return ParseWindowList(ToolOutput(argv));
}

// The value after "Key:" on the line of xwininfo's report that starts with key.
std::optional<std::string> ReportValue(const std::string& report, const std::string& key)
{
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        const auto start = line.find_first_not_of(' ');
        if (start == std::string::npos || line.compare(start, key.size() + 1, key + ":") != 0)
            continue;
        const auto value = line.find_first_not_of(' ', start + key.size() + 1);
        return value == std::string::npos ? std::string() : line.substr(value);
    }
    return std::nullopt;
}

std::optional<int> ReportNumber(const std::string& report, const std::string& key)
{
    const auto value = ReportValue(report, key);
    if (!value)
        return std::nullopt;
    char* end = nullptr;
    const long number = std::strtol(value->c_str(), &end, 10);
    if (end == value->c_str())
        return std::nullopt;
    return static_cast<int>(number);
}

std::string WindowReport(XWindowId window)
{
    return ToolOutput({"xwininfo", "-id", Hex(window)});
}

std::vector<std::string> CropArguments(const std::optional<ScreenRect>& area)
{
    std::vector<std::string> argv{"import", "-silent", "-window", "root"};
    if (area) {
        argv.push_back("-crop");
        argv.push_back(std::to_string(area->width) + "x" + std::to_string(area->height) + "+"
                       + std::to_string(area->x) + "+" + std::to_string(area->y));
        argv.push_back("+repage");
    }
    return argv;
}

// The next whitespace-separated word of a PPM header, skipping comments.
std::string HeaderWord(const std::string& data, std::size_t& at)
{
    while (at < data.size()) {
        if (data[at] == '#') {
            at = data.find('\n', at);
            if (at == std::string::npos)
                at = data.size();
        } else if (std::isspace(static_cast<unsigned char>(data[at]))) {
            ++at;
        } else {
            break;
        }
    }
    const std::size_t start = at;
    while (at < data.size() && !std::isspace(static_cast<unsigned char>(data[at])))
        ++at;
    return data.substr(start, at - start);
}

bool WindowManagerUp()
{
    return ToolOutput({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id #")
        != std::string::npos;
}

// xcompmgr names the window that owns _NET_WM_CM_S0 "xcompmgr" just before taking the
// selection, and redirects the windows right after.
bool CompositorUp()
{
    return !Search("--name", "xcompmgr", WindowSearch::Any).empty();
}

// trayer maps its panel only after it has taken _NET_SYSTEM_TRAY_S0, so a program started
// from then on finds the tray.
bool TrayUp()
{
    return !Search("--class", "trayer", WindowSearch::VisibleOnly).empty();
}

} // namespace

// ---- the session ---------------------------------------------------------------------------

XSession::XSession() : XSession(Options{}) {}

XSession::XSession(const Options& options) : m_Folder(SessionFolder())
{
    std::filesystem::create_directories(m_Folder);
    const std::vector<std::string> openbox{"openbox", "--sm-disable", "--config-file",
                                           WindowManagerConfig(options).string()};
    const std::vector<std::string> trayer{"trayer", "--edge", options.trayEdge, "--align", "right",
                                          "--widthtype", "request", "--height", "32",
                                          "--transparent", "false"};
    m_Started = StartServer(options.width, options.height)
        && (!options.wm || StartHelper("openbox", openbox, WindowManagerUp))
        && (!options.compositor || StartHelper("xcompmgr", {"xcompmgr", "-c"}, CompositorUp))
        && (!options.tray || StartHelper("trayer", trayer, TrayUp));
    if (!m_Started)
        StopAll();
}

std::filesystem::path XSession::WindowManagerConfig(const Options& options) const
{
    const auto shared = SourceFolder() / "tests/support/openbox-rc.xml";
    if (options.reservedLeft == 0 && options.reservedTop == 0)
        return shared;
    std::string config = ReadFile(shared);
    const std::string anchor = "<keyboard/>";
    const auto at = config.find(anchor);
    if (at != std::string::npos)
        config.insert(at, "<margins><left>" + std::to_string(options.reservedLeft) + "</left><top>"
                              + std::to_string(options.reservedTop) + "</top></margins>\n  ");
    const auto own = m_Folder / "openbox-rc.xml";
    WriteFile(own, config);
    return own;
}

XSession::~XSession()
{
    StopAll();
}

bool XSession::StartServer(int width, int height)
{
    int output[2];
    if (::pipe2(output, O_CLOEXEC) < 0) {
        m_Error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const int log = OpenLog(LogOf("Xvfb"));
    // With -displayfd the server takes the first free display number and writes it to the
    // descriptor once it accepts connections; -noreset keeps the state a test set up (root
    // properties, pictures) when the last client disconnects.
    const pid_t pid = SpawnTiedToParent({"Xvfb", "-displayfd", "1", "-screen", "0",
                                         std::to_string(width) + "x" + std::to_string(height)
                                             + "x24",
                                         "-nolisten", "tcp", "-noreset"},
                                        output[1], log);
    ::close(output[1]);
    if (log >= 0)
        ::close(log);
    if (pid < 0) {
        ::close(output[0]);
        m_Error = std::string("cannot start Xvfb: ") + std::strerror(errno);
        return false;
    }
    m_Helpers.push_back({"Xvfb", pid});
    m_ServerOutput = output[0];
    std::string line;
    ReadOutput(m_ServerOutput, line, kStartTimeout, true);
    char* end = nullptr;
    const long number = std::strtol(line.c_str(), &end, 10);
    if (end == line.c_str() || *end != '\n') {
        m_Error = "Xvfb reported no display number; its log:\n" + ReadFile(LogOf("Xvfb"));
        StopAll();
        return false;
    }
    m_Display = ":" + std::to_string(number);
    SetEnvironment();
    return true;
}

bool XSession::StartHelper(const std::string& name, const std::vector<std::string>& argv,
                           bool (*ready)())
{
    m_Error = StartSessionHelper(m_Helpers, name, argv, LogOf(name), [ready](pid_t) { return ready(); },
                                 kStartTimeout);
    return m_Error.empty();
}

void XSession::StopAll()
{
    for (auto helper = m_Helpers.rbegin(); helper != m_Helpers.rend(); ++helper) {
        EndHelper(helper->pid, kStopGrace);
        helper->pid = -1;
    }
    m_Helpers.clear();
    if (m_ServerOutput >= 0) {
        ::close(m_ServerOutput);
        m_ServerOutput = -1;
    }
    RestoreEnvironment();
}

std::filesystem::path XSession::LogOf(const std::string& name) const
{
    return m_Folder / (name + ".log");
}

void XSession::SetEnvironment()
{
    for (const auto& [name, value] :
         {std::pair<std::string, std::string>{"DISPLAY", m_Display}, {"QT_QPA_PLATFORM", "xcb"}}) {
        const char* saved = std::getenv(name.c_str());
        m_SavedVariables.emplace_back(name, saved ? std::optional<std::string>(saved)
                                                  : std::nullopt);
        ::setenv(name.c_str(), value.c_str(), 1);
    }
}

void XSession::RestoreEnvironment()
{
    for (const auto& [name, saved] : m_SavedVariables) {
        if (saved)
            ::setenv(name.c_str(), saved->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    m_SavedVariables.clear();
}

// ---- windows -------------------------------------------------------------------------------

std::vector<XWindowId> FindWindows(const std::string& name, WindowSearch which)
{
    // The tool ignores case; a caption must match exactly.
    std::vector<XWindowId> windows;
    for (XWindowId window : Search("--name", name, which)) {
        if (WindowName(window) == name)
            windows.push_back(window);
    }
    return windows;
}

std::optional<XWindowId> LargestWindow(const std::string& name, WindowSearch which)
{
    std::optional<XWindowId> largest;
    int largestArea = -1;
    for (XWindowId window : FindWindows(name, which)) {
        const auto rect = WindowGeometry(window);
        const int area = rect ? rect->width * rect->height : 0;
        if (area > largestArea) {
            largest = window;
            largestArea = area;
        }
    }
    return largest;
}

std::vector<XWindowId> FindWindowsByClass(const std::string& windowClass, WindowSearch which)
{
    return Search("--class", windowClass, which);
}

std::optional<XWindowId> WaitForWindow(const std::string& name, std::chrono::milliseconds timeout,
                                       WindowSearch which)
{
    std::optional<XWindowId> found;
    WaitUntil(
        [&] {
            const auto windows = FindWindows(name, which);
            if (!windows.empty())
                found = windows.front();
            return found.has_value();
        },
        timeout);
    return found;
}

std::string WindowName(XWindowId window)
{
    std::string name = ToolOutput({"xdotool", "getwindowname", std::to_string(window)});
    if (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

std::optional<ScreenRect> WindowGeometry(XWindowId window)
{
    const std::string report = WindowReport(window);
    const auto x = ReportNumber(report, "Absolute upper-left X");
    const auto y = ReportNumber(report, "Absolute upper-left Y");
    const auto width = ReportNumber(report, "Width");
    const auto height = ReportNumber(report, "Height");
    if (!x || !y || !width || !height)
        return std::nullopt;
    return ScreenRect{*x, *y, *width, *height};
}

bool IsViewable(XWindowId window)
{
    return ReportValue(WindowReport(window), "Map State") == "IsViewable";
}

std::vector<std::string> WindowAtoms(XWindowId window, const std::string& property)
{
    // "NAME(ATOM) = A, B" when set, "NAME:  not found." when not.
    const std::string output = ToolOutput({"xprop", "-id", Hex(window), property});
    const auto equals = output.find(" = ");
    std::vector<std::string> atoms;
    if (output.rfind(property + "(ATOM)", 0) != 0 || equals == std::string::npos)
        return atoms;
    std::istringstream list(output.substr(equals + 3));
    std::string atom;
    while (std::getline(list, atom, ',')) {
        const auto first = atom.find_first_not_of(" \n");
        const auto last = atom.find_last_not_of(" \n");
        if (first != std::string::npos)
            atoms.push_back(atom.substr(first, last - first + 1));
    }
    return atoms;
}

std::vector<std::string> WindowStates(XWindowId window)
{
    return WindowAtoms(window, "_NET_WM_STATE");
}

std::vector<std::string> WindowTypes(XWindowId window)
{
    return WindowAtoms(window, "_NET_WM_WINDOW_TYPE");
}

std::optional<XWindowId> FocusedWindow()
{
    const auto windows = ParseWindowList(ToolOutput({"xdotool", "getwindowfocus"}));
    if (windows.empty())
        return std::nullopt;
    return windows.front();
}

// ---- input ---------------------------------------------------------------------------------

bool MouseMove(int x, int y)
{
    return ToolSucceeds({"xdotool", "mousemove", std::to_string(x), std::to_string(y)});
}

bool MousePress(int x, int y, int button)
{
    return ToolSucceeds({"xdotool", "mousemove", std::to_string(x), std::to_string(y),
                         "mousedown", std::to_string(button)});
}

bool MouseRelease(int x, int y, int button)
{
    return ToolSucceeds({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "mouseup",
                         std::to_string(button)});
}

bool Click(int x, int y, int button)
{
    return ToolSucceeds({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click",
                         std::to_string(button)});
}

bool Tap(int x, int y, int button)
{
    return ToolSucceeds({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "mousedown",
                         std::to_string(button), "mouseup", std::to_string(button)});
}

bool KeyPress(const std::string& keys)
{
    return ToolSucceeds({"xdotool", "key", keys});
}

// ---- the screen ----------------------------------------------------------------------------

std::optional<ScreenImage> ScreenImage::Capture(std::optional<ScreenRect> area)
{
    auto argv = CropArguments(area);
    argv.insert(argv.end(), {"-depth", "8", "ppm:-"});
    const std::string data = ToolOutput(argv);
    std::size_t at = 0;
    const std::string magic = HeaderWord(data, at);
    const int width = std::atoi(HeaderWord(data, at).c_str());
    const int height = std::atoi(HeaderWord(data, at).c_str());
    const std::string maximum = HeaderWord(data, at);
    ++at; // the one whitespace byte before the samples
    const auto size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    if (magic != "P6" || maximum != "255" || width <= 0 || height <= 0 || data.size() < at + size)
        return std::nullopt;
    ScreenImage image;
    image.m_Width = width;
    image.m_Height = height;
    image.m_Rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                       data.begin() + static_cast<std::ptrdiff_t>(at + size));
    return image;
}

Rgb ScreenImage::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_Width || y >= m_Height)
        return {};
    const auto at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(m_Width)
                     + static_cast<std::size_t>(x))
        * 3;
    return {m_Rgb[at], m_Rgb[at + 1], m_Rgb[at + 2]};
}

bool SaveScreenshot(const std::filesystem::path& png, std::optional<ScreenRect> area)
{
    auto argv = CropArguments(area);
    argv.push_back("png:" + png.string());
    return ToolSucceeds(argv) && std::filesystem::exists(png);
}

std::optional<Rgb> ScreenPixel(int x, int y)
{
    const auto image = ScreenImage::Capture(ScreenRect{x, y, 1, 1});
    if (!image || image->Width() != 1 || image->Height() != 1)
        return std::nullopt;
    return image->Pixel(0, 0);
}

std::string DescribeRect(const std::optional<ScreenRect>& rect)
{
    if (!rect)
        return "(no geometry)";
    std::ostringstream text;
    text << rect->width << "x" << rect->height << "+" << rect->x << "+" << rect->y;
    return text.str();
}

} // namespace testsupport
