#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QTest>
#include <QWidget>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "FrameworkFixture.h"
#include "gui/framework/Control.h"
#include "gui/framework/Form.h"
#include "gui/framework/GraphicControl.h"

using namespace framework;

namespace {

// A windowed control that records what reaches its handlers.
class ProbeControl : public Control {
public:
    int paints = 0;
    int erases = 0;
    int hovers = 0;
    int trackedLeaves = 0;
    int captureLosses = 0;
    ShiftState hoverShift = 0;
    int hoverX = -1;
    int hoverY = -1;
    bool refuseSize = false;
    bool autoSizeTo50x20 = false;
    bool throwInPaint = false;

    using Control::Life;

protected:
    bool EraseBkgnd() override
    {
        ++erases;
        return true;
    }
    void Paint() override
    {
        ++paints;
        if (throwInPaint)
            throw std::runtime_error("paint failed");
        Canvas().Brush().Color = graphics::RGB(0, 0, 255);
        Canvas().FillRect(ClientRect());
    }
    void MouseHover(ShiftState shift, int x, int y) override
    {
        ++hovers;
        hoverShift = shift;
        hoverX = x;
        hoverY = y;
    }
    void TrackedMouseLeave() override { ++trackedLeaves; }
    void CaptureChanged() override { ++captureLosses; }
    bool CanResize(int&, int&) override { return !refuseSize; }
    bool CanAutoSize(int& w, int& h) override
    {
        if (!autoSizeTo50x20 || (w == 50 && h == 20))
            return false;
        w = 50;
        h = 20;
        return true;
    }
};

// A windowless control that fills its whole client area, wider than its bounds on purpose.
class FillingGraphic : public GraphicControl {
public:
    int paints = 0;
    graphics::Point originSeen;
    void Paint(graphics::Canvas& canvas) override
    {
        ++paints;
        originSeen = canvas.ViewportOrigin();
        canvas.Brush().Color = graphics::RGB(255, 0, 0);
        canvas.FillRect({-100, -100, 100, 100});
    }
};

class ControlTest : public FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        m_Form = std::make_unique<Form>();
        m_Form->SetBounds(0, 0, 200, 150);
        m_Form->Show();
    }
    void TearDown() override
    {
        m_Form.reset();
        FrameworkTest::TearDown();
    }

    std::unique_ptr<ProbeControl> MakeControl(int x = 10, int y = 10, int w = 40, int h = 30)
    {
        auto control = std::make_unique<ProbeControl>();
        control->SetParent(m_Form.get());
        control->SetBounds(x, y, w, h);
        return control;
    }

    static void Flush() { QCoreApplication::processEvents(); }

    std::unique_ptr<Form> m_Form;
};

std::uint32_t PixelAt(graphics::Bitmap& bitmap, int x, int y)
{
    const std::uint8_t* p = bitmap.ScanLine(y) + 4 * x;
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

} // namespace

TEST_F(ControlTest, InvalidatesCoalesceIntoOneDeferredPaint)
{
    auto control = MakeControl();
    Flush();
    const int before = control->paints;
    control->Invalidate();
    control->Invalidate();
    control->Invalidate();
    EXPECT_EQ(control->paints, before) << "Invalidate must not paint at once";
    EXPECT_TRUE(control->PaintPending());
    Flush();
    EXPECT_EQ(control->paints, before + 1);
    EXPECT_EQ(control->erases, before + 1);
    EXPECT_FALSE(control->PaintPending());
    Flush();
    EXPECT_EQ(control->paints, before + 1);

    // A new Invalidate after the paint queues a new one.
    control->Invalidate();
    Flush();
    EXPECT_EQ(control->paints, before + 2);
}

TEST_F(ControlTest, UpdateRunsThePendingPaintOnceAndTheQueuedCallAddsNothing)
{
    auto control = MakeControl();
    Flush();
    const int before = control->paints;
    control->Invalidate();
    control->Update();
    EXPECT_EQ(control->paints, before + 1);
    Flush();
    EXPECT_EQ(control->paints, before + 1);
    control->Update();
    EXPECT_EQ(control->paints, before + 1) << "nothing pending, nothing painted";
}

TEST_F(ControlTest, PaintGoesToASurfaceOfTheControlsSize)
{
    auto control = MakeControl(0, 0, 7, 5);
    control->Update();
    Flush();
    ASSERT_EQ(control->Surface().Width(), 7);
    ASSERT_EQ(control->Surface().Height(), 5);
    EXPECT_EQ(PixelAt(control->Surface(), 6, 4), 0xFF0000FFu) << "opaque blue, B G R A in memory";
}

TEST_F(ControlTest, APendingPaintOfADestroyedControlNeverRuns)
{
    auto control = MakeControl();
    control->Invalidate();
    control.reset();
    Flush(); // under the address sanitizer a run of the paint would be a use after free
    SUCCEED();
}

TEST_F(ControlTest, ExceptionFromADeferredPaintGoesToTheErrorDisplay)
{
    auto control = MakeControl();
    Flush();
    control->throwInPaint = true;
    control->Invalidate();
    Flush();
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(m_Boxes[0].text, "paint failed");
    EXPECT_FALSE(control->PaintPending());
    control->throwInPaint = false;
    control->Invalidate();
    Flush();
    EXPECT_EQ(m_Boxes.size(), 1u);
}

TEST_F(ControlTest, ClickNeedsPressAndReleaseInsideWithTheLeftButton)
{
    auto control = MakeControl();
    int clicks = 0;
    std::vector<std::string> log;
    control->OnClick = [&](Component* sender) {
        EXPECT_EQ(sender, control.get());
        ++clicks;
        log.push_back("click");
    };
    control->OnMouseDown = [&](Component*, MouseButton b, ShiftState s, int x, int y) {
        log.push_back("down " + std::to_string(b) + " " + std::to_string(s) + " " +
                      std::to_string(x) + "," + std::to_string(y));
    };
    control->OnMouseUp = [&](Component*, MouseButton b, ShiftState, int, int) {
        log.push_back("up " + std::to_string(b));
    };
    QWidget* w = control->Handle();
    QTest::mousePress(w, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 6));
    QTest::mouseRelease(w, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 6));
    EXPECT_EQ(clicks, 1);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "down 0 " + std::to_string(ssShift | ssLeft) + " 5,6");
    EXPECT_EQ(log[1], "click") << "the click comes before the release event";
    EXPECT_EQ(log[2], "up 0");

    // Released outside: no click.
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, QPoint(45, 6));
    EXPECT_EQ(clicks, 1);

    // The right button never clicks.
    QTest::mouseClick(w, Qt::RightButton, Qt::NoModifier, QPoint(5, 6));
    EXPECT_EQ(clicks, 1);
}

TEST_F(ControlTest, ExceptionFromAClickHandlerIsShownAndInputGoesOn)
{
    auto control = MakeControl();
    int clicks = 0;
    control->OnClick = [&](Component*) {
        ++clicks;
        throw std::runtime_error("click failed");
    };
    QTest::mouseClick(control->Handle(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    ASSERT_EQ(m_Boxes.size(), 1u);
    EXPECT_EQ(m_Boxes[0].text, "click failed");
    QTest::mouseClick(control->Handle(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_EQ(clicks, 2);
}

TEST_F(ControlTest, AClickHandlerMayDestroyItsControl)
{
    auto control = MakeControl();
    QPointer<QWidget> widget = control->Handle();
    int ups = 0;
    control->OnMouseUp = [&](Component*, MouseButton, ShiftState, int, int) { ++ups; };
    control->OnClick = [&](Component*) { control.reset(); };
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_EQ(control, nullptr);
    EXPECT_EQ(ups, 0) << "no event of a destroyed control";
    Flush();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(widget.isNull()) << "the input widget is deleted from the event loop";
}

TEST_F(ControlTest, LosingTheCaptureCancelsTheClick)
{
    auto control = MakeControl();
    int clicks = 0;
    control->OnClick = [&](Component*) { ++clicks; };
    QTest::mousePress(control->Handle(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    QEvent ungrab(QEvent::UngrabMouse);
    QCoreApplication::sendEvent(control->Handle(), &ungrab);
    EXPECT_EQ(control->captureLosses, 1);
    QTest::mouseRelease(control->Handle(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_EQ(clicks, 0);
}

TEST_F(ControlTest, DisablingOrHidingWhilePressedLosesTheCapture)
{
    auto control = MakeControl();
    QTest::mousePress(control->Handle(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    control->SetEnabled(false);
    EXPECT_EQ(control->captureLosses, 1);
    EXPECT_FALSE(control->Handle()->isEnabled());
    control->SetEnabled(true);
    EXPECT_EQ(control->captureLosses, 1) << "nothing was pressed any more";
    QTest::mousePress(control->Handle(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    control->Hide();
    EXPECT_EQ(control->captureLosses, 2);
    EXPECT_FALSE(control->Handle()->isVisible());
}

TEST_F(ControlTest, BoundsReachTheWidgetAndResizeFiresOnlyOnASizeChange)
{
    auto control = MakeControl(10, 10, 40, 30);
    int resizes = 0;
    control->OnResize = [&](Component*) { ++resizes; };
    control->SetLeft(20);
    control->SetTop(25);
    EXPECT_EQ(resizes, 0) << "a pure move is no resize";
    EXPECT_EQ(control->Handle()->geometry(), QRect(20, 25, 40, 30));
    control->SetWidth(41);
    EXPECT_EQ(resizes, 1);
    control->SetBounds(20, 25, 41, 30);
    EXPECT_EQ(resizes, 1);
    control->SetBounds(0, 0, -5, -7);
    EXPECT_EQ(control->Width(), 0);
    EXPECT_EQ(control->Height(), 0);
    EXPECT_EQ(resizes, 2);
}

TEST_F(ControlTest, SizeNegotiationRefusesOrTakesTheAutoSize)
{
    auto control = MakeControl(10, 10, 40, 30);
    control->refuseSize = true;
    control->SetBounds(1, 2, 99, 99);
    EXPECT_EQ(control->BoundsRect(), (graphics::Rect{10, 10, 50, 40})) << "refused: nothing changes";
    control->refuseSize = false;

    control->autoSizeTo50x20 = true;
    control->SetBounds(1, 2, 99, 99);
    EXPECT_EQ(control->BoundsRect(), (graphics::Rect{1, 2, 100, 101})) << "AutoSize is off";
    control->SetAutoSize(true);
    EXPECT_EQ(control->BoundsRect(), (graphics::Rect{1, 2, 51, 22})) << "switching it on adjusts";
    control->SetBounds(5, 6, 300, 300);
    EXPECT_EQ(control->BoundsRect(), (graphics::Rect{5, 6, 55, 26}));
}

TEST_F(ControlTest, ChildrenKeepTheirOrderAndLeaveTheListWhenDestroyed)
{
    auto parent = MakeControl(0, 0, 100, 100);
    auto a = std::make_unique<ProbeControl>();
    auto b = std::make_unique<ProbeControl>();
    auto c = std::make_unique<FillingGraphic>();
    a->SetParent(parent.get());
    b->SetParent(parent.get());
    c->SetParent(parent.get());
    ASSERT_EQ(parent->ControlCount(), 3);
    EXPECT_EQ(a->Handle()->parentWidget(), parent->Handle());
    EXPECT_EQ(a->ParentForm(), m_Form.get());
    c->SendToBack();
    EXPECT_EQ(parent->Controls(0), c.get());
    EXPECT_EQ(parent->Controls(1), a.get());
    a->BringToFront();
    EXPECT_EQ(parent->Controls(2), a.get());
    b.reset();
    ASSERT_EQ(parent->ControlCount(), 2);
    EXPECT_EQ(parent->Controls(0), c.get());
    EXPECT_EQ(parent->Controls(1), a.get());

    // Moving a child to the form takes it out of the list.
    a->SetParent(m_Form.get());
    EXPECT_EQ(parent->ControlCount(), 1);
    EXPECT_EQ(a->Handle()->parentWidget(), m_Form->Host());

    // A destroyed parent leaves its children without a parent, and their widgets alive.
    c->SetParent(parent.get());
    auto d = std::make_unique<ProbeControl>();
    d->SetParent(parent.get());
    parent.reset();
    EXPECT_EQ(c->Parent(), nullptr);
    EXPECT_EQ(d->Parent(), nullptr);
    ASSERT_NE(d->Handle(), nullptr);
    EXPECT_FALSE(d->Handle()->isVisible());
    c->Invalidate(); // no parent: nothing to ask
}

TEST_F(ControlTest, WidgetIsShownOnlyWhenVisibleAndParented)
{
    auto control = std::make_unique<ProbeControl>();
    EXPECT_FALSE(control->Handle()->isVisible()) << "no parent yet";
    control->SetParent(m_Form.get());
    EXPECT_TRUE(control->Handle()->isVisible());
    control->Hide();
    EXPECT_FALSE(control->Handle()->isVisible());
    control->SetParent(static_cast<Form*>(nullptr));
    control->Show();
    EXPECT_FALSE(control->Handle()->isVisible());
}

TEST_F(ControlTest, HintShowsAsTooltipOnlyWithShowHint)
{
    auto control = MakeControl();
    control->SetHint("Switch the watchdog");
    EXPECT_TRUE(control->Handle()->toolTip().isEmpty());
    control->SetShowHint(true);
    EXPECT_EQ(control->Handle()->toolTip(), QString("Switch the watchdog"));
    control->SetShowHint(false);
    EXPECT_TRUE(control->Handle()->toolTip().isEmpty());
}

TEST_F(ControlTest, KeysGiveKeyDownThenKeyPressUnlessTheKeyIsConsumed)
{
    auto control = MakeControl();
    std::vector<std::string> log;
    bool consume = false;
    control->OnKeyDown = [&](Component*, std::uint16_t& key, ShiftState shift) {
        log.push_back("down " + std::to_string(key) + " " + std::to_string(shift));
        if (consume)
            key = 0;
    };
    control->OnKeyPress = [&](Component*, char16_t& ch) { log.push_back("press " + std::to_string(int(ch))); };
    QTest::keyClick(control->Handle(), Qt::Key_Space);
    QTest::keyClick(control->Handle(), Qt::Key_A);
    QTest::keyClick(control->Handle(), Qt::Key_Left, Qt::ShiftModifier);
    consume = true;
    QTest::keyClick(control->Handle(), Qt::Key_Return);
    const std::string shift = std::to_string(ssShift);
    const std::vector<std::string> expected = {"down 32 0", "press 32",  "down 65 0", "press 97",
                                               "down 16 " + shift, "down 37 " + shift, "down 13 0"};
    EXPECT_EQ(log, expected);
}

TEST_F(ControlTest, VirtualKeysOfQtKeys)
{
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Z), 'Z');
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_7), '7');
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Enter), VK_RETURN);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Left), VK_LEFT);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F3), VK_F1 + 2);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Delete), VK_DELETE);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_VolumeUp), 0);
}

TEST_F(ControlTest, TrackingDeliversOneHoverAndOneLeave)
{
    auto control = MakeControl();
    QTest::mouseMove(control->Handle(), QPoint(4, 5));
    EXPECT_FALSE(control->HoverPending());
    control->TrackMouse(framework::Tracking::LeaveAndHover, 150);
    EXPECT_TRUE(control->HoverPending());
    EXPECT_EQ(control->HoverPendingTime(), 150);
    QTest::mousePress(control->Handle(), Qt::LeftButton, Qt::ControlModifier, QPoint(6, 7));
    control->FireHover();
    EXPECT_EQ(control->hovers, 1);
    EXPECT_EQ(control->hoverShift, ssLeft | ssCtrl);
    EXPECT_EQ(control->hoverX, 6);
    EXPECT_EQ(control->hoverY, 7);
    EXPECT_FALSE(control->HoverPending()) << "a hover is delivered once per arming";
    control->FireHover();
    EXPECT_EQ(control->hovers, 1);
    QTest::mouseRelease(control->Handle(), Qt::LeftButton, Qt::NoModifier, QPoint(6, 7));

    control->TrackMouse(framework::Tracking::LeaveAndHover, 150);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(control->Handle(), &leave);
    EXPECT_EQ(control->trackedLeaves, 1);
    EXPECT_FALSE(control->HoverPending()) << "a leave cancels the pending hover";
    QCoreApplication::sendEvent(control->Handle(), &leave);
    EXPECT_EQ(control->trackedLeaves, 1) << "no second leave without arming again";

    // Leave tracking alone gives no hover.
    control->TrackMouse(framework::Tracking::LeaveOnly, 10);
    EXPECT_FALSE(control->HoverPending());
    EXPECT_TRUE(control->LeaveTracking());
}

TEST_F(ControlTest, HoverTimerFiresFromTheEventLoop)
{
    auto control = MakeControl();
    control->TrackMouse(framework::Tracking::LeaveAndHover, 5);
    QTRY_COMPARE_WITH_TIMEOUT(control->hovers, 1, 5000);
}

TEST_F(ControlTest, EnterAndLeaveFireTheFrameworkEvents)
{
    auto control = MakeControl();
    int enters = 0;
    int leaves = 0;
    control->OnMouseEnter = [&](Component*) { ++enters; };
    control->OnMouseLeave = [&](Component*) { ++leaves; };
    QEnterEvent enter(QPointF(1, 1), QPointF(11, 11), QPointF(11, 11));
    QCoreApplication::sendEvent(control->Handle(), &enter);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(control->Handle(), &leave);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
    EXPECT_EQ(control->trackedLeaves, 0) << "no tracked leave without tracking";
}

TEST_F(ControlTest, WindowlessChildrenPaintOnTheParentSurfaceClippedToTheirBounds)
{
    auto parent = MakeControl(0, 0, 10, 10);
    auto child = std::make_unique<FillingGraphic>();
    child->SetBounds(2, 3, 4, 2);
    child->SetParent(parent.get());
    Flush();
    child->Invalidate();
    EXPECT_TRUE(parent->PaintPending()) << "a windowless control repaints through its parent";
    Flush();
    EXPECT_EQ(child->originSeen, (graphics::Point{2, 3}));
    graphics::Bitmap& s = parent->Surface();
    EXPECT_EQ(PixelAt(s, 2, 3), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(s, 5, 4), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(s, 1, 3), 0xFF0000FFu) << "left of the child";
    EXPECT_EQ(PixelAt(s, 6, 4), 0xFF0000FFu) << "right of the child";
    EXPECT_EQ(PixelAt(s, 2, 5), 0xFF0000FFu) << "below the child";
    EXPECT_EQ(PixelAt(s, 2, 2), 0xFF0000FFu) << "above the child";
    EXPECT_FALSE(s.Canvas().ClipRegion().has_value()) << "the clip region is restored";
    EXPECT_EQ(s.Canvas().ViewportOrigin(), (graphics::Point{0, 0}));

    const int paints = child->paints;
    child->Hide();
    EXPECT_TRUE(parent->PaintPending()) << "hiding shows what was under the child";
    Flush();
    EXPECT_EQ(child->paints, paints);
    EXPECT_EQ(PixelAt(s, 2, 3), 0xFF0000FFu);
    child->Invalidate();
    EXPECT_FALSE(parent->PaintPending()) << "a hidden child asks for nothing";
}

TEST_F(ControlTest, CaptionAndFontChangesRepaintOnlyOnAChange)
{
    auto control = MakeControl();
    Flush();
    control->SetCaption("Apply");
    EXPECT_TRUE(control->PaintPending());
    Flush();
    control->SetCaption("Apply");
    EXPECT_FALSE(control->PaintPending());
    graphics::TFont font = control->Font();
    control->SetFont(font);
    EXPECT_FALSE(control->PaintPending());
    font.Bold = true;
    control->SetFont(font);
    EXPECT_TRUE(control->PaintPending());
}

TEST_F(ControlTest, TabStopDecidesWhetherTheControlTakesFocus)
{
    auto control = MakeControl();
    EXPECT_EQ(control->Handle()->focusPolicy(), Qt::NoFocus);
    control->SetTabStop(true);
    EXPECT_EQ(control->Handle()->focusPolicy(), Qt::StrongFocus);
    EXPECT_TRUE(control->CanFocus());
    control->SetEnabled(false);
    EXPECT_FALSE(control->CanFocus());
}

TEST_F(ControlTest, FocusInAndOutFireEnterAndExit)
{
    auto control = MakeControl();
    std::vector<std::string> log;
    control->OnEnter = [&](Component*) { log.push_back("enter"); };
    control->OnExit = [&](Component*) { log.push_back("exit"); };
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(control->Handle(), &in);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(control->Handle(), &out);
    EXPECT_EQ(log, (std::vector<std::string>{"enter", "exit"}));
}

namespace {

// Sizes itself to 6 pixels per caption character and 10 pixels high.
class CaptionSized : public GraphicControl {
protected:
    bool CanAutoSize(int& w, int& h) override
    {
        w = 6 * static_cast<int>(Caption().size());
        h = 10;
        return true;
    }
};

} // namespace

TEST_F(ControlTest, AWindowlessControlWithAutoSizeFollowsItsCaption)
{
    auto parent = MakeControl(0, 0, 100, 100);
    CaptionSized label;
    label.SetParent(parent.get());
    label.SetBounds(4, 5, 50, 50);
    label.SetCaption("abc");
    EXPECT_EQ(label.Width(), 50) << "AutoSize is off";
    int resizes = 0;
    label.OnResize = [&](Component*) { ++resizes; };
    label.SetAutoSize(true);
    EXPECT_EQ(label.BoundsRect(), (graphics::Rect{4, 5, 22, 15}));
    label.SetCaption("abcd");
    EXPECT_EQ(label.Width(), 24);
    EXPECT_EQ(resizes, 2);
    Flush();
    label.SetCaption("abcd");
    EXPECT_EQ(resizes, 2);
    EXPECT_FALSE(parent->PaintPending()) << "an unchanged caption repaints nothing";
    label.SetParent(static_cast<Control*>(nullptr));
}
