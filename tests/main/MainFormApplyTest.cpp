// What the user does to a running watchdog (the switch, Apply, "Launch on startup") and the
// service-window model's confirmation and lock-out.

#include "MainFormFixture.h"
#include "TestSupport.h"

#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/GsLabel.h"
#include "gui/controls/TolvScrollBar.h"
#include "platform/Paths.h"
#include "system/autostart.h"

namespace {

using Calls = std::vector<std::string>;
enum Arrow { RebootUp = 0, RebootDown = 1 };

class ApplyFlow : public MainFormTest {
protected:
    void StartOn(bool wmi, std::uint32_t restart, std::uint32_t reload)
    {
        if (wmi)
            WriteDword("Model Type WMI", 5);
        WriteDword("LAST_STATE", 15);
        WriteDword("REBOOT_TIME", restart);
        WriteDword("RESET_TIME", reload);
        Create();
        form->SetExitEnabled = [this](bool enabled) { exitEnabled = enabled; };
        control.calls.clear();
    }
    void Step(int arrow, int times)
    {
        for (int i = 0; i < times; ++i)
            form->ArrowButton(arrow)->Click();
    }
    // Which of the window's controls are enabled, in list order, as a string of 0 and 1.
    std::string EnabledMap() const
    {
        std::string map;
        for (framework::BaseControl* control : form->Controls())
            map += control->Enabled() ? '1' : '0';
        return map;
    }

    bool exitEnabled = true;
};

} // namespace

TEST_F(ApplyFlow, ApplyClosesRetimesAndStartsInThatOrder)
{
    StartOn(false, 60, 40);
    Step(RebootUp, 30);
    EXPECT_TRUE(form->ApplyButton()->Enabled());
    form->ApplyButton()->Click();
    EXPECT_EQ(control.calls, (Calls{"Close", "SetTime(90,40)", "Start"}));
    EXPECT_EQ(ReadDword("REBOOT_TIME"), 90u);
    EXPECT_EQ(ReadDword("LAST_STATE"), 15u);
    EXPECT_FALSE(form->ApplyButton()->Enabled());
    EXPECT_EQ(form->ScaleLabel(5)->Caption(), "85");
    EXPECT_EQ(form->ScaleLabel(4)->Caption(), "45");
    EXPECT_TRUE(m_Boxes.empty());
}

TEST_F(ApplyFlow, ARefusedNewCountdownKeepsTheRunningTimes)
{
    StartOn(false, 60, 40);
    Step(RebootUp, 5);
    control.failure = "Watchdog device /dev/watchdog refused a countdown of 65 s: Invalid argument";
    form->ApplyButton()->Click();
    EXPECT_EQ(control.calls, (Calls{"Close", "SetTime(65,40)", "Start"}));
    EXPECT_EQ(form->RebootSlider()->Position(), 60);
    EXPECT_EQ(form->RebootLabel()->Caption(), "60");
    EXPECT_EQ(ReadDword("REBOOT_TIME"), 60u);
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_NE(m_Boxes[0].text.find("refused a countdown of 65 s"), std::string::npos);
}

TEST_F(ApplyFlow, ServiceModelCancelPutsTheSlidersBackAndSendsNothing)
{
    StartOn(true, 200, 40);
    Step(RebootUp, 3);
    answer = platform::IDCANCEL;
    form->ApplyButton()->Click();
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(m_Boxes[0].text, "Do you want turn On/Off the Watchdog Timer function.");
    EXPECT_EQ(m_Boxes[0].caption, "TOLV Watchdog Timer");
    EXPECT_EQ(m_Boxes[0].flags & 0xF, unsigned(platform::MB_OKCANCEL));
    EXPECT_TRUE(control.calls.empty());
    EXPECT_EQ(form->RebootSlider()->Position(), 200);
    EXPECT_TRUE(form->ApplyButton()->Enabled());
    EXPECT_FALSE(form->LockTimer().Enabled());
}

TEST_F(ApplyFlow, ServiceModelSwitchOffLocksEverythingButMinimiseForNineTicks)
{
    StartOn(true, 200, 40);
    Step(RebootUp, 3); // never applied: dropped by the confirmed switch
    form->Switch()->Click();
    EXPECT_EQ(control.calls, (Calls{"Close"}));
    EXPECT_EQ(form->RebootSlider()->Position(), 200);
    EXPECT_EQ(form->RebootLabel()->Caption(), "200");
    EXPECT_EQ(ReadDword("LAST_STATE"), 0u);
    EXPECT_TRUE(form->LockTimer().Enabled());
    // Close, minimise, Apply, startup box, switch, two sliders, four arrows, the labels.
    EXPECT_EQ(EnabledMap().substr(0, 11), "01000000000");
    EXPECT_FALSE(exitEnabled);

    for (int tick = 1; tick < 9; ++tick)
        form->Timer1Timer(&form->LockTimer());
    EXPECT_TRUE(form->LockTimer().Enabled());
    EXPECT_FALSE(form->Switch()->Enabled());
    form->Timer1Timer(&form->LockTimer());
    EXPECT_FALSE(form->LockTimer().Enabled());
    EXPECT_EQ(form->LockTicks(), 0);
    EXPECT_EQ(EnabledMap().substr(0, 11), "11011000000");
    EXPECT_TRUE(exitEnabled);
}

TEST_F(ApplyFlow, ServiceModelRefusedSwitchShowsItsPreviousState)
{
    StartOn(true, 200, 40);
    answer = platform::IDCANCEL;
    form->Switch()->Click();
    EXPECT_TRUE(form->Switch()->Checked());
    EXPECT_TRUE(control.calls.empty());
    EXPECT_FALSE(form->LockTimer().Enabled());
    EXPECT_EQ(ReadDword("LAST_STATE"), 15u);
}

// The box shows what the registration tool really did.
TEST_F(ApplyFlow, LaunchOnStartupFollowsTheRegistrationTool)
{
    StartOn(false, 60, 40);
    GsBulledCheckBox* box = form->StartupCheck();
    ASSERT_FALSE(box->Checked());
    box->Click();
    EXPECT_TRUE(box->Checked());
    EXPECT_TRUE(IsAutostartTaskRegistered());
    box->Click();
    EXPECT_FALSE(box->Checked());
    EXPECT_FALSE(IsAutostartTaskRegistered());
    EXPECT_TRUE(m_Boxes.empty());

    // A file where the autostart folder belongs: the tool cannot write the entry.
    std::filesystem::remove_all(platform::AutostartFolder());
    testsupport::WriteFile(platform::AutostartFolder(), "");
    box->Click();
    EXPECT_FALSE(box->Checked());
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_NE(m_Boxes[0].text.find("could not be turned on"), std::string::npos);
}

// Unticked while a system-wide entry stays (the tool removes nothing, as for a member of the
// group, who cannot remove it): the program still starts at log-on, so the box stays ticked and
// says why.
TEST_F(ApplyFlow, UntickingWhileTheSystemWideEntryStaysKeepsTheBoxTickedAndSaysWhy)
{
    namespace fs = std::filesystem;
    const fs::path helpers = testsupport::Root() / "helpers";
    fs::create_directories(helpers);
    fs::copy_file(testsupport::BinFolder() / "libTaskProbe.so", helpers / "libTaskProbe.so");
    testsupport::WriteFile(helpers / "TaskEnroll", "#!/bin/sh\nexit 0\n");
    fs::permissions(helpers / "TaskEnroll", fs::perms::owner_all);
    const fs::path entry = platform::AutostartFolder() / "TOLV-WatchDog-Timer.desktop";
    testsupport::WriteFile(entry, "[Desktop Entry]\nType=Application\nExec=/p -h\n");
    struct HelperFolder {
        explicit HelperFolder(const fs::path& folder) { SetTaskHelperFolderForTesting(folder); }
        ~HelperFolder() { SetTaskHelperFolderForTesting({}); }
    } helperFolder(helpers);

    StartOn(false, 60, 40);
    GsBulledCheckBox* box = form->StartupCheck();
    ASSERT_TRUE(box->Checked());
    box->Click();
    EXPECT_TRUE(box->Checked());
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(m_Boxes[0].text, "Launch on startup stays on: the autostart entry " + entry.string()
                                   + " starts the program for every user of this machine, and "
                                     "only an administrator can remove it.");
}
