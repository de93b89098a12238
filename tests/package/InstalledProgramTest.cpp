#include "ChildProgram.h"
#include "PackageSupport.h"
#include "PrivateBus.h"
#include "TestSupport.h"
#include "XSession.h"

#include "SimState.h"
#include "system/WinRegistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The program as the package installs it, unpacked into the case's root (which is also its
// machine root), started through the installed command on a private display and the simulated
// firmware.
namespace {

using namespace packagetest;
using namespace std::chrono_literals;
using testsupport::ChildProgram;
using testsupport::ScopedVariable;
using testsupport::WaitUntil;
using testsupport::XSession;

constexpr const char* kSettingsKey = "Software\\TOLV\\TOLV Watchdog Timer";
// The release program starts fast; the machine is shared.
constexpr auto kStartWait = 60s;
constexpr auto kWait = 10s;

// Window pixels of the controls a person clicks.
struct Point {
    int x;
    int y;
};
constexpr Point kSwitch{343, 41};
constexpr Point kClose{404, 14};
constexpr Point kStartupMark{88, 460};
constexpr Point kBodyBackground{20, 300};

class InstalledProgram : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ExtractPackage(m_Root));
        std::filesystem::create_directories(m_Sim);
        m_Session = std::make_unique<XSession>(XSession::Options{.wm = true});
        ASSERT_TRUE(m_Session->Started()) << m_Session->Error();
    }

    std::unique_ptr<ChildProgram> Start()
    {
        auto program = std::make_unique<ChildProgram>(m_Root / "usr/bin/tolv-watchdog-timer",
                                                      std::vector<std::string>{},
                                                      m_Root / "program.log");
        EXPECT_TRUE(program->Started());
        return program;
    }

    // The window's place on the screen once it shows the skin's light body.
    std::optional<testsupport::ScreenRect> ShownWindow() const
    {
        const auto window = testsupport::WaitForWindow(kCaption, kStartWait);
        if (!window)
            return std::nullopt;
        std::optional<testsupport::ScreenRect> rect;
        const bool painted = WaitUntil(
            [&] {
                rect = testsupport::WindowGeometry(*window);
                const auto pixel = rect ? testsupport::ScreenPixel(rect->x + kBodyBackground.x,
                                                                   rect->y + kBodyBackground.y)
                                        : std::nullopt;
                return pixel && pixel->red + pixel->green + pixel->blue > 3 * 192;
            },
            kWait);
        return painted ? rect : std::nullopt;
    }

    static bool ClickAt(const testsupport::ScreenRect& window, Point p)
    {
        return testsupport::Click(window.x + p.x, window.y + p.y);
    }

    std::optional<tlacpi::SimState> Firmware() const
    {
        return tlacpi::ReadSimState(m_Sim / tlacpi::SimStateFileName);
    }
    bool ArmedWith(std::uint32_t timeout) const
    {
        const auto state = Firmware();
        return state && state->armed && state->timeout == timeout;
    }
    bool Disarmed() const
    {
        const auto state = Firmware();
        return state && !state->armed;
    }

    static std::optional<std::uint32_t> Stored(const char* name)
    {
        RegistryKey key;
        std::uint32_t value = 0;
        if (!key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting) || !key.ReadDword(name, value))
            return std::nullopt;
        return value;
    }

    std::string Report() const
    {
        return "--- firmware:\n" + testsupport::ReadFile(m_Sim / tlacpi::SimStateFileName)
            + "--- trace log:\n"
            + testsupport::ReadFile(m_Root / "var/lib/TOLV/TolvWatchDogTimer/trace.log")
            + "--- program output:\n" + testsupport::ReadFile(m_Root / "program.log");
    }

    const std::filesystem::path m_Root = testsupport::Root();
    const std::filesystem::path m_Sim = m_Root / "sim";
    ScopedVariable m_Firmware{"TLACPI_FIRMWARE", "sim:" + m_Sim.string()};
    // No bus reaches the program: the direct backend drives the firmware.
    ScopedVariable m_NoSessionBus{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (m_Root / "none").string()};
    ScopedVariable m_NoSystemBus{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (m_Root / "none").string()};
    std::unique_ptr<XSession> m_Session;
};

// The command of an autostart entry's Exec line and its arguments (quoted words unquoted).
std::vector<std::string> ExecWords(const std::string& entry)
{
    const auto at = entry.find("\nExec=");
    if (at == std::string::npos)
        return {};
    const auto start = at + 6;
    const std::string line = entry.substr(start, entry.find('\n', start) - start);
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool any = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == '\\' && quoted && i + 1 < line.size()) {
            word += line[++i];
        } else if (c == ' ' && !quoted) {
            if (any || !word.empty())
                words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
        }
    }
    if (any || !word.empty())
        words.push_back(word);
    return words;
}

TEST_F(InstalledProgram, FindsItsPartsArmsDisarmsAndRegistersTheInstalledCommandAtLogOn)
{
    auto program = Start();
    // The skin comes from the program folder behind the command's link.
    const auto window = ShownWindow();
    ASSERT_TRUE(window.has_value()) << Report();
    EXPECT_EQ(window->width, 424);
    EXPECT_EQ(window->height, 544);

    // The firmware library beside the program drives the simulated firmware.
    ASSERT_TRUE(ClickAt(*window, kSwitch));
    ASSERT_TRUE(WaitUntil([&] { return ArmedWith(60); }, kWait)) << Report();
    // The switch is stored once the firmware has taken it.
    EXPECT_TRUE(WaitUntil([&] { return Stored("LAST_STATE") == 15u; }, kWait)) << Report();

    // The task helpers beside the program write the autostart entry for the installed program
    // (the box takes clicks while the watchdog is on).
    const auto entry = m_Root / "etc/xdg/autostart/TOLV-WatchDog-Timer.desktop";
    ASSERT_TRUE(ClickAt(*window, kStartupMark));
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(entry); }, kWait)) << Report();
    const std::vector<std::string> words = ExecWords(testsupport::ReadFile(entry));
    ASSERT_FALSE(words.empty()) << testsupport::ReadFile(entry);
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::equivalent(words.front(),
                                            m_Root / kProgramFolder / "TolvWatchDogTimer", ec))
        << words.front();
    EXPECT_THAT(std::vector<std::string>(words.begin() + 1, words.end()), testing::ElementsAre("-h"));

    ASSERT_TRUE(ClickAt(*window, kSwitch));
    ASSERT_TRUE(WaitUntil([&] { return Disarmed(); }, kWait)) << Report();
    EXPECT_TRUE(WaitUntil([&] { return Stored("LAST_STATE") == 0u; }, kWait)) << Report();

    ASSERT_TRUE(ClickAt(*window, kClose));
    const auto end = program->Wait(30s);
    ASSERT_TRUE(end.has_value()) << Report();
    EXPECT_TRUE(end->exited && end->code == 0) << Report();
    EXPECT_TRUE(Disarmed()) << Report();
}

// The package's prerm asks every running copy to close through TolvCloseRequest before the
// program is removed or replaced: the copy ends with the firmware switched off.
TEST_F(InstalledProgram, ThePrermClosesTheRunningCopyWithTheWatchdogSwitchedOff)
{
    {
        RegistryKey key;
        ASSERT_TRUE(key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing));
        ASSERT_TRUE(key.WriteDword("LAST_STATE", 15));
        ASSERT_TRUE(key.WriteDword("REBOOT_TIME", 30));
        ASSERT_TRUE(key.WriteDword("RESET_TIME", 20));
    }
    auto program = Start();
    // The window listens for messages once it is shown.
    ASSERT_TRUE(ShownWindow().has_value()) << Report();
    ASSERT_TRUE(WaitUntil([&] { return ArmedWith(30); }, kWait)) << Report();

    const CommandResult closed = RunMaintainerScript(m_Root, "prerm", "upgrade");
    EXPECT_EQ(closed.status, 0) << closed.output;
    EXPECT_THAT(closed.output, testing::HasSubstr("asked 1 running copy to close"));
    // The script returns once the copy no longer answers; the process ends right after.
    const auto end = program->Wait(30s);
    ASSERT_TRUE(end.has_value()) << Report();
    EXPECT_TRUE(end->exited && end->code == 0) << Report();
    EXPECT_TRUE(Disarmed()) << Report();
    EXPECT_EQ(Stored("LAST_STATE"), 15u) << "the next start must switch the watchdog on again";

    // With no copy running the script has nothing to ask.
    const CommandResult idle = RunMaintainerScript(m_Root, "prerm", "remove");
    EXPECT_EQ(idle.status, 0) << idle.output;
    EXPECT_EQ(idle.output, "");
}

} // namespace
