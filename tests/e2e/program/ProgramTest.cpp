#include "ChildProgram.h"
#include "PrivateBus.h"
#include "TestSupport.h"
#include "SimulatedMachine.h"
#include "XSession.h"

#include "SimState.h"
#include "platform/Paths.h"
#include "platform/WindowMessages.h"
#include "system/WinRegistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace std::chrono_literals;
using namespace testsupport;
using testing::Contains;

// The real program on a private display and the simulated firmware, driven with the mouse as a
// person drives it. Each case does several checks in one run of the program; what a case saw
// when a check failed is in its report (store, firmware state, trace log, program output).
namespace {

constexpr const char* kCaption = "TOLV Watchdog Timer";
constexpr const char* kSettingsKey = "Software\\TOLV\\TOLV Watchdog Timer";
constexpr const char* kSettingsFile =
    "var/lib/tolv/registry/HKEY_LOCAL_MACHINE/Software/TOLV/TOLV Watchdog Timer.reg";

// Starting a sanitized Qt program on a busy machine can take long; a good run does not wait.
constexpr auto kStartTimeout = 60s;
constexpr auto kActTimeout = 10s;
constexpr auto kEndTimeout = 30s;

// The window takes the background picture's size and is centred on the 1280 x 800 screen.
constexpr ScreenRect kCentred{(XSession::ScreenWidth - 424) / 2,
                              (XSession::ScreenHeight - 544) / 2, 424, 544};

// Window pixels: control centres, areas whose look tells a state, and background pixels.
struct Point {
    int x = 0;
    int y = 0;
};
constexpr Point kSwitch{343, 41};
constexpr Point kClose{404, 14};
constexpr Point kApply{354, 514};
constexpr Point kRestartUp{274, 152};
constexpr Point kHeaderBackground{200, 20};
constexpr Point kBodyBackground{20, 300};
constexpr ScreenRect kApplyArea{304, 501, 100, 26};
constexpr ScreenRect kRestartNumberArea{170, 125, 85, 80};
// On the line of the focus mark, 3 pixels above the restart field's slider.
constexpr Point kRestartFieldMark{42, 187};

struct Setting {
    const char* name;
    std::uint32_t value;
};

bool Light(const Rgb& c)
{
    return c.red + c.green + c.blue > 3 * 192;
}

bool SamePixels(const std::optional<ScreenImage>& a, const std::optional<ScreenImage>& b)
{
    if (!a || !b || a->Width() != b->Width() || a->Height() != b->Height())
        return false;
    for (int y = 0; y < a->Height(); ++y) {
        for (int x = 0; x < a->Width(); ++x) {
            if (a->Pixel(x, y) != b->Pixel(x, y))
                return false;
        }
    }
    return true;
}

bool Near(const ScreenRect& actual, const ScreenRect& expected, int slack)
{
    return std::abs(actual.x - expected.x) <= slack && std::abs(actual.y - expected.y) <= slack
        && actual.width == expected.width && actual.height == expected.height;
}

class ProgramE2E : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_Sim);
        m_Session = std::make_unique<XSession>(
            XSession::Options{.wm = true, .compositor = true, .tray = WithTray()});
        ASSERT_TRUE(m_Session->Started()) << m_Session->Error();
    }

    virtual bool WithTray() const { return true; }

    std::unique_ptr<ChildProgram> StartProgram(const std::vector<std::string>& arguments = {})
    {
        const auto log = Root() / ("program-" + std::to_string(++m_Starts) + ".log");
        auto program = std::make_unique<ChildProgram>(BinFolder() / "TolvWatchDogTimer",
                                                      arguments, log);
        EXPECT_TRUE(program->Started());
        m_LastLog = log;
        return program;
    }

    // SIGTERM ends the session for the program: it closes the watchdog, says so in the trace
    // log and ends with status 0.
    void Terminate(ChildProgram& program)
    {
        ASSERT_TRUE(program.Signal(SIGTERM));
        ExpectCleanExit(program);
        const std::string trace = Trace();
        EXPECT_NE(trace.find(" Main UI shut down\n"), std::string::npos) << Report();
        EXPECT_NE(trace.find(" Main UI Message.Result = 0;\n"), std::string::npos) << Report();
        EXPECT_FALSE(Armed()) << Report();
    }

    void ExpectCleanExit(ChildProgram& program)
    {
        const auto end = program.Wait(kEndTimeout);
        ASSERT_TRUE(end.has_value()) << "still running\n" << Report();
        EXPECT_TRUE(end->exited) << "signal " << end->signal << "\n" << Report();
        EXPECT_EQ(end->code, 0) << Report();
    }

    std::optional<tlacpi::SimState> Firmware() const
    {
        return tlacpi::ReadSimState(m_Sim / tlacpi::SimStateFileName);
    }
    bool Armed() const
    {
        const auto state = Firmware();
        return state && state->armed;
    }
    bool ArmedWith(std::uint32_t timeout) const
    {
        const auto state = Firmware();
        return state && state->armed && state->timeout == timeout;
    }

    static std::optional<std::uint32_t> Stored(const char* name)
    {
        RegistryKey key;
        std::uint32_t value = 0;
        if (!key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting)
            || !key.ReadDword(name, value))
            return std::nullopt;
        return value;
    }
    static void Store(std::initializer_list<Setting> settings)
    {
        RegistryKey key;
        ASSERT_TRUE(key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing));
        for (const Setting& setting : settings)
            ASSERT_TRUE(key.WriteDword(setting.name, setting.value)) << setting.name;
        key.Flush();
    }

    static std::string Trace()
    {
        return ReadFile(platform::CommonAppDataFolder() / "TOLV/TolvWatchDogTimer/trace.log");
    }

    std::string Report() const
    {
        return "--- store:\n" + ReadFile(Root() / kSettingsFile) + "--- firmware:\n"
            + ReadFile(m_Sim / tlacpi::SimStateFileName) + "--- trace log:\n" + Trace()
            + "--- program output:\n" + ReadFile(m_LastLog);
    }

    // The main window once it is viewable, measured, and showing its composed picture.
    std::optional<std::pair<XWindowId, ScreenRect>> ShownWindow()
    {
        const auto window = WaitForWindow(kCaption, kStartTimeout);
        if (!window)
            return std::nullopt;
        std::optional<ScreenRect> rect;
        const bool painted = WaitUntil(
            [&] {
                rect = WindowGeometry(*window);
                return rect && Light(ScreenPixel(rect->x + kBodyBackground.x,
                                                 rect->y + kBodyBackground.y)
                                         .value_or(Rgb{}));
            },
            kActTimeout);
        if (!painted)
            return std::nullopt;
        return std::make_pair(*window, *rect);
    }

    static bool ClickAt(const ScreenRect& window, Point p)
    {
        return Click(window.x + p.x, window.y + p.y);
    }
    static std::optional<ScreenImage> Capture(const ScreenRect& window, const ScreenRect& area)
    {
        return ScreenImage::Capture(
            ScreenRect{window.x + area.x, window.y + area.y, area.width, area.height});
    }

    // Drags with the given button from a window pixel by (dx, dy) in small steps, each step
    // waiting for the window manager to follow while it does, and releases there.
    static void Drag(const ScreenRect& window, Point from, int dx, int dy, int button)
    {
        const int x = window.x + from.x;
        const int y = window.y + from.y;
        ASSERT_TRUE(MousePress(x, y, button));
        constexpr int kSteps = 5;
        for (int step = 1; step <= kSteps; ++step) {
            const int toX = x + dx * step / kSteps;
            const int toY = y + dy * step / kSteps;
            ASSERT_TRUE(MouseMove(toX, toY));
        }
        ASSERT_TRUE(MouseRelease(x + dx, y + dy, button));
    }

    const SimulatedMachine m_Machine;
    const std::filesystem::path m_Sim = m_Machine.sim;
    std::unique_ptr<XSession> m_Session;
    std::filesystem::path m_LastLog;
    int m_Starts = 0;
};

TEST_F(ProgramE2E, FirstStartIsOffThenTheUserArmsRetimesClosesAndTheNextStartArmsAgain)
{
    auto program = StartProgram();
    const auto shown = ShownWindow();
    ASSERT_TRUE(shown.has_value()) << Report();
    const auto [window, rect] = *shown;

    // A frameless tool window at exactly the picture's size, centred, above the others and
    // without a taskbar entry.
    EXPECT_EQ(rect, kCentred) << DescribeRect(rect);
    EXPECT_TRUE(WaitUntil([&] { return !WindowStates(window).empty(); }, kActTimeout));
    const auto states = WindowStates(window);
    EXPECT_THAT(states, Contains("_NET_WM_STATE_ABOVE"));
    const bool skipsTaskbar = std::find(states.begin(), states.end(),
                                        "_NET_WM_STATE_SKIP_TASKBAR") != states.end();
    const auto types = WindowTypes(window);
    const bool utility = std::find(types.begin(), types.end(), "_NET_WM_WINDOW_TYPE_UTILITY")
        != types.end();
    EXPECT_TRUE(skipsTaskbar || utility) << "a taskbar would list the window";

    // No stored settings: the watchdog stays off, the key holds only LAST_STATE 0.
    EXPECT_EQ(Stored("LAST_STATE"), 0u) << Report();
    EXPECT_EQ(Stored("REBOOT_TIME"), std::nullopt) << Report();
    EXPECT_EQ(Stored("RESET_TIME"), std::nullopt) << Report();
    EXPECT_FALSE(Armed()) << Report();
    const auto offNumber = Capture(rect, kRestartNumberArea);
    const auto offApply = Capture(rect, kApplyArea);

    // The switch arms the firmware with the shown times and stores them.
    ASSERT_TRUE(ClickAt(rect, kSwitch));
    ASSERT_TRUE(WaitUntil([&] { return ArmedWith(60); }, kActTimeout)) << Report();
    // The settings are stored once the firmware has taken the switch.
    EXPECT_TRUE(WaitUntil([&] { return Stored("LAST_STATE") == 15u; }, kActTimeout)) << Report();
    EXPECT_EQ(Stored("REBOOT_TIME"), 60u) << Report();
    EXPECT_EQ(Stored("RESET_TIME"), 40u) << Report();
    // The fields light up; Apply stays disabled, nothing is waiting to be applied.
    ASSERT_TRUE(WaitUntil([&] { return !SamePixels(Capture(rect, kRestartNumberArea), offNumber); },
                          kActTimeout));
    const auto onNumber = Capture(rect, kRestartNumberArea);
    const auto onApply = Capture(rect, kApplyArea);
    EXPECT_TRUE(SamePixels(onApply, offApply)) << "Apply looks enabled after switching on";

    // One step up: the number and Apply change on screen, the store and firmware wait for Apply.
    ASSERT_TRUE(ClickAt(rect, kRestartUp));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return !SamePixels(Capture(rect, kRestartNumberArea), onNumber)
                && !SamePixels(Capture(rect, kApplyArea), onApply);
        },
        kActTimeout))
        << "the restart number or Apply did not change";
    EXPECT_EQ(Stored("REBOOT_TIME"), 60u) << Report();
    EXPECT_TRUE(ArmedWith(60)) << Report();

    ASSERT_TRUE(ClickAt(rect, kApply));
    EXPECT_TRUE(WaitUntil([&] { return Stored("REBOOT_TIME") == 61u && ArmedWith(61); },
                          kActTimeout))
        << Report();
    EXPECT_EQ(Stored("RESET_TIME"), 40u) << Report();
    EXPECT_EQ(Stored("LAST_STATE"), 15u) << Report();
    EXPECT_TRUE(WaitUntil([&] { return SamePixels(Capture(rect, kApplyArea), onApply); },
                          kActTimeout))
        << "Apply is still enabled after applying";

    // The close button disarms and ends the program; the stored choice stays on.
    ASSERT_TRUE(ClickAt(rect, kClose));
    ExpectCleanExit(*program);
    EXPECT_FALSE(Armed()) << Report();
    EXPECT_EQ(Stored("LAST_STATE"), 15u) << Report();
    EXPECT_EQ(Stored("REBOOT_TIME"), 61u) << Report();
    EXPECT_TRUE(FindWindows(kCaption, WindowSearch::Any).empty());

    // The next start takes the stored times up without a click.
    auto again = StartProgram();
    EXPECT_TRUE(WaitUntil([&] { return ArmedWith(61); }, kStartTimeout)) << Report();
    EXPECT_TRUE(ShownWindow().has_value()) << Report();
    Terminate(*again);
    EXPECT_EQ(Stored("LAST_STATE"), 15u) << "the end of the session must not store off";
}

TEST_F(ProgramE2E, KicksKeepTheCountdownFromRunningOutUntilTheSessionEnds)
{
    Store({{"LAST_STATE", 15}, {"REBOOT_TIME", 10}, {"RESET_TIME", 5}});
    auto program = StartProgram();
    ASSERT_TRUE(WaitUntil([&] { return ArmedWith(10); }, kStartTimeout)) << Report();
    const std::uint64_t firstWrites = Firmware()->writes;

    // Watched at every look for 12 s: always armed with 10 s, never left to run out.
    std::uint64_t writes = firstWrites;
    std::string timeline;
    std::int64_t lastWritten = -1;
    const bool ranOut = WaitUntil(
        [&] {
            const auto state = Firmware();
            if (!state || !state->armed || state->timeout != 10)
                return true;
            if (state->writtenMs != lastWritten) {
                timeline += " " + std::to_string(state->writtenMs);
                lastWritten = state->writtenMs;
            }
            writes = state->writes;
            return tlacpi::MonotonicMs() - state->writtenMs >= 10000;
        },
        12s);
    EXPECT_FALSE(ranOut) << "kicks at" << timeline << "\n" << Report();
    EXPECT_GE(writes, firstWrites + 2) << "kicks at" << timeline;

    Terminate(*program);
}

TEST_F(ProgramE2E, ASecondCopyEndsAtOnceAndTheFirstKeepsRunning)
{
    Store({{"LAST_STATE", 15}, {"REBOOT_TIME", 60}, {"RESET_TIME", 40}});
    auto first = StartProgram();
    ASSERT_TRUE(ShownWindow().has_value()) << Report();
    ASSERT_TRUE(WaitUntil([&] { return ArmedWith(60); }, kActTimeout)) << Report();

    auto second = StartProgram();
    ExpectCleanExit(*second);
    EXPECT_EQ(FindWindows(kCaption).size(), 1u);
    EXPECT_FALSE(first->Wait(0ms).has_value()) << "the first copy ended";
    EXPECT_TRUE(ArmedWith(60)) << "the second copy touched the watchdog\n" << Report();

    // Once the first has ended the machine is free for a new copy.
    Terminate(*first);
    auto third = StartProgram();
    EXPECT_TRUE(ShownWindow().has_value()) << Report();
    EXPECT_TRUE(WaitUntil([&] { return ArmedWith(60); }, kActTimeout)) << Report();
    Terminate(*third);
}

TEST_F(ProgramE2E, HiddenStartShowsNoWindowWhileTheTrayHoldsTheIcon)
{
    Store({{"LAST_STATE", 15}, {"REBOOT_TIME", 60}, {"RESET_TIME", 40}});
    for (const char* hidden : {"-h", "-H"}) {
        SCOPED_TRACE(hidden);
        auto program = StartProgram({hidden});
        // The window listens for messages from the end of its creation on.
        ASSERT_TRUE(WaitUntil([] { return platform::FindWindow("TMainForm", kCaption).has_value(); },
                              kStartTimeout))
            << Report();
        EXPECT_TRUE(ArmedWith(60)) << "a hidden start still runs the watchdog\n" << Report();
        EXPECT_FALSE(WaitUntil([] { return !FindWindows(kCaption).empty(); }, 3s)) << Report();
        EXPECT_FALSE(program->Wait(0ms).has_value()) << Report();
        Terminate(*program);
    }

    // Only '-' introduces the switch.
    auto shown = StartProgram({"/h"});
    EXPECT_TRUE(ShownWindow().has_value()) << Report();
    Terminate(*shown);
}

class ProgramE2EWithoutTray : public ProgramE2E {
protected:
    bool WithTray() const override { return false; }
};

TEST_F(ProgramE2EWithoutTray, HiddenStartShowsTheWindowSoTheProgramStaysReachable)
{
    auto program = StartProgram({"-h"});
    EXPECT_TRUE(ShownWindow().has_value()) << Report();
    Terminate(*program);
}

TEST_F(ProgramE2E, TheLeftButtonDragsTheWindowByItsBackgroundAndTheRightDoesNot)
{
    auto program = StartProgram();
    const auto shown = ShownWindow();
    ASSERT_TRUE(shown.has_value()) << Report();
    const auto [window, start] = *shown;
    const auto geometry = [window = window] { return WindowGeometry(window); };

    Drag(start, kHeaderBackground, 100, 60, 3);
    EXPECT_EQ(geometry(), start) << "moved by the right button: " << DescribeRect(geometry());

    // The header's background, then the body's background, moves it there and back. Had the
    // right-button drag moved it, the presses would miss the places measured from the start.
    const ScreenRect moved{start.x + 100, start.y + 60, start.width, start.height};
    Drag(start, kHeaderBackground, 100, 60, 1);
    EXPECT_TRUE(WaitUntil([&] { return Near(geometry().value_or(ScreenRect{}), moved, 3); },
                          kActTimeout))
        << DescribeRect(geometry());
    Drag(geometry().value_or(moved), kBodyBackground, -100, -60, 1);
    EXPECT_TRUE(WaitUntil([&] { return Near(geometry().value_or(ScreenRect{}), start, 3); },
                          kActTimeout))
        << DescribeRect(geometry());

    Terminate(*program);
}

TEST_F(ProgramE2E, AClickWithoutMotionAndAPressOnADisabledControlLeaveTheWindowInPlace)
{
    auto program = StartProgram();
    const auto shown = ShownWindow();
    ASSERT_TRUE(shown.has_value()) << Report();
    const auto [window, start] = *shown;
    const auto geometry = [window = window] { return WindowGeometry(window); };

    // A tap on the background, then the pointer wanders off with no button held: a window
    // that followed it would be on the move now.
    const int x = start.x + kHeaderBackground.x;
    const int y = start.y + kHeaderBackground.y;
    ASSERT_TRUE(Tap(x, y));
    ASSERT_TRUE(MouseMove(x + 50, y + 30));
    ASSERT_TRUE(MouseMove(x + 100, y + 60));
    // A drag that begins on Apply, disabled while the watchdog is off.
    ASSERT_FALSE(Armed()) << Report();
    Drag(start, kApply, -100, -60, 1);
    EXPECT_FALSE(WaitUntil([&] { return geometry() != start; }, 2s))
        << "the window moved to " << DescribeRect(geometry());

    // The next click reaches the switch.
    ASSERT_TRUE(ClickAt(start, kSwitch));
    EXPECT_TRUE(WaitUntil([&] { return ArmedWith(60); }, kActTimeout)) << Report();
    EXPECT_EQ(geometry(), start) << DescribeRect(geometry());
    Terminate(*program);
}

// The keyboard alone, in one run: each row's keys go to the focused window, and its outcome
// shows in the firmware, the store or on the screen.
TEST_F(ProgramE2E, TheKeyboardAloneWalksTheControlsEditsAppliesSwitchesOffAndMinimises)
{
    Store({{"LAST_STATE", 15}, {"REBOOT_TIME", 60}, {"RESET_TIME", 40}});
    auto program = StartProgram();
    const auto shown = ShownWindow();
    ASSERT_TRUE(shown.has_value()) << Report();
    const auto [window, rect] = *shown;
    ASSERT_TRUE(WaitUntil([&] { return ArmedWith(60); }, kActTimeout)) << Report();
    ASSERT_TRUE(WaitUntil([&, window = window] { return FocusedWindow() == window; }, kActTimeout))
        << "the window did not take the keyboard";

    const auto blue = [&, rect = rect](Point p) {
        const Rgb c = ScreenPixel(rect.x + p.x, rect.y + p.y).value_or(Rgb{});
        return c.blue > c.red + 60;
    };
    ASSERT_FALSE(blue(kRestartFieldMark)) << "a focus mark before any key";
    struct Row {
        const char* what;
        std::vector<std::string> keys;
        std::function<bool()> outcome;
    };
    const Row rows[] = {
        {"Tab from the switch marks the restart field", {"Tab"}, [&] { return blue(kRestartFieldMark); }},
        {"Up and Return apply 61 s", {"Up", "Return"},
         [&] { return ArmedWith(61) && Stored("REBOOT_TIME") == 61u && Stored("RESET_TIME") == 40u; }},
        {"two Page Downs pull the reload time along, Return applies both", {"Next", "Next", "Return"},
         [&] { return ArmedWith(41) && Stored("REBOOT_TIME") == 41u && Stored("RESET_TIME") == 36u; }},
        {"five Tabs (reload, box, minimise, close; Apply is off) reach the switch, Space turns it off",
         {"Tab", "Tab", "Tab", "Tab", "Tab", "space"},
         [&] { return !Armed() && Stored("LAST_STATE") == 0u; }},
        {"Escape minimises to the tray", {"Escape"}, [&, window = window] { return !IsViewable(window); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (const std::string& key : row.keys)
            ASSERT_TRUE(KeyPress(key));
        EXPECT_TRUE(WaitUntil(row.outcome, kActTimeout)) << Report();
    }
    EXPECT_FALSE(program->Wait(0ms).has_value()) << Report();
    Terminate(*program);
}

} // namespace
