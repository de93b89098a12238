#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GsWidgetTestSupport.h"

using namespace widgettest;
using framework::mbLeft;
using framework::mbRight;
using framework::ssLeft;

namespace {

using Log = std::vector<std::string>;

// A root at (0, 0) of 100 x 100 with children a (10,10 20x20) and b (15,15 20x20, overlapping
// a and behind it in list order).
struct Tree {
    Log log;
    LogWidget* root;
    LogWidget* a;
    LogWidget* b;
    std::unique_ptr<LogWidget> owner;

    Tree()
    {
        owner = std::make_unique<LogWidget>("root", &log);
        root = owner.get();
        root->SetBounds(0, 0, 100, 100);
        a = new LogWidget("a", &log);
        a->SetBounds(10, 10, 20, 20);
        a->SetParent(root);
        b = new LogWidget("b", &log);
        b->SetBounds(15, 15, 20, 20);
        b->SetParent(root);
        log.clear();
    }
};

class CaptureObserver : public gs::GsWidgetObserver {
public:
    void CaptureHolder(gs::GsWidget* child) override { holders.push_back(child); }
    std::vector<gs::GsWidget*> holders;
};

} // namespace

// ---- size negotiation ----

TEST(WidgetSize, RefusedSizeChangesNothingAndSendsNoResize)
{
    LogWidget w("w", nullptr);
    w.SetBounds(1, 2, 30, 40);
    int resizes = 0;
    w.OnResize = [&](gs::GsWidget*) { ++resizes; };
    w.refuseResize = true;
    w.SetBounds(5, 6, 70, 80);
    EXPECT_EQ(w.BoundsRect(), (graphics::Rect{1, 2, 31, 42})) << "not even the position moves";
    EXPECT_EQ(resizes, 0);
}

TEST(WidgetSize, ResizeFiresOnlyWhenWidthOrHeightChanges)
{
    LogWidget w("w", nullptr);
    w.SetBounds(0, 0, 30, 40);
    int resizes = 0;
    w.OnResize = [&](gs::GsWidget* sender) {
        EXPECT_EQ(sender, &w);
        ++resizes;
    };
    w.SetLeft(9);
    w.SetTop(8);
    EXPECT_EQ(resizes, 0);
    EXPECT_EQ(w.Left(), 9);
    EXPECT_EQ(w.Top(), 8);
    w.SetWidth(31);
    EXPECT_EQ(resizes, 1);
    w.SetHeight(41);
    EXPECT_EQ(resizes, 2);
    w.SetBounds(9, 8, 31, 41);
    EXPECT_EQ(resizes, 2);
}

TEST(WidgetSize, ACounterProposalOfCanResizeIsTaken)
{
    LogWidget w("w", nullptr);
    w.maxWidth = 50;
    w.SetBounds(0, 0, 80, 10);
    EXPECT_EQ(w.Width(), 50);
}

TEST(WidgetSize, AutoSizeTakesTheProposalWhenCanResizeAcceptsIt)
{
    LogWidget w("w", nullptr);
    w.autoSize = true;
    w.autoWidth = 24;
    w.autoHeight = 12;
    w.SetBounds(0, 0, 80, 80);
    EXPECT_EQ(w.Width(), 24);
    EXPECT_EQ(w.Height(), 12);

    // The proposal goes through CanResize, which may clamp it.
    w.autoWidth = 90;
    w.maxWidth = 60;
    w.SetBounds(0, 0, 10, 10);
    EXPECT_EQ(w.Width(), 60);
    EXPECT_EQ(w.Height(), 12);
}

TEST(WidgetSize, WithoutAutoSizeTheProposalIsIgnored)
{
    LogWidget w("w", nullptr);
    w.autoSize = true;
    w.autoWidth = 24;
    w.autoHeight = 12;
    w.SetAutoSize(false);
    w.SetBounds(0, 0, 80, 70);
    EXPECT_EQ(w.Width(), 80);
    EXPECT_EQ(w.Height(), 70);
}

// ---- state setters ----

TEST(WidgetState, SetEnabledReachesChildrenOnlyWithShareEvents)
{
    Tree t;
    t.root->SetEnabled(false);
    EXPECT_TRUE(t.a->Enabled()) << "children keep their state without ShareEvents";
    EXPECT_TRUE(t.b->Enabled());
    t.root->SetEnabled(true);
    t.root->SetOptions(gs::ShareEvents);
    t.root->SetEnabled(false);
    EXPECT_FALSE(t.a->Enabled());
    EXPECT_FALSE(t.b->Enabled());
    t.root->SetEnabled(true);
    EXPECT_TRUE(t.a->Enabled());
}

TEST(WidgetState, DefaultsOfANewWidget)
{
    gs::GsWidget w;
    EXPECT_EQ(w.Options(), gs::WidgetOptions(gs::ClickOnRelease));
    EXPECT_TRUE(w.Visible());
    EXPECT_TRUE(w.Enabled());
    EXPECT_TRUE(w.AutoSize());
    EXPECT_TRUE(w.TransparentHit());
    EXPECT_EQ(w.HitAlphaLimit(), 40);
    EXPECT_EQ(w.AlphaValue(), 255);
    EXPECT_EQ(w.AlphaFormat(), gafPremultiplied);
    EXPECT_EQ(w.Captured(), nullptr);
    EXPECT_EQ(w.ChildCount(), 0);
}

TEST(WidgetTree, SetParentMovesTheWidgetAndTheParentDestroysItsChildren)
{
    bool destroyed = false;
    {
        Tree t;
        auto* other = new LogWidget("other", nullptr);
        other->SetParent(t.root);
        t.a->destroyed = &destroyed;
        t.a->SetParent(other);
        EXPECT_EQ(t.root->ChildCount(), 2);
        EXPECT_EQ(t.root->Child(0), t.b);
        EXPECT_EQ(t.root->Child(1), other);
        EXPECT_EQ(other->ChildCount(), 1);
        EXPECT_EQ(t.a->Parent(), other);
        EXPECT_EQ(t.a->Root(), t.root);
        t.a->SetParent(other); // already there: nothing
        EXPECT_EQ(other->ChildCount(), 1);
        t.root->SetParent(t.a); // into its own subtree: refused
        EXPECT_EQ(t.root->Parent(), nullptr);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed) << "the grandchild dies with the tree";
}

TEST(WidgetTree, AChildTakenOutBelongsToTheCaller)
{
    Tree t;
    bool destroyed = false;
    t.a->destroyed = &destroyed;
    t.a->SetParent(nullptr);
    std::unique_ptr<LogWidget> taken(t.a);
    EXPECT_EQ(t.root->ChildCount(), 1);
    t.owner.reset();
    EXPECT_FALSE(destroyed);
    taken.reset();
    EXPECT_TRUE(destroyed);
}

// ---- mouse routing ----

TEST(WidgetRouting, FirstChildInListOrderTakesTheDownAndTheCapture)
{
    Tree t;
    CaptureObserver observer;
    t.root->SetObserver(&observer);
    t.root->MouseDown(mbLeft, ssLeft, 20, 20); // inside both a and b
    EXPECT_EQ(t.root->Captured(), t.a);
    EXPECT_EQ(t.log, (Log{"a down0 20,20"})) << "the root handles nothing itself";
    ASSERT_EQ(observer.holders.size(), 1u);
    EXPECT_EQ(observer.holders[0], t.a);

    // Moves go to the capturing child even outside it, with the left button held.
    t.log.clear();
    t.root->MouseMove(ssLeft, 70, 80);
    EXPECT_EQ(t.root->Captured(), t.a);
    EXPECT_EQ(t.log, (Log{"root enter", "a enter", "a move 70,80"}));

    t.log.clear();
    t.root->MouseUp(mbLeft, 0, 70, 80);
    EXPECT_EQ(t.root->Captured(), nullptr) << "the child dropped its own capture";
    EXPECT_EQ(t.log, (Log{"a click", "a up0 70,80"}));
}

TEST(WidgetRouting, AMoveWithoutTheLeftButtonReleasesAChildsCapture)
{
    Tree t;
    t.root->MouseDown(mbLeft, ssLeft, 12, 12);
    ASSERT_EQ(t.root->Captured(), t.a);
    t.log.clear();
    t.root->MouseMove(0, 33, 33); // only b is there
    EXPECT_EQ(t.root->Captured(), nullptr);
    EXPECT_EQ(t.log, (Log{"root enter", "b enter", "b move 33,33"}));
}

TEST(WidgetRouting, IneligibleChildrenAreSkipped)
{
    Tree t;
    t.a->SetMouseTransparent(true);
    t.root->MouseDown(mbLeft, ssLeft, 20, 20);
    EXPECT_EQ(t.root->Captured(), t.b);
    t.root->MouseUp(mbLeft, 0, 20, 20);

    t.a->SetMouseTransparent(false);
    t.a->SetVisible(false);
    t.b->SetEnabled(false);
    t.log.clear();
    t.root->MouseDown(mbLeft, ssLeft, 20, 20);
    EXPECT_EQ(t.root->Captured(), t.root) << "nobody eligible: the widget takes it itself";
    EXPECT_EQ(t.log, (Log{"root down0 20,20"}));
}

TEST(WidgetRouting, ChildrenGetLocalCoordinatesWithTheScrollOrigin)
{
    Log log;
    LogWidget root("root", &log);
    root.SetBounds(0, 0, 200, 200);
    auto* panel = new LogWidget("panel", &log);
    panel->SetBounds(5, 5, 50, 50);
    panel->SetScrollOrigin({100, 0});
    panel->SetParent(&root);
    auto* item = new LogWidget("item", &log);
    item->SetBounds(100, 0, 10, 10);
    item->SetParent(panel);

    root.MouseDown(mbLeft, ssLeft, 7, 8);
    // The panel gets (7, 8) in its parent's coordinates; its child gets 7 - 5 + 100, 8 - 5.
    EXPECT_EQ(log, (Log{"item down0 102,3"}));
    EXPECT_EQ(panel->Captured(), item);
}

TEST(WidgetRouting, ShareEventsLetsTheWidgetHandleTheDownToo)
{
    Tree t;
    t.root->SetOptions(gs::ShareEvents);
    int downs = 0;
    t.root->OnMouseDown = [&](gs::GsWidget*, framework::MouseButton, framework::ShiftState, int, int) { ++downs; };
    t.root->MouseDown(mbLeft, ssLeft, 12, 12);
    EXPECT_EQ(t.log, (Log{"a down0 12,12", "root down0 12,12"}));
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(t.root->Captured(), t.a) << "the capture stays with the child";

    int moves = 0;
    t.root->OnMouseMove = [&](gs::GsWidget*, framework::ShiftState, int, int) { ++moves; };
    t.root->MouseMove(ssLeft, 13, 13);
    EXPECT_EQ(moves, 1);
}

TEST(WidgetRouting, ReleaseClicksOnlyWithClickOnReleaseAndTheLeftButton)
{
    Log log;
    LogWidget w("w", &log);
    w.SetBounds(0, 0, 10, 10);
    int clicks = 0;
    w.OnClick = [&](gs::GsWidget*) { ++clicks; };

    w.MouseDown(mbRight, framework::ssRight, 1, 1);
    w.MouseUp(mbRight, 0, 1, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(w.Captured(), &w) << "a right release leaves the capture";

    w.MouseDown(mbLeft, ssLeft, 1, 1);
    w.MouseUp(mbLeft, 0, 1, 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(w.Captured(), nullptr);
    EXPECT_EQ(log, (Log{"w down1 1,1", "w down0 1,1", "w click", "w up0 1,1"}));

    w.SetOptions(0);
    w.MouseDown(mbLeft, ssLeft, 1, 1);
    w.MouseUp(mbLeft, 0, 1, 1);
    EXPECT_EQ(clicks, 1);

    // A release without a press on the widget does not click either.
    w.SetOptions(gs::ClickOnRelease);
    w.MouseUp(mbLeft, 0, 1, 1);
    EXPECT_EQ(clicks, 1);
}

TEST(WidgetRouting, EnterOnceAndLeaveClearsHoverAndCapture)
{
    Tree t;
    int enters = 0;
    int leaves = 0;
    t.root->OnMouseEnter = [&](gs::GsWidget*) { ++enters; };
    t.root->OnMouseLeave = [&](gs::GsWidget*) { ++leaves; };
    t.root->MouseMove(0, 50, 50);
    t.root->MouseMove(0, 60, 60);
    EXPECT_EQ(enters, 1);
    EXPECT_TRUE(t.root->Hovered());
    t.root->MouseMove(0, 12, 12);
    EXPECT_EQ(enters, 1);
    t.root->MouseDown(mbLeft, ssLeft, 12, 12);
    t.log.clear();
    t.root->MouseLeave();
    EXPECT_FALSE(t.root->Hovered());
    EXPECT_EQ(t.root->Captured(), nullptr);
    EXPECT_EQ(leaves, 1);
    EXPECT_EQ(t.log, (Log{"a leave", "root leave"}));
    t.root->MouseLeave();
    EXPECT_EQ(leaves, 1) << "no leave when not hovered";
}

TEST(WidgetRouting, ADisabledOrInvisibleWidgetIgnoresInput)
{
    Tree t;
    t.root->SetEnabled(false);
    t.root->MouseMove(0, 12, 12);
    t.root->MouseDown(mbLeft, ssLeft, 12, 12);
    t.root->MouseUp(mbLeft, 0, 12, 12);
    t.root->Click();
    EXPECT_TRUE(t.log.empty());
    t.root->SetEnabled(true);
    t.root->SetVisible(false);
    t.root->MouseDown(mbLeft, ssLeft, 12, 12);
    EXPECT_TRUE(t.log.empty());
    EXPECT_EQ(t.root->Captured(), nullptr);
}

// ---- hit test ----

TEST(WidgetHitTest, RectangleWithExclusiveRightAndBottomEdges)
{
    gs::GsWidget w;
    w.SetBounds(10, 20, 5, 4);
    EXPECT_TRUE(w.HitTest(10, 20));
    EXPECT_TRUE(w.HitTest(14, 23));
    EXPECT_FALSE(w.HitTest(15, 23));
    EXPECT_FALSE(w.HitTest(14, 24));
    EXPECT_FALSE(w.HitTest(9, 20));
    EXPECT_FALSE(w.HitTest(10, 19));
}
