// The coupled time fields driven as a person drives them: real mouse events on the arrows and
// the restart slider's thumb. Also how many times the window recomposes for one action.

#include "MainFormFixture.h"

#include <QTest>
#include <QWidget>

#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/GsLabel.h"
#include "gui/controls/TolvScrollBar.h"

namespace {

enum Arrow { RebootUp = 0, RebootDown = 1, ResetUp = 2, ResetDown = 3 };

class TimeFields : public MainFormTest {
protected:
    // The watchdog on with the given times, the window shown, every pending paint done.
    void StartOn(std::uint32_t restart, std::uint32_t reload)
    {
        WriteDword("LAST_STATE", 15);
        WriteDword("REBOOT_TIME", restart);
        WriteDword("RESET_TIME", reload);
        Create();
        form->Show();
        Settle();
    }

    static void Settle() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }

    static QPoint Centre(framework::BaseControl* control) { return {control->Width() / 2, control->Height() / 2}; }

    void Press(GsButton* arrow)
    {
        QTest::mousePress(static_cast<framework::Control*>(arrow)->Handle(), Qt::LeftButton, {}, Centre(arrow));
        Settle();
    }
    void Release(GsButton* arrow)
    {
        QTest::mouseRelease(static_cast<framework::Control*>(arrow)->Handle(), Qt::LeftButton, {}, Centre(arrow));
        Settle();
    }
    void Click(int arrow)
    {
        Press(form->ArrowButton(arrow));
        Release(form->ArrowButton(arrow));
    }

    std::string Text(GsLabel* label) { return label->Caption(); }
};

} // namespace

TEST_F(TimeFields, RestartDownPullsTheReloadValueAndItsScaleAlong)
{
    StartOn(60, 55);
    ASSERT_FALSE(form->ApplyButton()->Enabled());
    Click(RebootDown);
    EXPECT_EQ(form->RebootSlider()->Position(), 59);
    EXPECT_EQ(form->ResetSlider()->Max(), 54);
    EXPECT_EQ(form->ResetSlider()->Position(), 54);
    EXPECT_EQ(Text(form->RebootLabel()), "59");
    EXPECT_EQ(Text(form->ResetLabel()), "54");
    EXPECT_EQ(Text(form->ScaleLabel(5)), "54");
    EXPECT_EQ(Text(form->ScaleLabel(4)), "29");
    EXPECT_TRUE(form->ApplyButton()->Enabled());
}

struct EndRow {
    const char* name;
    std::uint32_t restart, reload;
    int arrow;
};

class ArrowAtTheEnd : public TimeFields, public testing::WithParamInterface<EndRow> {};

TEST_P(ArrowAtTheEnd, DoesNothing)
{
    const EndRow& row = GetParam();
    StartOn(row.restart, row.reload);
    Click(row.arrow);
    EXPECT_EQ(form->RebootSlider()->Position(), static_cast<std::int32_t>(row.restart));
    EXPECT_EQ(form->ResetSlider()->Position(), static_cast<std::int32_t>(row.reload));
    EXPECT_FALSE(form->ApplyButton()->Enabled());
}

INSTANTIATE_TEST_SUITE_P(TimeFields, ArrowAtTheEnd,
                         testing::Values(EndRow{"RestartDownAtItsMinimum", 10, 5, RebootDown},
                                         EndRow{"ReloadUpAtItsMaximum", 10, 5, ResetUp},
                                         EndRow{"ReloadDownAtItsMinimum", 10, 5, ResetDown},
                                         EndRow{"RestartUpAt255", 255, 40, RebootUp}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TimeFields, ReloadArrowsStepByOneWithinTheGap)
{
    StartOn(60, 54);
    Click(ResetUp);
    EXPECT_EQ(form->ResetSlider()->Position(), 55);
    Click(ResetUp); // 55 is the most a restart time of 60 allows
    EXPECT_EQ(form->ResetSlider()->Position(), 55);
    EXPECT_EQ(Text(form->ResetLabel()), "55");
    Click(RebootUp);
    EXPECT_EQ(Text(form->ScaleLabel(5)), "56");
    EXPECT_EQ(form->ResetSlider()->Position(), 55);
}

TEST_F(TimeFields, DraggingTheRestartThumbDownDragsTheReloadValueAlong)
{
    StartOn(60, 55);
    OcHMSlider* slider = form->RebootSlider();
    QWidget* handle = static_cast<framework::Control*>(slider)->Handle();
    const int thumb = slider->MinorSlider().GetThumbPos() + 10;
    const int y = 11;
    QTest::mouseMove(handle, {thumb, y});
    QTest::mousePress(handle, Qt::LeftButton, {}, {thumb, y});
    auto moveTo = [handle](int x, int y) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), handle->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &move);
        Settle();
    };
    for (int x = thumb; x >= thumb - 25; x -= 5)
        moveTo(x, y);
    // One step of the drag reaches the screen in one composition.
    const int before = form->RedrawCount();
    moveTo(thumb - 30, y);
    EXPECT_EQ(form->RedrawCount() - before, 1);
    const std::int32_t restart = slider->Position();
    EXPECT_LT(restart, 55);
    EXPECT_EQ(form->ResetSlider()->Position(), restart - form->MinGap());
    EXPECT_EQ(Text(form->RebootLabel()), std::to_string(restart));
    EXPECT_EQ(Text(form->ResetLabel()), std::to_string(restart - form->MinGap()));
    EXPECT_TRUE(form->ApplyButton()->Enabled());
    QTest::mouseRelease(handle, Qt::LeftButton, {}, {thumb - 30, y});
}

// Everything one event changes reaches the screen in one composition.
TEST_F(TimeFields, OneArrowClickRecomposesTheWindowOnce)
{
    StartOn(60, 40);
    Press(form->ArrowButton(RebootUp));
    const int before = form->RedrawCount();
    Release(form->ArrowButton(RebootUp));
    EXPECT_EQ(form->RebootSlider()->Position(), 61);
    EXPECT_EQ(form->RedrawCount() - before, 1);
}

TEST_F(TimeFields, ShowingTheWindowComposesItOnce)
{
    WriteDword("LAST_STATE", 15);
    WriteDword("REBOOT_TIME", 60);
    WriteDword("RESET_TIME", 40);
    Create();
    const int before = form->RedrawCount();
    form->Show();
    Settle();
    Settle();
    EXPECT_EQ(form->RedrawCount() - before, 1);
}
