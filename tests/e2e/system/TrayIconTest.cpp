#include "ProgramRun.h"
#include "TestSupport.h"
#include "XSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace std::chrono_literals;
using namespace systeme2e;
using testsupport::FindWindowsByClass;
using testsupport::IsViewable;
using testsupport::ScreenRect;
using testsupport::WaitUntil;
using testsupport::WindowGeometry;
using testsupport::XSession;
using testsupport::XWindowId;

// The program in the notification area of an X tray (trayer): a hidden start stays hidden, a
// left click on the icon brings the window back, staying on top, at its place (after the
// hidden start and after minimising to the tray), and the icon's menu ends the program with
// the watchdog off and the switch stored.
namespace {

constexpr int kLeft = 1;
constexpr int kRight = 3;
// The minimise button's centre, in window pixels.
constexpr int kMinimizeX = 384;
constexpr int kMinimizeY = 14;

bool Inside(const ScreenRect& inner, const ScreenRect& outer)
{
    return inner.x >= outer.x && inner.y >= outer.y
        && inner.x + inner.width <= outer.x + outer.width
        && inner.y + inner.height <= outer.y + outer.height;
}

// A visible window of the program lying inside the tray's panel: the embedded icon.
std::optional<ScreenRect> TrayIcon()
{
    const auto trays = FindWindowsByClass("trayer");
    const auto panel = trays.size() == 1 ? WindowGeometry(trays.front()) : std::nullopt;
    if (!panel)
        return std::nullopt;
    for (XWindowId window : FindWindowsByClass(kProgramClass)) {
        const auto rect = WindowGeometry(window);
        if (rect && Inside(*rect, *panel))
            return rect;
    }
    return std::nullopt;
}

// Qt names every untitled window after the program (the embedded icon, its hidden helper
// windows), so the caption alone is not enough: the main window is the largest of them.
std::optional<XWindowId> MainWindow()
{
    return testsupport::LargestWindow(kCaption);
}

bool MainWindowViewable()
{
    const auto window = MainWindow();
    return window && IsViewable(*window);
}

bool StaysOnTop(XWindowId window)
{
    const auto states = testsupport::WindowStates(window);
    return std::find(states.begin(), states.end(), "_NET_WM_STATE_ABOVE") != states.end();
}

// What the window manager says about the window, for failure messages.
std::string Describe(XWindowId window)
{
    std::string text = IsViewable(window) ? "\nwindow viewable" : "\nwindow not viewable";
    text += ", states:";
    for (const auto& state : testsupport::WindowStates(window))
        text += " " + state;
    return text;
}

bool ClickIcon(const ScreenRect& icon, int button)
{
    return testsupport::Click(icon.x + icon.width / 2, icon.y + icon.height / 2, button);
}

// A visible window of the program that was not there before: the icon's menu.
std::optional<XWindowId> NewWindow(const std::vector<XWindowId>& before)
{
    for (XWindowId window : FindWindowsByClass(kProgramClass)) {
        if (std::find(before.begin(), before.end(), window) == before.end())
            return window;
    }
    return std::nullopt;
}

TEST(TrayIcon, ClickRestoresTheHiddenOrMinimisedWindowAndExitEndsTheProgram)
{
    XSession session(XSession::Options{.wm = true, .compositor = false, .tray = true});
    ASSERT_TRUE(session.Started()) << session.Error();
    const auto noSystemBus = NoSystemBus();
    ProgramRun program(Settings{.lastState = kMarkOn});
    ASSERT_TRUE(program.Start({"-h"}));
    ASSERT_TRUE(program.WaitUntilSettled()) << program.Describe();
    std::optional<ScreenRect> icon;
    ASSERT_TRUE(WaitUntil([&] { return (icon = TrayIcon()).has_value(); }, kWait))
        << "no icon of the program in the tray" << program.Describe();
    EXPECT_TRUE(program.TraceHasLineStarting("No sleep or shutdown events:")) << program.Describe();

    // Hidden start with a tray: no window until the icon is clicked. A press on the icon that
    // ends elsewhere is no click: neither button opens anything.
    EXPECT_FALSE(MainWindowViewable());
    const auto beforePresses = FindWindowsByClass(kProgramClass);
    for (int button : {kLeft, kRight}) {
        ASSERT_TRUE(testsupport::MousePress(icon->x + icon->width / 2, icon->y + icon->height / 2, button));
        ASSERT_TRUE(testsupport::MouseRelease(XSession::ScreenWidth / 2, XSession::ScreenHeight / 2, button));
    }
    EXPECT_FALSE(WaitUntil([&] { return MainWindowViewable() || NewWindow(beforePresses).has_value(); }, 2s))
        << "a press that ended off the icon opened something" << program.Describe();
    ASSERT_TRUE(ClickIcon(*icon, kLeft));
    ASSERT_TRUE(WaitUntil(MainWindowViewable, kWait)) << program.Describe();
    const auto window = MainWindow();
    const auto shown = WindowGeometry(*window);
    ASSERT_TRUE(shown.has_value());
    EXPECT_TRUE(WaitUntil([&] { return StaysOnTop(*window); }, kWait)) << Describe(*window);

    // Minimised to the tray and back, to the same place; the watchdog stays on throughout.
    ASSERT_TRUE(testsupport::Click(shown->x + kMinimizeX, shown->y + kMinimizeY));
    ASSERT_TRUE(WaitUntil([&] { return !IsViewable(*window); }, kWait))
        << Describe(*window) << program.Describe();
    ASSERT_TRUE(ClickIcon(*icon, kLeft));
    ASSERT_TRUE(WaitUntil([&] { return IsViewable(*window); }, kWait))
        << Describe(*window) << program.Describe();
    EXPECT_EQ(WindowGeometry(*window), shown);
    EXPECT_TRUE(WaitUntil([&] { return StaysOnTop(*window); }, kWait))
        << "the window came back without staying on top" << Describe(*window);
    EXPECT_TRUE(program.Armed());

    // The menu: a new window of the program, its one item "Exit" at the top.
    ASSERT_TRUE(program.WriteLastState(kStateOff)); // Exit must store the switch, not keep this
    const auto before = FindWindowsByClass(kProgramClass);
    ASSERT_TRUE(ClickIcon(*icon, kRight));
    std::optional<XWindowId> menu;
    ASSERT_TRUE(WaitUntil([&] { return (menu = NewWindow(before)).has_value(); }, kWait))
        << "a right click opened no menu" << program.Describe();
    EXPECT_THAT(testsupport::WindowTypes(*menu),
                testing::Contains(testing::AnyOf("_NET_WM_WINDOW_TYPE_NORMAL",
                                                 "_NET_WM_WINDOW_TYPE_POPUP_MENU")));
    const auto items = WindowGeometry(*menu);
    ASSERT_TRUE(items.has_value());
    EXPECT_TRUE(program.Running()) << "opening the menu must not choose from it";
    // The first item fills the menu's top row.
    const int itemX = items->x + items->width / 2;
    const int itemY = items->y + std::min(items->height / 2, 12);
    ASSERT_TRUE(testsupport::Click(itemX, itemY));

    const auto exit = program.WaitForExit(kWait);
    ASSERT_TRUE(exit.has_value()) << "Exit did not end the program" << program.Describe();
    EXPECT_TRUE(exit->exited && exit->code == 0)
        << "code " << exit->code << ", signal " << exit->signal << program.Describe();
    EXPECT_TRUE(program.Disarmed()) << program.Describe();
    EXPECT_EQ(program.LastState(), kStateOn) << "Exit stores the switch: on";
    EXPECT_FALSE(TrayIcon().has_value()) << "the icon leaves the tray with the program";
}

} // namespace
