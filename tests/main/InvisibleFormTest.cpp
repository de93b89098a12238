// The tray's owner form: the icon's tooltip follows the watchdog, and a notice at start goes to
// the icon's balloon or, without a tray, to a message box once the event loop runs.

#include "MainFormFixture.h"
#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/GsTrayIcon.h"
#include "gui/framework/TrayIcon.h"
#include "main/InvisibleForm.h"
#include "tolv/BiosInterface.h"

#include <QCoreApplication>

namespace {

class InvisibleFormTest : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        tolv::SetWatchdogReportForTesting([this] {
            TlAcpiWatchdogReport report{};
            report.timeLeft = timeLeft;
            report.noWayOut = 0;
            return std::optional(report);
        });
    }
    void TearDown() override
    {
        tolv::SetWatchdogReportForTesting(nullptr);
        (void)framework::TrayIcon::SetHostProbe(nullptr);
        MainFormTest::TearDown();
    }

    std::int32_t timeLeft = 33;
};

TEST_F(InvisibleFormTest, TipFollowsTheSwitchTheTimesAndTheSecondsLeft)
{
    WriteDword("LAST_STATE", 15);
    WriteDword("REBOOT_TIME", 60);
    WriteDword("RESET_TIME", 40);
    Create();
    TInvisibleForm tray(*form);
    const TrayNotifyRecord& record = tray.TrayIcon().Tray().Record();
    const std::string on60 = "TOLV Watchdog Timer: on, restart after 60 s, reload every 40 s";
    EXPECT_EQ(record.tip, on60 + "\n33 s left");
    EXPECT_TRUE(tray.TipTimer().Running());

    timeLeft = 32;
    tray.TipTimer().OnTimer()(&tray.TipTimer());
    EXPECT_EQ(record.tip, on60 + "\n32 s left");

    for (int i = 0; i < 30; ++i)
        form->ArrowButton(0)->Click();
    EXPECT_EQ(record.tip, on60 + "\n32 s left") << "edits count once applied";
    form->ApplyButton()->Click();
    EXPECT_EQ(record.tip, "TOLV Watchdog Timer: on, restart after 90 s, reload every 40 s\n32 s left");

    form->Switch()->Click();
    EXPECT_EQ(record.tip, "TOLV Watchdog Timer: off");
    EXPECT_FALSE(tray.TipTimer().Running());
}

TEST_F(InvisibleFormTest, StartNoticeGoesToTheBalloonOrAfterTheStartToAMessageBox)
{
    Create();
    (void)framework::TrayIcon::SetHostProbe([] { return false; });
    {
        TInvisibleForm tray(*form);
        tray.TellAtStart("restarted");
        EXPECT_TRUE(m_Boxes.empty()) << "the window is still being built";
        QCoreApplication::processEvents();
        ASSERT_EQ(m_Boxes.size(), 1u);
        EXPECT_EQ(m_Boxes[0].text, "restarted");
        EXPECT_EQ(m_Boxes[0].caption, "TOLV Watchdog Timer");
        EXPECT_EQ(m_Boxes[0].flags, platform::MB_OK | platform::MB_ICONINFORMATION);
    }
    (void)framework::TrayIcon::SetHostProbe([] { return true; });
    TInvisibleForm tray(*form);
    tray.TellAtStart("restarted");
    QCoreApplication::processEvents();
    EXPECT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(tray.TrayIcon().Tray().Record().info, "restarted");
    EXPECT_EQ(tray.TrayIcon().Tray().Record().infoTitle, "TOLV Watchdog Timer");
}

} // namespace
