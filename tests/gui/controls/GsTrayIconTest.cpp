#include <gtest/gtest.h>

#include <QSystemTrayIcon>

#include <QCursor>
#include <QMenu>
#include <memory>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "gui/controls/GsTrayIcon.h"
#include "gui/framework/Application.h"
#include "gui/framework/Form.h"
#include "gui/framework/PopupMenu.h"
#include "gui/framework/TrayIcon.h"
#include "platform/MessageBox.h"

using namespace framework;

namespace {

// Logs the actions the triggers start instead of carrying them out.
class RecordingTray : public GsTrayIcon {
public:
    explicit RecordingTray(std::vector<std::string>* log) : GsTrayIcon(nullptr, 1, 1114), m_Log(log) {}
    void Restore() override { m_Log->push_back("restore"); }
    void PopupAt(int x, int y) override { m_Log->push_back("popup " + std::to_string(x) + "," + std::to_string(y)); }

private:
    std::vector<std::string>* m_Log;
};

} // namespace

// An application with a main form, the pointer at (123, 45) and a simulated notification
// area that takes the icon from the m_AcceptFrom-th offer on (0: never).
class GsTrayIconTest : public testing::Test {
protected:
    void SetUp() override
    {
        testsupport::QtTestApp();
        platform::SetMessageBoxHook([](const std::string&, const std::string&, unsigned) { return 1; });
        m_App = std::make_unique<Application>(m_Argc, m_Argv);
        m_Form = m_App->CreateForm<Form>();
        m_Previous = TrayIcon::SetHostProbe([this] { return ++m_Offers >= m_AcceptFrom && m_AcceptFrom != 0; });
        QCursor::setPos(123, 45);
    }
    void TearDown() override
    {
        TrayIcon::SetHostProbe(std::move(m_Previous));
        m_App.reset();
        platform::SetMessageBoxHook(nullptr);
    }

    int m_Argc = 1;
    char m_Name[8] = "program";
    char* m_Argv[2] = {m_Name, nullptr};
    std::unique_ptr<Application> m_App;
    Form* m_Form = nullptr;
    TrayHostProbe m_Previous;
    int m_Offers = 0;
    int m_AcceptFrom = 0;
};

struct TriggerRow {
    const char* name;
    int kind;
    std::vector<unsigned> fires;
};

class GsTrayIconTrigger : public GsTrayIconTest, public testing::WithParamInterface<TriggerRow> {};

TEST_P(GsTrayIconTrigger, FiresRestoreAndPopupOnItsNotifications)
{
    std::vector<std::string> log;
    RecordingTray tray(&log);
    const auto fired = [&] {
        std::vector<unsigned> notifications;
        for (unsigned n = 511; n <= 521; ++n) {
            log.clear();
            tray.HandleNotify(n);
            if (!log.empty())
                notifications.push_back(n);
        }
        return notifications;
    };
    tray.SetRestoreTrigger(GetParam().kind);
    EXPECT_EQ(fired(), GetParam().fires);
    tray.SetRestoreTrigger(ttNever);
    tray.SetPopupTrigger(GetParam().kind);
    EXPECT_EQ(fired(), GetParam().fires);
}

INSTANTIATE_TEST_SUITE_P(
    GsTrayIconKinds, GsTrayIconTrigger,
    testing::Values(TriggerRow{"LeftDown", 0, {513}}, TriggerRow{"EitherDoubleClick", 1, {515, 518}},
                    TriggerRow{"AnyDown", 2, {513, 516, 519}}, TriggerRow{"AnyUp", 3, {514, 517, 520}},
                    TriggerRow{"LeftUp", 4, {514}}, TriggerRow{"LeftDoubleClick", 5, {515}},
                    TriggerRow{"RightUp", 6, {517}}, TriggerRow{"RightDoubleClick", 7, {518}},
                    TriggerRow{"Eight", 8, {}}, TriggerRow{"Larger", 9, {}}, TriggerRow{"Negative", -1, {}}),
    [](const testing::TestParamInfo<TriggerRow>& info) { return std::string(info.param.name); });

TEST_F(GsTrayIconTest, NewIconHasNoTriggersAndNotificationsFireTheirEvents)
{
    const std::pair<unsigned, std::vector<std::string>> rows[] = {
        {512, {"move 123,45"}}, {513, {"down 0 123,45"}}, {514, {"up 0 123,45", "click"}},
        {515, {"dblclick"}},    {516, {"down 1 123,45"}}, {517, {"up 1 123,45"}},
        {518, {}},              {519, {}},                {520, {}},
    };
    std::vector<std::string> log;
    RecordingTray tray(&log);
    const auto at = [](int x, int y) { return " " + std::to_string(x) + "," + std::to_string(y); };
    tray.OnMouseMove = [&](Component*, ShiftState, int x, int y) { log.push_back("move" + at(x, y)); };
    tray.OnMouseDown = [&](Component*, MouseButton b, ShiftState, int x, int y) {
        log.push_back("down " + std::to_string(b) + at(x, y));
    };
    tray.OnMouseUp = [&](Component*, MouseButton b, ShiftState, int x, int y) {
        log.push_back("up " + std::to_string(b) + at(x, y));
    };
    tray.OnClick = [&](Component*) { log.push_back("click"); };
    tray.OnDblClick = [&](Component*) { log.push_back("dblclick"); };
    for (const auto& [notification, expected] : rows) {
        SCOPED_TRACE(notification);
        log.clear();
        tray.HandleNotify(notification);
        EXPECT_EQ(log, expected);
    }
    tray.SetRestoreTrigger(ttAnyUp);
    tray.SetPopupTrigger(ttLeftUp);
    log.clear();
    tray.HandleNotify(514);
    EXPECT_EQ(log, (std::vector<std::string>{"restore", "popup 123,45", "up 0 123,45", "click"}));
}

TEST_F(GsTrayIconTest, HandlerThatDestroysTheIconEndsTheNotification)
{
    auto tray = std::make_unique<GsTrayIcon>(nullptr, 1, 1114);
    int clicks = 0;
    tray->OnMouseUp = [&](Component*, MouseButton, ShiftState, int, int) { tray.reset(); };
    tray->OnClick = [&](Component*) { ++clicks; };
    tray->HandleNotify(514);
    EXPECT_EQ(clicks, 0);
}

TEST_F(GsTrayIconTest, RightButtonReleaseOpensTheMenuAtTheCursor)
{
    PopupMenu menu;
    (void)menu.Add("Exit");
    GsTrayIcon tray(m_Form, 1, 1114);
    tray.SetPopupMenu(&menu);
    tray.SetPopupTrigger(ttRightUp);
    tray.HandleNotify(517);
    EXPECT_TRUE(menu.IsOpen());
    EXPECT_EQ(menu.Menu()->pos(), QPoint(123, 45));
}

TEST_F(GsTrayIconTest, AddOffersThreeTimesAndDestructionTakesTheIconOut)
{
    for (int acceptFrom : {1, 3, 4}) {
        SCOPED_TRACE(acceptFrom);
        m_Offers = 0;
        m_AcceptFrom = acceptFrom;
        TrayIcon window;
        {
            CsTrayIcon tray(&window, 1, 1114);
            EXPECT_EQ(tray.Add(), acceptFrom <= 3);
            EXPECT_EQ(window.Visible(), acceptFrom <= 3);
            EXPECT_EQ(m_Offers, std::min(acceptFrom, 3));
        }
        EXPECT_FALSE(window.Visible());
    }
}

TEST_F(GsTrayIconTest, RetryTimerOffersTheIconUntilTakenThenStops)
{
    GsTrayIcon tray(m_Form, 1, 1114);
    Timer& timer = tray.RetryTimer();
    EXPECT_EQ(timer.Interval(), 5000);
    tray.SetVisible(true);
    timer.OnTimer()(&timer);
    EXPECT_EQ(m_Offers, 6);
    EXPECT_FALSE(tray.IsAdded());
    EXPECT_TRUE(timer.Running());

    m_AcceptFrom = 8;
    timer.OnTimer()(&timer);
    EXPECT_TRUE(tray.IsAdded());
    EXPECT_FALSE(timer.Running());
    timer.OnTimer()(&timer);
    EXPECT_EQ(m_Offers, 8); // an added icon is not offered again
    EXPECT_FALSE(timer.Running());
}

TEST_F(GsTrayIconTest, RecordCarriesTheSkinPictureTheBalloonAndTheTip)
{
    m_AcceptFrom = 1;
    GsTrayIcon tray(m_Form, 1, 1114);
    const TrayNotifyRecord& record = tray.Tray().Record();
    const QSystemTrayIcon& native = *tray.Tray().GetWindow()->Native();
    tray.ShowBalloon("not yet added");
    tray.SetTip("set before the icon is in");
    EXPECT_EQ(record.flags, 0u); // nothing is sent before the icon is in
    EXPECT_EQ(native.toolTip(), "");
    tray.SetVisible(true);
    EXPECT_EQ(record.flags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    EXPECT_EQ(native.toolTip(), "set before the icon is in");
    EXPECT_TRUE(tray.Tray().GetWindow()->HasIcon()); // the skin's tray.png

    tray.SetTip(std::string(200, 't') + "\nsecond line");
    EXPECT_EQ(native.toolTip().toStdString(), std::string(127, 't')); // the record's 128 bytes
    tray.SetTip("");
    EXPECT_EQ(native.toolTip(), "");
    EXPECT_EQ(record.flags, NIF_MESSAGE | NIF_ICON);

    tray.SetBalloonTitle("Title");
    tray.ShowBalloon(std::string(300, 'w'));
    EXPECT_EQ(record.flags, NIF_MESSAGE | NIF_ICON | NIF_INFO);
    EXPECT_EQ(record.info, std::string(255, 'w'));
    EXPECT_EQ(record.infoTitle, "Title");
    tray.HideBalloon();
    EXPECT_EQ(record.flags, NIF_MESSAGE | NIF_ICON);
    EXPECT_TRUE(record.info.empty());
    tray.SetIconFile("/nonexistent/tray.png");
    EXPECT_FALSE(tray.Tray().GetWindow()->HasIcon()); // an empty icon, shown at once
}

TEST_F(GsTrayIconTest, RestoreBringsBackAHiddenOrMinimizedMainForm)
{
    GsTrayIcon tray(m_Form, 1, 1114);
    int minimized = 0;
    int restored = 0;
    tray.OnMinimize = [&](Component*) { ++minimized; };
    tray.OnRestore = [&](Component*) { ++restored; };
    tray.Restore(); // the hidden start: never shown before
    EXPECT_TRUE(m_Form->Visible());
    tray.Minimize();
    EXPECT_FALSE(m_Form->Visible());
    tray.Restore();
    EXPECT_TRUE(m_Form->Visible());
    EXPECT_EQ(m_Form->GetWindowState(), wsNormal);
    EXPECT_EQ(minimized, 1);
    EXPECT_EQ(restored, 2);
}
