#include "ChildProgram.h"
#include "TestSupport.h"
#include "XSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace std::chrono_literals;
using namespace testsupport;
using testing::Contains;

// The display every whole-program test runs on: it comes up with a window manager, a
// compositor and a tray, a program's window can be found, measured and seen on the screen, and
// the session leaves nothing behind.
namespace {

XSession::Options Everything()
{
    return {.wm = true, .compositor = true, .tray = true};
}

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "(unset)";
}

bool Dark(const Rgb& c)
{
    return c.red + c.green + c.blue < 3 * 96;
}

bool Light(const Rgb& c)
{
    return c.red + c.green + c.blue > 3 * 192;
}

TEST(XSession, ComesUpWithManagerCompositorAndTrayAndLeavesNothingBehind)
{
    const std::string display = Variable("DISPLAY");
    const std::string platform = Variable("QT_QPA_PLATFORM");
    ::setenv("DISPLAY", ":4242", 1);
    std::filesystem::path serverSocket;
    {
        XSession session(Everything());
        ASSERT_TRUE(session.Started()) << session.Error();
        EXPECT_EQ(Variable("DISPLAY"), session.Display());
        EXPECT_EQ(Variable("QT_QPA_PLATFORM"), "xcb");
        serverSocket = "/tmp/.X11-unix/X" + session.Display().substr(1);
        EXPECT_TRUE(std::filesystem::exists(serverSocket));

        // The tray hugs the bottom-right corner of the screen.
        const auto trays = FindWindowsByClass("trayer");
        ASSERT_EQ(trays.size(), 1u);
        const auto tray = WindowGeometry(trays.front());
        ASSERT_TRUE(tray.has_value());
        EXPECT_EQ(tray->y + tray->height, XSession::ScreenHeight);
        EXPECT_EQ(tray->x + tray->width, XSession::ScreenWidth);
        EXPECT_EQ(tray->height, 32);
        EXPECT_TRUE(IsViewable(trays.front()));
        EXPECT_THAT(WindowTypes(trays.front()), Contains("_NET_WM_WINDOW_TYPE_DOCK"));

        // With no root picture set the compositor paints the desktop grey; without it the
        // server's root would be black.
        EXPECT_EQ(ScreenPixel(600, 300), (Rgb{128, 128, 128}));
    }
    EXPECT_EQ(Variable("DISPLAY"), ":4242");
    EXPECT_EQ(Variable("QT_QPA_PLATFORM"), platform);
    // The server removes its socket only when it ends by SIGTERM, not when killed.
    EXPECT_FALSE(std::filesystem::exists(serverSocket));
    if (display == "(unset)")
        ::unsetenv("DISPLAY");
    else
        ::setenv("DISPLAY", display.c_str(), 1);
}

TEST(XSession, FindsMeasuresAndSeesAProgramWindow)
{
    XSession session(Everything());
    ASSERT_TRUE(session.Started()) << session.Error();
    ChildProgram gallery(BinFolder() / "kitgallery", {}, Root() / "kitgallery.log");
    ASSERT_TRUE(gallery.Started());
    const auto window = WaitForWindow("TOLV control kit", 120s);
    ASSERT_TRUE(window.has_value()) << gallery.Log();

    EXPECT_TRUE(IsViewable(*window));
    EXPECT_TRUE(FindWindows("TOLV Control Kit").empty()) << "a caption must match exactly";
    EXPECT_THAT(FindWindows("TOLV control kit", WindowSearch::Any), Contains(*window));
    // The gallery asks for 920 x 660 at (40, 40); the frameless window gets it as it is.
    const auto rect = WindowGeometry(*window);
    ASSERT_TRUE(rect.has_value());
    EXPECT_EQ(*rect, (ScreenRect{40, 40, 920, 660}));
    EXPECT_THAT(WindowTypes(*window), Contains("_NET_WM_WINDOW_TYPE_NORMAL"));
    EXPECT_THAT(WindowStates(*window), testing::Not(Contains("_NET_WM_STATE_ABOVE")));
    EXPECT_TRUE(WaitUntil([&] { return FocusedWindow() == window; }, 10s))
        << "a new window takes the focus";

    // The picture reached the screen: a dark header band over a light body, in the window's
    // rectangle, once the program has painted and the compositor has composed.
    const auto header = [&] { return ScreenPixel(rect->x + 880, rect->y + 22).value_or(Rgb{}); };
    const auto body = [&] { return ScreenPixel(rect->x + 880, rect->y + 640).value_or(Rgb{}); };
    EXPECT_TRUE(WaitUntil([&] { return Light(body()); }, 30s)) << gallery.Log();
    const Rgb dark = header();
    EXPECT_TRUE(Dark(dark) && dark != Rgb{}) << dark.red << "," << dark.green << "," << dark.blue;

    const auto shot = Root() / "gallery.png";
    ASSERT_TRUE(SaveScreenshot(shot, *rect));
    EXPECT_EQ(ReadFile(shot).substr(0, 8), "\x89PNG\r\n\x1a\n");
    const auto image = ScreenImage::Capture(*rect);
    ASSERT_TRUE(image.has_value());
    ASSERT_EQ(image->Width(), 920);
    ASSERT_EQ(image->Height(), 660);
    EXPECT_EQ(image->Pixel(880, 640), body());
    EXPECT_EQ(image->Pixel(880, 22), header());

    ASSERT_TRUE(gallery.Signal(SIGTERM));
    ASSERT_TRUE(gallery.Wait(30s).has_value());
    EXPECT_TRUE(FindWindows("TOLV control kit", WindowSearch::Any).empty());
}

} // namespace
