#pragma once

#include "SessionTools.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// A private X display for whole-program tests, and the X tools a test drives it with.
namespace testsupport {

// Xvfb on a free display number (1280 x 800, 24 bits), optionally with a window manager
// (openbox), a compositing manager (xcompmgr, with shadows) and an XEmbed tray (trayer). Each
// helper is a child of the test, its output logged under TOLV_ROOT/xsession/, and started only
// once the one before it is really up. While the session lives DISPLAY points at it and
// QT_QPA_PLATFORM is "xcb", so the programs a test starts show real windows; both are restored
// afterwards. The destructor ends the helpers by their ids in reverse order (SIGTERM, then
// SIGKILL after a grace period); declare the programs under test after the session, so they
// end before their display does.
class XSession {
public:
    static constexpr int ScreenWidth = 1280;
    static constexpr int ScreenHeight = 800;
    struct Options {
        bool wm = true;
        bool compositor = false;
        bool tray = false;
        // The screen's size, and the edge of the screen the tray's panel keeps for itself
        // ("bottom", "top", "left", "right"; the window manager leaves it out of the work area).
        int width = ScreenWidth;
        int height = ScreenHeight;
        const char* trayEdge = "bottom";
        // Strips along the left and top edges that the window manager keeps out of the work
        // area, as it does for panels and for a screen beside the primary one.
        int reservedLeft = 0;
        int reservedTop = 0;
    };

    XSession();
    explicit XSession(const Options& options);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // False when a part could not be started or did not come up; Error() says which and why.
    bool Started() const { return m_Started; }
    const std::string& Error() const { return m_Error; }
    // ":N"
    const std::string& Display() const { return m_Display; }

private:
    using Helper = SessionHelper;

    bool StartServer(int width, int height);
    std::filesystem::path WindowManagerConfig(const Options& options) const;
    bool StartHelper(const std::string& name, const std::vector<std::string>& argv,
                     bool (*ready)());
    void StopAll();
    std::filesystem::path LogOf(const std::string& name) const;
    void SetEnvironment();
    void RestoreEnvironment();

    std::filesystem::path m_Folder;
    std::vector<Helper> m_Helpers;
    int m_ServerOutput = -1; // kept open: the server must never write into a closed pipe
    bool m_Started = false;
    std::string m_Error;
    std::string m_Display;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_SavedVariables;
};

// X window ids as the tools print them (decimal or 0x... hexadecimal).
using XWindowId = unsigned long;

// A rectangle in screen pixels; x, y is the top-left pixel.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ScreenRect&) const = default;
};

// "WIDTHxHEIGHT+X+Y", as X tools print a geometry; "(no geometry)" for none.
std::string DescribeRect(const std::optional<ScreenRect>& rect);

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb&) const = default;
};

// The tools below talk to the display in DISPLAY (the session's while one lives). Each runs
// one of xdotool, xprop, xwininfo or import with an argument vector; their complaints go to
// TOLV_ROOT/xsession/tools.log.

enum class WindowSearch { VisibleOnly, Any };

// Top-level and other windows whose name (WM_NAME or _NET_WM_NAME) is exactly name.
std::vector<XWindowId> FindWindows(const std::string& name,
                                   WindowSearch which = WindowSearch::VisibleOnly);
// The largest of the windows named name: the program's window, where Qt gives its helper windows
// (the tray icon's, a hidden 1x1 one) the program's name too.
std::optional<XWindowId> LargestWindow(const std::string& name,
                                       WindowSearch which = WindowSearch::Any);
// Windows whose WM_CLASS class (second part) is windowClass, ignoring case.
std::vector<XWindowId> FindWindowsByClass(const std::string& windowClass,
                                          WindowSearch which = WindowSearch::VisibleOnly);
// The first window named name, once there is one.
std::optional<XWindowId> WaitForWindow(const std::string& name, std::chrono::milliseconds timeout,
                                       WindowSearch which = WindowSearch::VisibleOnly);

std::string WindowName(XWindowId window);
// Where the window's inside is on the screen (absolute, without the manager's frame).
std::optional<ScreenRect> WindowGeometry(XWindowId window);
// Mapped, and all its ancestors mapped: the window can be seen.
bool IsViewable(XWindowId window);
// The atoms of an ATOM-list property of the window; empty when it is not set.
std::vector<std::string> WindowAtoms(XWindowId window, const std::string& property);
// _NET_WM_STATE (e.g. _NET_WM_STATE_ABOVE, _NET_WM_STATE_SKIP_TASKBAR): kept by the manager.
std::vector<std::string> WindowStates(XWindowId window);
// _NET_WM_WINDOW_TYPE (e.g. _NET_WM_WINDOW_TYPE_UTILITY): set by the program.
std::vector<std::string> WindowTypes(XWindowId window);
// The client window that has the keyboard focus.
std::optional<XWindowId> FocusedWindow();

// Pointer and keyboard input as a person gives it, at absolute screen coordinates. Buttons are
// X's: 1 left, 2 middle, 3 right. Each answers false when the tool failed.
bool MouseMove(int x, int y);
bool MousePress(int x, int y, int button = 1);
bool MouseRelease(int x, int y, int button = 1);
bool Click(int x, int y, int button = 1);
// A press and release with no time between them, as a touchpad's tap sends them.
bool Tap(int x, int y, int button = 1);
// A key or chord by X keysym names: "Return", "space", "Escape", "ctrl+a".
bool KeyPress(const std::string& keys);

// The screen (or a part of it) as a person sees it, compositing included.
class ScreenImage {
public:
    static std::optional<ScreenImage> Capture(std::optional<ScreenRect> area = std::nullopt);

    int Width() const { return m_Width; }
    int Height() const { return m_Height; }
    // x, y relative to the captured area's top-left; black outside it.
    Rgb Pixel(int x, int y) const;

private:
    int m_Width = 0;
    int m_Height = 0;
    std::vector<std::uint8_t> m_Rgb;
};

// Writes the screen, or a part of it, to a PNG file.
bool SaveScreenshot(const std::filesystem::path& png,
                    std::optional<ScreenRect> area = std::nullopt);
std::optional<Rgb> ScreenPixel(int x, int y);

} // namespace testsupport
