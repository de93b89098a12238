#include "ProgramRun.h"
#include "TestSupport.h"
#include "XSession.h"

#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace systeme2e;
using testsupport::WaitUntil;

// "Launch on startup" for an ordinary member of the program's group (a numeric user played
// through setpriv, with the machine folders as the package makes them): the system-wide
// autostart folder is root's, so the box writes and removes the member's own entry, and when an
// administrator's system-wide entry keeps starting the program the box says so.
namespace {

namespace fs = std::filesystem;

constexpr gid_t kGroup = 61000; // stands for tolv-watchdog
constexpr uid_t kMember = 61001;
constexpr const char* kFile = "TOLV-WatchDog-Timer.desktop";
// The box's centre, in window pixels.
constexpr int kBoxX = 88;
constexpr int kBoxY = 460;

void Share(const fs::path& folder, mode_t mode)
{
    fs::create_directories(folder);
    ASSERT_EQ(::chown(folder.c_str(), 0, kGroup), 0);
    ASSERT_EQ(::chmod(folder.c_str(), mode), 0);
}

bool Exists(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::size_t CaptionWindows()
{
    return testsupport::FindWindows(kCaption).size();
}

TEST(LaunchOnStartup, AMemberTicksAndUnticksTheirOwnEntryAndHearsOfTheSystemWideOne)
{
    if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "acting as a member needs root and /usr/bin/setpriv; the member's "
                        "autostart did not run";
    testsupport::XSession session(
        testsupport::XSession::Options{.wm = true, .compositor = true, .tray = false});
    ASSERT_TRUE(session.Started()) << session.Error();
    const auto noSystemBus = NoSystemBus();
    const fs::path root = testsupport::Root();
    ASSERT_EQ(::chmod(root.c_str(), 0755), 0);
    Share(platform::RegistryFolder(), 02770);
    Share(platform::CommonAppDataFolder() / "TOLV/TolvWatchDogTimer", 02770);
    Share(platform::RuntimeFolder(), 03770);
    fs::create_directories(platform::AutostartFolder()); // root's, as on the machine
    const fs::path home = root / "home";
    fs::create_directories(home);
    ASSERT_EQ(::chown(home.c_str(), kMember, kGroup), 0);
    ASSERT_EQ(::chmod(home.c_str(), 0700), 0);
    testsupport::ScopedVariable homeVariable("HOME", home.string());
    ::unsetenv("XDG_CONFIG_HOME");
    const fs::path own = home / ".config/autostart" / kFile;
    const fs::path machine = platform::AutostartFolder() / kFile;

    // On: with the watchdog off the box is disabled, as the fields are.
    ProgramRun program(Settings{});
    ASSERT_TRUE(program.Seed());
    ASSERT_EQ(::chown((root / "sim").c_str(), kMember, kGroup), 0);
    ASSERT_TRUE(program.StartThrough({"/usr/bin/setpriv", "--reuid=" + std::to_string(kMember),
                                      "--regid=" + std::to_string(kGroup), "--clear-groups"}));
    ASSERT_TRUE(program.WaitUntilSettled()) << program.Describe();
    std::optional<testsupport::ScreenRect> rect;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto window = testsupport::LargestWindow(kCaption);
            if (!window || !testsupport::IsViewable(*window)
                || !(rect = testsupport::WindowGeometry(*window)))
                return false;
            // Painted: the body's light background shows left of the box.
            const auto pixel = testsupport::ScreenPixel(rect->x + 40, rect->y + 300);
            return pixel && pixel->red + pixel->green + pixel->blue > 3 * 192;
        },
        kStartWait))
        << program.Describe();
    const auto clickBox = [&] { return testsupport::Click(rect->x + kBoxX, rect->y + kBoxY); };


    // Ticked: the member's own entry, theirs, starting the program hidden; nothing system-wide.
    ASSERT_TRUE(clickBox());
    ASSERT_TRUE(WaitUntil([&] { return Exists(own); }, kWait)) << program.Describe();
    struct stat info {};
    ASSERT_EQ(::lstat(own.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kMember);
    EXPECT_NE(testsupport::ReadFile(own).find("TolvWatchDogTimer\" -h\n"), std::string::npos)
        << testsupport::ReadFile(own);
    EXPECT_FALSE(Exists(machine));

    // Unticked: gone again, and no message.
    ASSERT_TRUE(clickBox());
    ASSERT_TRUE(WaitUntil([&] { return !Exists(own); }, kWait)) << program.Describe();
    const std::size_t windows = CaptionWindows();

    // An administrator adds the system-wide entry. Ticked and unticked again, the member's entry
    // comes and goes, the system-wide one stays, and a message says so.
    testsupport::WriteFile(machine, "[Desktop Entry]\nType=Application\nExec=/p -h\n");
    ASSERT_TRUE(clickBox());
    ASSERT_TRUE(WaitUntil([&] { return Exists(own); }, kWait)) << program.Describe();
    ASSERT_TRUE(clickBox());
    ASSERT_TRUE(WaitUntil([&] { return !Exists(own); }, kWait)) << program.Describe();
    EXPECT_TRUE(Exists(machine));
    EXPECT_TRUE(WaitUntil([&] { return CaptionWindows() > windows; }, kWait))
        << "no message that the system-wide entry stays" << program.Describe();
    (void)testsupport::KeyPress("Return"); // closes the message; the end follows anyway

    ASSERT_TRUE(program.Signal(SIGTERM));
    const auto end = program.WaitForExit(kWait);
    EXPECT_TRUE(end && end->exited) << program.Describe();
}

} // namespace
