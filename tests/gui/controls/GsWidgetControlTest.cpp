#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "GsWidgetTestSupport.h"

using namespace widgettest;
using framework::Component;
using framework::MouseButton;
using framework::ShiftState;

namespace {

class ControlInputTest : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        control = std::make_unique<LogControl>(&log);
        control->SetParent(m_Form.get());
        control->SetBounds(10, 10, 40, 30);
        control->Root()->SetBounds(0, 0, 40, 30);
        control->OnMouseDown = [this](Component*, MouseButton, ShiftState, int, int) { ++downs; };
        control->OnMouseEnter = [this](Component*) { ++enters; };
        control->OnMouseLeave = [this](Component*) { ++leaves; };
        Flush();
        log.clear();
    }
    void TearDown() override
    {
        control.reset();
        WidgetTest::TearDown();
    }

    QWidget* W() { return control->Handle(); }

    // A move with the buttons given (QTest's move does not say which buttons are held).
    void Move(int x, int y, Qt::MouseButtons buttons = Qt::NoButton)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), W()->mapToGlobal(QPointF(x, y)),
                         Qt::NoButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(W(), &move);
    }
    void Leave()
    {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(W(), &leave);
    }

    std::vector<std::string> log;
    std::unique_ptr<LogControl> control;
    int downs = 0;
    int enters = 0;
    int leaves = 0;
};

} // namespace

TEST_F(ControlInputTest, WidgetIsMadeOnFirstAccessAndKnowsItsOwner)
{
    EXPECT_EQ(control->Widget()->Owner(), control.get());
    EXPECT_EQ(control->Widget(), control->Widget()) << "made once";
    EXPECT_EQ(control->HoverTime(), 200);
    EXPECT_FALSE(control->Repeated());
}

TEST_F(ControlInputTest, NotRepeatedHoldingTheButtonGivesOneMouseDown)
{
    Move(5, 5);
    EXPECT_FALSE(control->HoverPending()) << "only a repeated control asks for hover";
    EXPECT_TRUE(control->LeaveTracking());
    QTest::mousePress(W(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    Move(6, 6, Qt::LeftButton);
    EXPECT_FALSE(control->HoverPending());
    EXPECT_EQ(downs, 1);
    EXPECT_TRUE(control->LeftPressed());
    QTest::mouseRelease(W(), Qt::LeftButton, Qt::NoModifier, QPoint(6, 6));
    EXPECT_FALSE(control->LeftPressed());
    EXPECT_EQ(downs, 1);
}

TEST_F(ControlInputTest, RepeatedHoldingTheButtonRepeatsFasterDownTo20Ms)
{
    control->SetRepeated(true);
    Move(5, 5);
    EXPECT_EQ(control->HoverPendingTime(), 200) << "armed on entry";
    QTest::mousePress(W(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(downs, 1);

    std::vector<int> periods{control->HoverPendingTime()};
    for (int i = 0; i < 12; ++i) {
        control->FireHover();
        periods.push_back(control->HoverPendingTime());
    }
    const std::vector<int> expected{200, 180, 160, 140, 120, 100, 80, 60, 40, 20, 20, 20, 20};
    EXPECT_EQ(periods, expected);
    EXPECT_EQ(downs, 13) << "each hover repeats the mouse-down";
    EXPECT_GE(std::count(log.begin(), log.end(), "root down0 5,5"), 13);

    QTest::mouseRelease(W(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(control->HoverTime(), 200) << "release resets the period";
    control->FireHover(); // the pending hover, now without a button
    EXPECT_EQ(downs, 13) << "no repeat without a button";
    EXPECT_EQ(control->HoverPendingTime(), 200);
}

TEST_F(ControlInputTest, RepeatedWithTheRightButtonRepeatsAtTheFirstPeriod)
{
    control->SetRepeated(true);
    Move(5, 5);
    QTest::mousePress(W(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    MouseButton last = framework::mbLeft;
    control->OnMouseDown = [&](Component*, MouseButton b, ShiftState, int, int) {
        last = b;
        ++downs;
    };
    control->FireHover();
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(last, framework::mbRight);
    EXPECT_EQ(control->HoverPendingTime(), 200) << "the period shortens only for the left button";
    EXPECT_FALSE(control->LeftPressed());
}

TEST_F(ControlInputTest, MovingWhilePressedReArmsWithTheCurrentPeriod)
{
    control->SetRepeated(true);
    Move(5, 5);
    QTest::mousePress(W(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    control->FireHover();
    control->FireHover();
    EXPECT_EQ(control->HoverTime(), 160);
    Move(7, 7, Qt::LeftButton);
    EXPECT_EQ(control->HoverPendingTime(), 160);
    Move(8, 8); // no button: back to 200, and not pressed any more in Qt's view
    EXPECT_EQ(control->HoverTime(), 200);
}

TEST_F(ControlInputTest, RepeatedHoverFiresFromTheEventLoop)
{
    control->SetRepeated(true);
    Move(5, 5);
    QTest::mousePress(W(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    // Real timers: three repeats take about 200 + 180 + 160 ms; only the count is checked.
    QTRY_VERIFY_WITH_TIMEOUT(downs >= 3, 10000);
    QTest::mouseRelease(W(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
}

TEST_F(ControlInputTest, EnterOncePerEntryAndNotOnReEntryWithTheButtonHeld)
{
    Move(5, 5);
    Move(6, 6);
    EXPECT_EQ(enters, 1);
    EXPECT_TRUE(control->MouseInside());

    QTest::mousePress(W(), Qt::LeftButton, Qt::NoModifier, QPoint(6, 6));
    Move(60, 6, Qt::LeftButton); // outside, still captured
    EXPECT_FALSE(control->MouseInside());
    Move(6, 6, Qt::LeftButton);
    EXPECT_TRUE(control->MouseInside());
    EXPECT_EQ(enters, 1) << "re-entry with the button held is no entry";
    QTest::mouseRelease(W(), Qt::LeftButton, Qt::NoModifier, QPoint(6, 6));

    Leave();
    EXPECT_EQ(leaves, 1);
    EXPECT_FALSE(control->MouseInside());
    EXPECT_FALSE(control->Root()->Hovered());
    Move(5, 5);
    EXPECT_EQ(enters, 2);
}

TEST_F(ControlInputTest, LeaveWithoutTrackingIsNotReported)
{
    Leave();
    EXPECT_EQ(leaves, 0);
    Move(5, 5);
    Leave();
    Leave();
    EXPECT_EQ(leaves, 1) << "one leave per armed tracking";
}

TEST_F(ControlInputTest, LosingTheCaptureClearsLeftPressed)
{
    QTest::mousePress(W(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    ASSERT_TRUE(control->LeftPressed());
    QEvent ungrab(QEvent::UngrabMouse);
    QCoreApplication::sendEvent(W(), &ungrab);
    EXPECT_FALSE(control->LeftPressed());
}

TEST_F(ControlInputTest, InputReachesTheWidgetAndAReleaseClicksIt)
{
    int widgetClicks = 0;
    int controlClicks = 0;
    control->Root()->OnClick = [&](gs::GsWidget*) { ++widgetClicks; };
    control->OnClick = [&](Component*) { ++controlClicks; };
    Move(5, 6);
    QTest::mousePress(W(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
    QTest::mouseRelease(W(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
    EXPECT_EQ(log, (std::vector<std::string>{"root enter", "root move 5,6", "root down0 5,6",
                                             "root click", "root up0 5,6"}));
    EXPECT_EQ(widgetClicks, 1);
    EXPECT_EQ(controlClicks, 1);
}

TEST_F(ControlInputTest, ThreeInvalidatesGiveOnePaintAndOneAfterPaint)
{
    int afterPaints = 0;
    control->OnAfterPaint = [&](Component* sender) {
        EXPECT_EQ(sender, control.get());
        ++afterPaints;
    };
    const int renders = control->renders;
    const int erases = control->erases;
    control->Invalidate();
    control->Widget()->Invalidate();
    control->Invalidate();
    EXPECT_EQ(afterPaints, 0);
    Flush();
    EXPECT_EQ(afterPaints, 1);
    EXPECT_EQ(control->renders, renders + 1);
    EXPECT_EQ(control->erases, erases + 1) << "the background is only erased through the hook";
    EXPECT_EQ(Pixel(control->Surface(), 39, 29), 0xFF102030u) << "the paint reached the surface";
}

TEST_F(ControlInputTest, WidgetChangesRepaintTheOwnerThroughTheRoot)
{
    auto* child = new LogWidget("child", nullptr);
    child->SetParent(control->Root());
    auto* grandchild = new LogWidget("grandchild", nullptr);
    grandchild->SetParent(child);
    Flush();
    grandchild->SetVisible(false);
    EXPECT_TRUE(control->PaintPending());
    Flush();
    grandchild->SetVisible(false);
    grandchild->SetText("");
    EXPECT_FALSE(control->PaintPending()) << "no change, no repaint";
    grandchild->SetText("x");
    EXPECT_TRUE(control->PaintPending());
    Flush();
    grandchild->SetAlphaValue(grandchild->AlphaValue());
    EXPECT_TRUE(control->PaintPending()) << "the opacity setter repaints without comparing";
}

TEST_F(ControlInputTest, SetEnabledReachesTheWidgetAndTheInputWidget)
{
    auto* child = new LogWidget("child", nullptr);
    child->SetParent(control->Root());
    control->SetEnabled(false);
    EXPECT_FALSE(control->Root()->Enabled());
    EXPECT_TRUE(child->Enabled());
    EXPECT_FALSE(W()->isEnabled());
    control->SetEnabled(true);
    control->Root()->SetOptions(gs::ShareEvents);
    control->SetEnabled(false);
    EXPECT_FALSE(child->Enabled());
}

TEST_F(ControlInputTest, AdjustToWidgetTakesTheWidgetsSize)
{
    control->Root()->OnResize = framework::Event<gs::GsWidget*>(
        [this](gs::GsWidget*) { control->AdjustToWidget(); });
    control->Root()->SetBounds(0, 0, 25, 15);
    EXPECT_EQ(control->BoundsRect(), (graphics::Rect{10, 10, 35, 25}));
    control->Root()->SetLeft(3);
    EXPECT_EQ(control->Width(), 25) << "a pure move of the widget is no resize";
}

TEST_F(ControlInputTest, RenderToSizesTheBitmapAndHitTestIsTheControlsRectangle)
{
    graphics::Bitmap bitmap;
    control->RenderTo(&bitmap);
    EXPECT_EQ(bitmap.Width(), 40);
    EXPECT_EQ(bitmap.Height(), 30);
    EXPECT_EQ(Pixel(bitmap, 0, 0), 0xFF102030u);
    EXPECT_TRUE(control->HitTest(0, 0));
    EXPECT_TRUE(control->HitTest(39, 29));
    EXPECT_FALSE(control->HitTest(40, 29));
    EXPECT_FALSE(control->HitTest(-1, 0));
}

TEST_F(ControlInputTest, AHandlerMayDestroyTheControlDuringInput)
{
    control->OnMouseDown = [this](Component*, MouseButton, ShiftState, int, int) { control.reset(); };
    QPointer<QWidget> w = W();
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(control, nullptr);
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5)); // reaches nothing
}

TEST_F(ControlInputTest, FocusChangesRepaint)
{
    int enters = 0;
    control->OnEnter = [&](Component*) { ++enters; };
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(W(), &in);
    EXPECT_TRUE(control->PaintPending());
    EXPECT_EQ(enters, 1);
    Flush();
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(W(), &out);
    EXPECT_TRUE(control->PaintPending());
}

TEST_F(ControlInputTest, ADeactivatedWindowEndsTheRepeatOfAHeldButton)
{
    control->SetRepeated(true);
    Move(5, 5);
    QTest::mousePress(W(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    control->FireHover();
    ASSERT_EQ(downs, 2);
    // A dialog opened from a handler takes the release away from the control.
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(W(), &deactivate);
    EXPECT_FALSE(control->LeftPressed());
    control->FireHover();
    EXPECT_EQ(downs, 2) << "no repeat once the button is known to be gone";
    EXPECT_EQ(control->HoverTime(), 200);
}
