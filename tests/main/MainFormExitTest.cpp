// The ways out of the program while the watchdog cannot be switched off (nowayout, or a driver
// that refuses to stop), on the direct backend over a fake firmware whose driver takes
// countdowns up to 600 s: where the user asks, the program stays and kicks on; where it must
// end, it leaves the longest countdown the driver takes.

#include "MainFormFixture.h"

#include "../watchdog/WatchDogTestSupport.h"
#include "gui/controls/GsExtraCtrl.h"
#include "main/InvisibleForm.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <ostream>

namespace {

using testing::HasSubstr;

constexpr const char* kNoWayOut =
    "Watchdog device /dev/watchdog cannot be switched off (nowayout is set); it stays armed";
// A stored state the program never writes: still there afterwards, nothing was stored.
constexpr std::uint32_t kMarkOn = 1;

class UnswitchableWatchdog : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        m_Firmware.SetRefuseOff(true);
        tolv::SetLastFirmwareErrorForTesting(kNoWayOut);
        m_Recording = ExchangeWatchDogControlForTesting(&m_Control);
        WriteDword("LAST_STATE", 15);
        WriteDword("REBOOT_TIME", 60);
        WriteDword("RESET_TIME", 40);
        Create();
        ASSERT_TRUE(m_Control.IsRunning());
        WriteDword("LAST_STATE", kMarkOn);
    }
    void TearDown() override
    {
        (void)ExchangeWatchDogControlForTesting(m_Recording);
        MainFormTest::TearDown();
        tolv::SetLastFirmwareErrorForTesting("");
    }

    std::uint32_t LongestWritten() const
    {
        const auto values = m_Firmware.WatchdogValues();
        return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
    }

    testsupport::FakeFirmware m_Firmware;
    watchdogtest::CountdownLimit m_Limit{600};
    WatchDogControl m_Control;
    CWatchDogControl* m_Recording = nullptr;
};

// The close button, the tray's Exit, the window manager's close.
struct StayRow {
    const char* name;
    bool trayHoldsIcon;
    std::function<void(TMainForm&, TInvisibleForm&)> quit;
    bool shownAfterwards;
    friend void PrintTo(const StayRow& row, std::ostream* out) { *out << row.name; }
};

const StayRow kStayRows[] = {
    {"TheCloseButtonWithoutATray", false, [](TMainForm& form, TInvisibleForm&) { form.OnCloseClick(nullptr); }, true},
    {"TheTraysExitHidesToTheTray", true, [](TMainForm&, TInvisibleForm& tray) { tray.Exit().Click(); }, false},
    {"TheWindowManagersClose", false, [](TMainForm& form, TInvisibleForm&) { form.Close(); }, true},
};

class QuittingIsRefused : public UnswitchableWatchdog, public testing::WithParamInterface<StayRow> {};

TEST_P(QuittingIsRefused, TheProgramStaysKickingAndTellsTheUser)
{
    const StayRow& row = GetParam();
    TInvisibleForm tray(*form);
    form->TrayHoldsIcon = [&] { return row.trayHoldsIcon; };
    form->Show();
    row.quit(*form, tray);

    EXPECT_FALSE(framework::Application::Instance()->Terminated());
    EXPECT_TRUE(m_Control.IsRunning());
    ASSERT_NE(m_Control.KickThread(), nullptr);
    EXPECT_NE(m_Control.KickThread()->CurrentActivity(), WatchDogThread::Activity::Ended);
    EXPECT_EQ(form->Visible(), row.shownAfterwards);
    EXPECT_TRUE(form->Switch()->Checked());
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(m_Boxes[0].caption, "TOLV Watchdog Timer");
    EXPECT_THAT(m_Boxes[0].text, HasSubstr("the machine would restart"));
    EXPECT_THAT(m_Boxes[0].text, HasSubstr(kNoWayOut));
    EXPECT_EQ(ReadDword("LAST_STATE"), kMarkOn) << "nothing is stored";
    EXPECT_EQ(LongestWritten(), 60u) << "the countdown was changed";
}

INSTANTIATE_TEST_SUITE_P(MainForm, QuittingIsRefused, testing::ValuesIn(kStayRows),
                         [](const auto& info) { return std::string(info.param.name); });

// A close request (message 2044) and the end of the session: the program ends all the same.
struct EndRow {
    const char* name;
    std::function<void(TMainForm&)> end;
    friend void PrintTo(const EndRow& row, std::ostream* out) { *out << row.name; }
};

const EndRow kEndRows[] = {
    {"TheCloseRequest", [](TMainForm& form) { form.WMCloseRequest(); }},
    {"TheEndOfTheSession", [](TMainForm& form) { form.OnPowerEvent(platform::PowerEvent::SessionEnd); }},
};

class MustEnd : public UnswitchableWatchdog, public testing::WithParamInterface<EndRow> {};

TEST_P(MustEnd, LeavesTheLongestCountdownTheDriverTakesAndSaysSo)
{
    GetParam().end(*form);

    EXPECT_TRUE(framework::Application::Instance()->Terminated());
    EXPECT_EQ(m_Control.KickThread(), nullptr) << "a kick could put the short countdown back";
    ASSERT_FALSE(m_Firmware.WatchdogValues().empty());
    EXPECT_EQ(m_Firmware.WatchdogValues().back(), 600u);
    EXPECT_THAT(TraceLines(), testing::Contains(
        "The program ends with a watchdog that cannot be switched off: its countdown was set to "
        "600 s, the longest it takes; the machine restarts when it runs out"));
    EXPECT_TRUE(m_Boxes.empty()) << m_Boxes[0].text;
    EXPECT_EQ(ReadDword("LAST_STATE"), kMarkOn) << "nothing is stored";
}

INSTANTIATE_TEST_SUITE_P(MainForm, MustEnd, testing::ValuesIn(kEndRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
