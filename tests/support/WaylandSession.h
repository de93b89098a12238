#pragma once

#include "SessionTools.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "PrivateBus.h"

// A private Wayland desktop for whole-program tests: sway on its headless backend (one output
// of 1280 x 800 pixels, software rendering, no input devices), a session bus of its own and,
// optionally, waybar with its tray module as the StatusNotifier host. sway refuses to run as
// root, so the session runs as an unprivileged user (a numeric id; no account needed) through
// setpriv, in a runtime folder of its own (0700) under TOLV_ROOT. While the session lives,
// WAYLAND_DISPLAY, XDG_RUNTIME_DIR, SWAYSOCK and DBUS_SESSION_BUS_ADDRESS point at it,
// QT_QPA_PLATFORM is "wayland" and DISPLAY is unset, so the tools a test runs and the programs
// it starts (through AsUser) use it; all are restored afterwards. The destructor ends the
// helpers by their ids in reverse order; declare the programs under test after the session.
namespace testsupport {

class WaylandSession {
public:
    struct Options {
        bool tray = true;
        // A pointer on the seat from the start, for SwayClick (the session has no devices).
        bool pointer = false;
    };
    static constexpr uid_t User = 61300;
    static constexpr int ScreenWidth = 1280;
    static constexpr int ScreenHeight = 800;
    // The desktop's colour where no window is, as 0xRRGGBB.
    static constexpr unsigned Background = 0x204060;

    // Empty when a session can run here; otherwise why not (not root, a program missing).
    static std::string Unavailable();

    explicit WaylandSession(const Options& options);
    ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // False when a part could not be started or did not come up; Error() says which and why.
    bool Started() const { return m_Started; }
    const std::string& Error() const { return m_Error; }

    // The argument vector that runs argv as the session's user, in the test's environment.
    static std::vector<std::string> AsUser(const std::vector<std::string>& argv);
    // Hands a folder and everything in it to the session's user (what the test prepared as
    // root, such as the settings store under TOLV_ROOT).
    static bool GiveToUser(const std::filesystem::path& folder);

    // The helpers' logs, for failure messages.
    std::string Describe() const;

private:
    using Helper = SessionHelper;

    bool StartHelper(const std::string& name, const std::vector<std::string>& argv, bool (*ready)());
    void SetVariable(const std::string& name, const std::string& value);
    bool StartBus();
    void StopAll();
    std::filesystem::path LogOf(const std::string& name) const;

    std::filesystem::path m_Folder;
    std::filesystem::path m_Runtime;
    std::vector<Helper> m_Helpers;
    std::vector<std::unique_ptr<ScopedVariable>> m_Variables;
    std::optional<std::string> m_SavedDisplay;
    bool m_Started = false;
    std::string m_Error;
};

// The tools below talk to the session that lives now (through the variables it set).

// swaymsg -t get_tree: the compositor's tree as JSON; no value when it failed.
std::optional<std::string> SwayTree();
// grim: the whole output, as composed, written to a PNG file.
bool SwayScreenshot(const std::filesystem::path& png);
// gdbus call on the session bus: the reply as gdbus prints it (GVariant text); no value when
// the call failed.
std::optional<std::string> SessionBusCall(const std::string& destination, const std::string& path,
                                          const std::string& method,
                                          const std::vector<std::string>& arguments = {});

// A left click at an output pixel, through a virtual pointer (the session has no input
// devices); false when the build has no pointer tool or the click failed.
bool SwayClick(int x, int y);
// A key as a person types it, by its keysym name ("Return"), through a virtual keyboard that
// lives for this key only: a program may miss it, so wait for its effect and try again.
bool SwayKey(const std::string& key);
// Whether the build's pointer tool and wtype are there for SwayClick and SwayKey.
bool SwayInputAvailable();

} // namespace testsupport
