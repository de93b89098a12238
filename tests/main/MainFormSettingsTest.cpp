// Start-up from the store, the transitions on and off, and what the window tells the user when
// the watchdog or the store refuses.

#include "MainFormFixture.h"

#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/GsLabel.h"
#include "gui/controls/TolvScrollBar.h"
#include "platform/Paths.h"

namespace {

using Calls = std::vector<std::string>;
using Value = std::optional<std::uint32_t>;

struct StartRow {
    const char* name;
    bool wmi;
    Value lastState, reboot, reset;
    bool on;                 // the switch after start-up
    std::int32_t restart, reload;
    Calls calls;
    Value storedState, storedReboot, storedReset;
};

const StartRow kStartRows[] = {
    {"NoKey", false, {}, {}, {}, false, 60, 40, {"Close"}, 0, {}, {}},
    {"OnWithGap", false, 15, 60, 55, true, 60, 55, {"SetTime(60,55)", "Start"}, 15, 60, 55},
    {"OnBreakingTheGapComesUpOff", false, 15, 60, 56, false, 60, 55, {"Close"}, 0, 60, 56},
    {"AnyNonZeroStateIsOn", false, 7, 60, 40, true, 60, 40, {"SetTime(60,40)", "Start"}, 15, 60, 40},
    {"TimesAboveTheRangeAreClamped", false, 15, 300, 240, true, 255, 240, {"SetTime(255,240)", "Start"}, 15, 255, 240},
    {"RebootTimeMissing", false, 15, {}, 40, false, 60, 40, {"Close"}, 0, {}, 40},
    {"ResetTimeMissingCountsAsZero", false, 15, 60, {}, true, 60, 5, {"SetTime(60,5)", "Start"}, 15, 60, 5},
    {"ServiceModelClampsTheRestartTime", true, 15, 100, 40, true, 180, 40, {"SetTime(180,40)", "Start"}, 15, 180, 40},
    {"StoredOffStaysOff", false, 0, 90, 40, false, 90, 40, {"Close"}, 0, 90, 40},
    // Stored values compared as stored, without wrapping: 5 + 0xfffffffb must not read as 0.
    {"AReloadNear2To32ComesUpOff", false, 15, 5, 0xfffffffb, false, 10, 5, {"Close"}, 0, 5, 0xfffffffb},
    // Beyond the sliders' signed positions: broken, whatever the gap says.
    {"ARestartBeyondThePositionsComesUpOff", false, 15, 0x80000000, 40, false, 255, 40, {"Close"}, 0, 0x80000000, 40},
    {"BothBeyondThePositionsComeUpOff", false, 15, 0xffffffff, 0x90000000, false, 255, 250, {"Close"}, 0, 0xffffffff, 0x90000000},
};

class StartUp : public MainFormTest, public testing::WithParamInterface<StartRow> {};

} // namespace

TEST_P(StartUp, SwitchSlidersLabelsStoreAndCalls)
{
    const StartRow& row = GetParam();
    if (row.wmi)
        WriteDword("Model Type WMI", 5);
    if (row.lastState)
        WriteDword("LAST_STATE", *row.lastState);
    if (row.reboot)
        WriteDword("REBOOT_TIME", *row.reboot);
    if (row.reset)
        WriteDword("RESET_TIME", *row.reset);

    Create();

    EXPECT_EQ(form->Switch()->Checked(), row.on);
    EXPECT_EQ(form->RebootSlider()->Position(), row.restart);
    EXPECT_EQ(form->ResetSlider()->Position(), row.reload);
    EXPECT_EQ(form->RebootLabel()->Caption(), std::to_string(row.restart));
    EXPECT_EQ(form->ResetLabel()->Caption(), std::to_string(row.reload));
    EXPECT_EQ(form->ResetSlider()->Max(), row.restart - form->MinGap());
    EXPECT_EQ(form->ScaleLabel(5)->Caption(), std::to_string(row.restart - form->MinGap()));
    EXPECT_EQ(control.calls, row.calls);
    EXPECT_EQ(ReadDword("LAST_STATE"), row.storedState);
    EXPECT_EQ(ReadDword("REBOOT_TIME"), row.storedReboot);
    EXPECT_EQ(ReadDword("RESET_TIME"), row.storedReset);
    // On: everything enabled but Apply; off: only the switch and the window buttons.
    EXPECT_FALSE(form->ApplyButton()->Enabled());
    EXPECT_EQ(form->RebootSlider()->Enabled(), row.on);
    EXPECT_EQ(form->StartupCheck()->Enabled(), row.on);
    EXPECT_TRUE(form->Switch()->Enabled());
    EXPECT_TRUE(form->CloseButton()->Enabled());
    EXPECT_TRUE(form->MinimizeButton()->Enabled());
    EXPECT_TRUE(m_Boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Store, StartUp, testing::ValuesIn(kStartRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainFormTest, AStateOfAnotherTypeCountsAsMissing)
{
    WriteDword("REBOOT_TIME", 60);
    const char text[] = "15";
    platform::HKEY raw{};
    ASSERT_EQ(platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, kSettingsKey, 0,
                                      platform::KEY_ALL_ACCESS, &raw),
              platform::ERROR_SUCCESS);
    ASSERT_EQ(platform::RegSetValueExA(raw, "LAST_STATE", 0, platform::REG_SZ,
                                       reinterpret_cast<const platform::BYTE*>(text), sizeof text),
              platform::ERROR_SUCCESS);
    platform::RegCloseKey(raw);
    WriteDword("RESET_TIME", 40);

    Create();
    EXPECT_FALSE(form->Switch()->Checked());
    EXPECT_EQ(control.calls, (Calls{"Close"}));
    EXPECT_EQ(ReadDword("LAST_STATE"), 0u);
}

TEST_F(MainFormTest, TheServiceModelStartsTheServiceProgramAndWaits)
{
    WriteDword("Model Type WMI", 5);
    Create(/*hidden=*/true);
    // Hidden start: 40 s, the look for the window, 20 s; the service was not there, so it was started.
    EXPECT_EQ(waits, (std::vector<long>{40000, 20000}));
    EXPECT_EQ(started, (Calls{"TolvWdtSVR"}));
    EXPECT_EQ(form->ScaleLabel(0)->Caption(), "180");
    EXPECT_EQ(form->ScaleLabel(1)->Caption(), "217");
    EXPECT_EQ(form->ScaleLabel(2)->Caption(), "255");
    EXPECT_EQ(form->ScaleLabel(3)->Caption(), "20");
    EXPECT_EQ(form->ScaleLabel(4)->Caption(), "70");
    EXPECT_EQ(form->ScaleLabel(5)->Caption(), "120");
}

TEST_F(MainFormTest, OtherModelsNeitherWaitNorStartTheService)
{
    Create(/*hidden=*/true);
    EXPECT_TRUE(waits.empty());
    EXPECT_TRUE(started.empty());
}

// A watchdog that cannot be armed: the user is told why, the switch shows off, nothing is
// started, and the stored "on" survives for the next start.
TEST_F(MainFormTest, AFailedArmAtStartUpIsToldAndKeepsTheStoredState)
{
    WriteDword("LAST_STATE", 15);
    WriteDword("REBOOT_TIME", 60);
    WriteDword("RESET_TIME", 40);
    control.failure = "Watchdog device /dev/watchdog cannot be opened: Permission denied";

    Create();
    EXPECT_FALSE(form->Switch()->Checked());
    EXPECT_FALSE(form->RebootSlider()->Enabled());
    EXPECT_EQ(control.calls, (Calls{"SetTime(60,40)"}));
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(m_Boxes[0].caption, "TOLV Watchdog Timer");
    EXPECT_NE(m_Boxes[0].text.find("/dev/watchdog cannot be opened: Permission denied"), std::string::npos);
    EXPECT_EQ(ReadDword("LAST_STATE"), 15u);

    // Closing the window does not turn the stored choice into "off" either.
    form->OnCloseClick(nullptr);
    EXPECT_EQ(ReadDword("LAST_STATE"), 15u);
}

TEST_F(MainFormTest, AFailedArmFromTheSwitchPutsItBackOff)
{
    Create();
    control.calls.clear();
    control.failure = "Watchdog device /dev/watchdog is held by another program";
    form->Switch()->Click();
    EXPECT_FALSE(form->Switch()->Checked());
    EXPECT_EQ(control.calls, (Calls{"SetTime(60,40)"}));
    EXPECT_EQ(ReadDword("LAST_STATE"), 0u);
    EXPECT_EQ(m_Boxes.size(), 1u);

    control.failure.clear();
    form->Switch()->Click();
    EXPECT_TRUE(form->Switch()->Checked());
    EXPECT_EQ(ReadDword("LAST_STATE"), 15u);
}

// The store cannot be written: the watchdog does what was asked, and the user learns once which
// file could not be written and why.
TEST_F(MainFormTest, AnUnwritableStoreIsToldOncePerRun)
{
    // A folder where the key's file belongs: the store never writes over it, even for root.
    const auto file = platform::RegistryFolder() / "HKEY_LOCAL_MACHINE/Software/TOLV/TOLV Watchdog Timer.reg";
    std::filesystem::create_directories(file);

    Create();
    form->Switch()->Click();
    form->Switch()->Click();
    EXPECT_EQ(control.calls, (Calls{"Close", "SetTime(60,40)", "Start", "Close"}));
    EXPECT_FALSE(form->Switch()->Checked());
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_NE(m_Boxes[0].text.find(file.string() + ": "), std::string::npos) << m_Boxes[0].text;
}
