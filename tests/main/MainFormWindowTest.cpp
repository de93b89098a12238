// The window as a window: where the minimise button sends it with and without an icon in the
// notification area, and which presses drag it.

#include "MainFormFixture.h"

#include "gui/controls/GsButton.h"

#include <QTest>
#include <QWidget>

#include <ostream>

namespace {

struct MinimiseRow {
    const char* name;
    bool trayAtMinimise;
    bool trayAtRestore;
    bool hiddenWhileMinimised; // else minimised and still shown (iconic)
    bool listedWhileMinimised; // the taskbar lists the window
    bool listedAfterRestore;
    friend void PrintTo(const MinimiseRow& row, std::ostream* out) { *out << row.name; }
};

bool Listed(const TMainForm& form)
{
    return !(form.ExStyle() & framework::WS_EX_TOOLWINDOW) && (form.ExStyle() & framework::WS_EX_APPWINDOW);
}

class Minimise : public MainFormTest, public testing::WithParamInterface<MinimiseRow> {};

TEST_P(Minimise, GoesToTheTrayOrToATaskbarEntryAndComesBack)
{
    const MinimiseRow& row = GetParam();
    Create();
    bool tray = row.trayAtMinimise;
    form->TrayHoldsIcon = [&] { return tray; };
    form->Show();
    ASSERT_FALSE(Listed(*form)) << "a shown window with a tray has no taskbar entry";

    form->MinimizeButton()->Click();
    EXPECT_EQ(form->Visible(), !row.hiddenWhileMinimised);
    EXPECT_EQ(form->GetWindowState() == framework::wsMinimized, !row.hiddenWhileMinimised);
    EXPECT_EQ(Listed(*form), row.listedWhileMinimised);

    tray = row.trayAtRestore;
    form->RestoreWindow();
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->GetWindowState(), framework::wsNormal);
    EXPECT_EQ(Listed(*form), row.listedAfterRestore);
    EXPECT_TRUE(form->ExStyle() & framework::WS_EX_TOPMOST);
    EXPECT_TRUE(form->ExStyle() & framework::WS_EX_LAYERED);
    form->TrayHoldsIcon = nullptr;
}

const MinimiseRow kMinimiseRows[] = {
    {"WithoutATrayMinimisesToATaskbarEntry", false, false, false, true, true},
    {"ATrayThatCameLaterTakesTheWindowBack", false, true, false, true, false},
};
INSTANTIATE_TEST_SUITE_P(MainForm, Minimise, testing::ValuesIn(kMinimiseRows),
                         [](const testing::TestParamInfo<MinimiseRow>& row) { return row.param.name; });

// A left press that reaches the window, then a move of (30, 25) with the button held. Disabled
// controls hand their presses to the window, as Qt does.
struct PressRow {
    const char* name;
    QPoint press; // window pixels
    bool drags;
    friend void PrintTo(const PressRow& row, std::ostream* out) { *out << row.name; }
};

class BackgroundPress : public MainFormTest, public testing::WithParamInterface<PressRow> {};

TEST_P(BackgroundPress, DragsTheWindowOnlyOffTheControls)
{
    Create();
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->Host()));
    ASSERT_FALSE(form->ApplyButton()->Enabled());
    const QPoint start(form->Left(), form->Top());
    const QPoint press = GetParam().press;
    QTest::mousePress(form->Host(), Qt::LeftButton, {}, press);
    QTest::mouseMove(form->Host(), press + QPoint(30, 25));
    QTest::mouseRelease(form->Host(), Qt::LeftButton, {}, press + QPoint(30, 25));
    EXPECT_EQ(QPoint(form->Left(), form->Top()), start + (GetParam().drags ? QPoint(30, 25) : QPoint()));
}

const PressRow kPressRows[] = {
    {"TheHeadersBackground", {200, 20}, true},
    {"AnExplanationsText", {200, 90}, true},
    {"TheDisabledRestartUpArrow", {274, 152}, false},
};
INSTANTIATE_TEST_SUITE_P(MainForm, BackgroundPress, testing::ValuesIn(kPressRows),
                         [](const testing::TestParamInfo<PressRow>& row) { return row.param.name; });

} // namespace
