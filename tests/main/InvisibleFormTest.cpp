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
    void TearDown() override
    {
        tolv::SetWatchdogReportForTesting(nullptr);
        (void)framework::TrayIcon::SetHostProbe(nullptr);
        MainFormTest::TearDown();
    }
};

TEST_F(InvisibleFormTest, TipFollowsTheSwitchTheTimesAndTheSecondsLeft)
{
    std::int32_t left = 33;
    tolv::SetWatchdogReportForTesting([&] {
        TlAcpiWatchdogReport report{};
        report.timeLeft = left;
        return std::optional(report);
    });
    WriteDword("LAST_STATE", 15), WriteDword("REBOOT_TIME", 60), WriteDword("RESET_TIME", 40);
    Create();
    TInvisibleForm tray(*form);
    const std::string& tip = tray.TrayIcon().Tray().Record().tip;
    const std::string on = "TOLV Watchdog Timer: on, restart after 60 s, reload every 40 s\n";
    EXPECT_EQ(tip, on + "33 s left");
    left = 32;
    tray.TipTimer().OnTimer()(&tray.TipTimer());
    EXPECT_EQ(tip, on + "32 s left");
    for (int i = 0; i < 30; ++i)
        form->ArrowButton(0)->Click();
    EXPECT_EQ(tip, on + "32 s left") << "edits count once applied";
    form->ApplyButton()->Click();
    EXPECT_EQ(tip, "TOLV Watchdog Timer: on, restart after 90 s, reload every 40 s\n32 s left");
    EXPECT_TRUE(tray.TipTimer().Running());
    form->Switch()->Click();
    EXPECT_EQ(tip, "TOLV Watchdog Timer: off");
    EXPECT_FALSE(tray.TipTimer().Running());
}

TEST_F(InvisibleFormTest, StartNoticeGoesToTheBalloonOrAfterTheStartToAMessageBox)
{
    Create();
    for (const bool trayHost : {false, true}) {
        (void)framework::TrayIcon::SetHostProbe([=] { return trayHost; });
        TInvisibleForm tray(*form);
        tray.TellAtStart("restarted");
        EXPECT_TRUE(m_Boxes.empty()) << "the window is still being built";
        QCoreApplication::processEvents();
        ASSERT_EQ(m_Boxes.size(), trayHost ? 0u : 1u);
        if (!trayHost) {
            EXPECT_EQ(m_Boxes[0].caption + ": " + m_Boxes[0].text, "TOLV Watchdog Timer: restarted");
            EXPECT_EQ(m_Boxes[0].flags, platform::MB_OK | platform::MB_ICONINFORMATION);
        }
        const TrayNotifyRecord& record = tray.TrayIcon().Tray().Record();
        EXPECT_EQ(record.infoTitle + ": " + record.info, trayHost ? "TOLV Watchdog Timer: restarted" : ": ");
        m_Boxes.clear();
    }
}

} // namespace
