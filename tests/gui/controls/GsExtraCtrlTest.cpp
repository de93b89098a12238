#include "GsButtonTestSupport.h"

#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/GsImage.h"
#include "system/common.h"

#include <string>

using namespace kittest;

namespace {

constexpr std::uint32_t kCheckedColor = 0xFF00FFFF;
constexpr std::uint32_t kGrayColor = 0xFF404040;

void SetUncheckedStates(GsButtonAppearance& set, int w, int h)
{
    set.SetRaised(*Solid(w, h, kRaisedColor));
    set.SetSunken(*Solid(w, h, kSunkenColor));
    set.SetHovered(*Solid(w, h, kHoveredColor));
    set.SetDisabled(*Solid(w, h, kDisabledColor));
}

std::uint32_t Rendered(GsCustomControl& control)
{
    graphics::Bitmap bitmap;
    control.RenderTo(&bitmap);
    return Pixel(bitmap, 1, 1);
}

int CountLines(const std::string& text, const std::string& line)
{
    int count = 0;
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
        ++count;
    return count;
}

} // namespace

TEST(GsCheckBoxAppearance, CheckedAndGrayFallBackToUncheckedAfterTheirOwnFallbacks)
{
    std::vector<int> told;
    GsCheckBoxAppearance appearance([&](int index) { told.push_back(index); });
    SetUncheckedStates(appearance.Unchecked(), 2, 2);
    EXPECT_EQ(appearance.GetImage(cbChecked, ButtonState::Hovered), appearance.Unchecked().Hovered());
    EXPECT_EQ(appearance.GetImage(cbGrayed, ButtonState::Sunken), appearance.Unchecked().Sunken());

    appearance.Gray().SetRaised(*Solid(2, 2, kGrayColor));
    // Inside the gray set Hovered falls back to its own Raised before the unchecked set is asked.
    EXPECT_EQ(appearance.GetImage(cbGrayed, ButtonState::Hovered), appearance.Gray().Raised());
    EXPECT_EQ(appearance.GetImage(cbChecked, ButtonState::Hovered), appearance.Unchecked().Hovered());
    EXPECT_EQ(appearance.GetImage(cbUnchecked, ButtonState::Raised), appearance.Unchecked().Raised());

    told.clear();
    appearance.Checked().SetHovered(*Solid(1, 1, kCheckedColor));
    appearance.Gray().SetRaised(*Solid(1, 1, kGrayColor));
    appearance.Unchecked().SetActive(*Solid(1, 1, kGrayColor));
    EXPECT_EQ(told, (std::vector<int>{8, 12, 5}));

    GsCheckBoxAppearance copy;
    copy.Assign(appearance);
    EXPECT_EQ(Pixel(*copy.Checked().Hovered(), 0, 0), kCheckedColor);
}

TEST(GsCheckBoxOuterGlowTextEffect, CheckedCopiesUncheckedGrayedTurnsItsRaisedGray)
{
    GsCheckBoxOuterGlowTextEffect effects;
    effects.Unchecked().Raised().SetRadius(3);
    graphics::TFont font;
    font.Color = 0xDEDEDE;
    effects.Unchecked().Hovered().SetFont(font);

    EXPECT_FALSE(effects.HasChecked());
    EXPECT_EQ(effects.Checked().Raised().Radius(), 3u);
    EXPECT_EQ(effects.Checked().Hovered().Font().Color, 0xDEDEDEu);
    EXPECT_EQ(effects.Grayed().Raised().Font().Color, 0x808080u);
    EXPECT_EQ(effects.Grayed().Raised().Radius(), 3u);
    EXPECT_EQ(effects.Grayed().Hovered().Font().Color, 0xDEDEDEu);
    EXPECT_NE(effects.Unchecked().Raised().Font().Color, 0x808080u);

    EXPECT_EQ(effects.GetEffect(cbChecked, ButtonState::Hovered), &effects.Checked().Hovered().Adapter());
    EXPECT_EQ(effects.GetEffect(cbGrayed, ButtonState::Raised), &effects.Grayed().Raised().Adapter());
    EXPECT_EQ(effects.GetEffect(cbUnchecked, ButtonState::Sunken), &effects.Unchecked().Sunken().Adapter());
}

class GsCheckBoxTest : public KitTest {
protected:
    void Build(GsCheckBox& box)
    {
        box.SetParent(m_Form.get());
        SetUncheckedStates(box.Appearance().Unchecked(), 16, 16);
        box.Appearance().Checked().SetRaised(*Solid(16, 16, kCheckedColor));
        box.Appearance().Gray().SetRaised(*Solid(16, 16, kGrayColor));
        box.OnClick = framework::NotifyEvent([this](framework::Component*) { ++m_Clicks; });
        box.OnChange = framework::NotifyEvent([this](framework::Component*) { ++m_Changes; });
        Pump();
    }

    void ClickOn(GsCustomControl& control)
    {
        QTest::mouseClick(control.Handle(), Qt::LeftButton, {}, QPoint(4, 4));
    }

    int m_Clicks = 0;
    int m_Changes = 0;
};

TEST_F(GsCheckBoxTest, ClicksAlternateCheckedAndUnchecked)
{
    GsCheckBox box;
    Build(box);
    EXPECT_EQ(box.Width(), 16);
    ClickOn(box);
    EXPECT_TRUE(box.Checked());
    ClickOn(box);
    EXPECT_FALSE(box.Checked());
    EXPECT_EQ(box.State(), cbUnchecked);
    ClickOn(box);
    EXPECT_EQ(box.State(), cbChecked);
    EXPECT_EQ(m_Clicks, 3);
    EXPECT_EQ(m_Changes, 3);
}

TEST_F(GsCheckBoxTest, AllowGrayedCyclesThroughGrayedThenChecked)
{
    GsCheckBox box;
    Build(box);
    box.SetAllowGrayed(true);
    ClickOn(box);
    EXPECT_EQ(box.State(), cbGrayed);
    ClickOn(box);
    EXPECT_EQ(box.State(), cbChecked);
    ClickOn(box);
    EXPECT_EQ(box.State(), cbUnchecked);
    EXPECT_EQ(m_Changes, 3);
}

TEST_F(GsCheckBoxTest, ProgramGrayedShowsTheGraySetAndTheNextClickChecks)
{
    GsCheckBox box;
    Build(box);
    box.SetState(cbGrayed);
    EXPECT_EQ(Rendered(box), kGrayColor);
    ClickOn(box);
    EXPECT_EQ(box.State(), cbChecked);
}

TEST_F(GsCheckBoxTest, SetCheckedOnAGrayedBox)
{
    GsCheckBox box;
    Build(box);
    box.SetState(cbGrayed);
    box.SetChecked(false);
    EXPECT_EQ(box.State(), cbGrayed);
    box.SetChecked(true);
    EXPECT_EQ(box.State(), cbChecked);
    EXPECT_EQ(m_Changes, 2);
    box.SetChecked(true);
    box.SetState(cbChecked);
    EXPECT_EQ(m_Changes, 2);
    EXPECT_EQ(m_Clicks, 0);
}

TEST_F(GsCheckBoxTest, SpaceTogglesEnterDoesNot)
{
    GsCheckBox box;
    Build(box);
    QTest::keyClick(box.Handle(), Qt::Key_Return);
    EXPECT_FALSE(box.Checked());
    QTest::keyClick(box.Handle(), Qt::Key_Space);
    EXPECT_TRUE(box.Checked());
    QTest::keyClick(box.Handle(), Qt::Key_Space);
    EXPECT_FALSE(box.Checked());
    EXPECT_EQ(m_Clicks, 2);
}

TEST_F(GsCheckBoxTest, ImageFollowsHoverPressAndCheckState)
{
    GsCheckBox box;
    Build(box);
    QWidget* handle = box.Handle();
    EXPECT_EQ(Rendered(box), kRaisedColor);
    HoverAt(handle, QPoint(3, 3));
    EXPECT_EQ(Rendered(box), kHoveredColor);
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(Rendered(box), kSunkenColor);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(3, 3));
    // Checked has no hover image of its own: its Raised shows.
    EXPECT_EQ(Rendered(box), kCheckedColor);
    box.SetEnabled(false);
    EXPECT_EQ(box.CheckBoxWidget().CurrentState(), ButtonState::Disabled);
}

TEST_F(GsCheckBoxTest, HitTestUsesTheUncheckedHoverImageWhateverTheState)
{
    GsCheckBox box;
    Build(box);
    auto hovered = Solid(16, 16, kHoveredColor);
    SetPixel(*hovered, 2, 2, 0);
    box.Appearance().Unchecked().SetHovered(*hovered);
    box.SetTransparentHit(false);
    box.SetChecked(true);
    EXPECT_FALSE(box.Widget()->HitTest(2, 2));
    EXPECT_TRUE(box.Widget()->HitTest(3, 2));
}

TEST_F(GsCheckBoxTest, FontChangesReachTheUncheckedRaisedStyle)
{
    GsCheckBox box;
    graphics::TFont font;
    font.Name = "Candara";
    font.Color = 0x123456;
    box.SetFont(font);
    EXPECT_EQ(box.TextEffect().Unchecked().Raised().Font(), font);
}

TEST_F(GsCheckBoxTest, PanelNeverTogglesNorSinks)
{
    GsPanel panel;
    panel.SetParent(m_Form.get());
    SetUncheckedStates(panel.Appearance().Unchecked(), 16, 16);
    int clicks = 0;
    panel.OnClick = framework::NotifyEvent([&](framework::Component*) { ++clicks; });
    Pump();
    QWidget* handle = panel.Handle();
    HoverAt(handle, QPoint(3, 3));
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(Rendered(panel), kHoveredColor);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(panel.Checked());
}

TEST_F(GsCheckBoxTest, PanelCheckedTrueWritesTheDebugLineEachCall)
{
    ResetTraceLogPathForTesting();
    GsPanel panel;
    panel.SetChecked(true);
    panel.SetChecked(true);
    panel.SetChecked(false);
    EXPECT_TRUE(!panel.Checked());
    const std::string log = testsupport::ReadFile(GetLogFolder() + "trace.log");
    EXPECT_EQ(CountLines(log, "GsPanel::SetChecked true\n"), 2);
    ResetTraceLogPathForTesting();
}

TEST_F(GsCheckBoxTest, PanelAnswersFromItsCacheUntilInvalidated)
{
    GsPanel panel;
    panel.Appearance().Unchecked().SetRaised(*Solid(4, 4, kRaisedColor));
    EXPECT_EQ(Rendered(panel), kRaisedColor);
    EXPECT_FALSE(panel.Dirty());

    // Changing pixels in place tells nobody: the cache still answers.
    panel.Appearance().Unchecked().Raised()->Assign(*Solid(4, 4, 0));
    EXPECT_EQ(Rendered(panel), kRaisedColor);

    panel.Invalidate();
    EXPECT_TRUE(panel.Dirty());
    EXPECT_EQ(Rendered(panel), 0u);
}

TEST_F(GsCheckBoxTest, PanelPaintFillsCacheAndSurfaceWithoutAfterPaint)
{
    GsPanel panel;
    panel.SetParent(m_Form.get());
    panel.Appearance().Unchecked().SetRaised(*Solid(4, 4, kRaisedColor));
    int afterPaint = 0;
    panel.OnAfterPaint = framework::NotifyEvent([&](framework::Component*) { ++afterPaint; });
    Pump();
    panel.Invalidate();
    EXPECT_TRUE(panel.Dirty());
    ASSERT_TRUE(panel.PaintPending());
    panel.Update();
    EXPECT_FALSE(panel.Dirty());
    EXPECT_EQ(afterPaint, 0);
    EXPECT_EQ(Pixel(panel.Cache(), 1, 1), kRaisedColor);
    EXPECT_EQ(Pixel(panel.Surface(), 1, 1), kRaisedColor);
}

TEST_F(GsCheckBoxTest, PanelInvalidatesWindowlessChildrenWithoutComingBack)
{
    GsPanel panel;
    panel.SetParent(m_Form.get());
    panel.Appearance().Unchecked().SetRaised(*Solid(8, 8, kRaisedColor));
    GsImage image;
    image.SetParent(&panel);
    image.SetPicture(*Solid(2, 2, kHoveredColor));
    image.SetBounds(1, 1, 2, 2);
    GsButton child;
    child.SetParent(&panel);
    Pump();
    EXPECT_EQ(Rendered(panel), kRaisedColor);
    panel.Invalidate();
    EXPECT_TRUE(panel.Dirty());
    EXPECT_TRUE(child.PaintPending());
    Pump();
    EXPECT_FALSE(panel.Dirty());
}

TEST_F(GsCheckBoxTest, OnlyAScrollablePanelPaintsWhenItsBackgroundIsErased)
{
    GsPanel panel;
    panel.Appearance().Unchecked().SetRaised(*Solid(4, 4, kRaisedColor));
    panel.Invalidate();
    panel.EraseBackground();
    EXPECT_TRUE(panel.Dirty());
    EXPECT_TRUE(panel.Cache().Empty());
    panel.SetScrollable(true);
    panel.EraseBackground();
    EXPECT_FALSE(panel.Dirty());
    EXPECT_EQ(Pixel(panel.Cache(), 3, 3), kRaisedColor);
}

TEST_F(GsCheckBoxTest, ChildWithParentBackgroundReadsThePanelPicture)
{
    GsPanel panel;
    panel.Appearance().Unchecked().SetRaised(*Solid(10, 10, kRaisedColor));
    GsButton child;
    child.SetParent(&panel);
    auto image = Solid(4, 4, kHoveredColor);
    SetPixel(*image, 1, 1, 0);
    child.Appearance().SetRaised(*image);
    child.SetLeft(2);
    child.SetTop(2);
    child.SetParentBackground(true);
    EXPECT_EQ(Rendered(child), kRaisedColor);
    graphics::Bitmap bitmap;
    child.RenderTo(&bitmap);
    EXPECT_EQ(Pixel(bitmap, 0, 0), kHoveredColor);
}

TEST_F(GsCheckBoxTest, BulletLabelSitsAtTextSpaceAndTextTop)
{
    GsBulledCheckBox box;
    Build(box);
    box.SetTextSpace(3);
    box.SetTextTop(2);
    gs::WdgLabel& label = box.BulledWidget().Label();
    EXPECT_EQ(label.Left(), 19);
    EXPECT_EQ(label.Top(), 2);
    EXPECT_TRUE(label.MouseTransparent());

    box.SetCaption("Launch on startup");
    EXPECT_EQ(label.Text(), "Launch on startup");
    EXPECT_TRUE(box.Widget()->Text().empty());
    EXPECT_GT(label.Width(), 0);
    EXPECT_EQ(box.Width(), 16 + 3 + label.Width());
}

TEST_F(GsCheckBoxTest, BulletCaptionIsDrawnRightOfTheBulletOnly)
{
    GsBulledCheckBox box;
    Build(box);
    box.SetTextSpace(3);
    graphics::TFont font;
    font.Color = 0xFFFFFF;
    box.TextEffect().Unchecked().Raised().SetFont(font);
    graphics::Bitmap plain;
    box.RenderTo(&plain);
    box.SetCaption("Launch");
    graphics::Bitmap captioned;
    box.RenderTo(&captioned);
    ASSERT_GT(captioned.Width(), 19);
    int bulletChanged = 0;
    int labelPixels = 0;
    for (int y = 0; y < captioned.Height(); ++y)
        for (int x = 0; x < captioned.Width(); ++x) {
            if (x < 16 && x < plain.Width())
                bulletChanged += Pixel(plain, x, y) != Pixel(captioned, x, y);
            if (x >= 19)
                labelPixels += (Pixel(captioned, x, y) >> 24) != 0;
        }
    EXPECT_EQ(bulletChanged, 0);
    EXPECT_GT(labelPixels, 5);
}

TEST_F(GsCheckBoxTest, BulletWithoutAutoSizeTakesTheWidthAndTheBulletHeight)
{
    GsBulledCheckBox box;
    Build(box);
    box.SetAutoSize(false);
    EXPECT_TRUE(box.GsCheckBox::AutoSize());
    box.SetTextSpace(3);
    box.SetWidth(200);
    box.SetHeight(50);
    EXPECT_EQ(box.Width(), 200);
    EXPECT_EQ(box.Height(), 16);
    EXPECT_EQ(box.BulledWidget().Label().Width(), 200 - 19);
}

TEST_F(GsCheckBoxTest, BulletCaptionStyleFollowsTheBulletState)
{
    GsBulledCheckBox box;
    Build(box);
    box.SetCaption("On");
    GsCheckBoxOuterGlowTextEffect& effects = box.TextEffect();
    graphics::TFont font;
    font.Color = 0xFFE270;
    effects.Unchecked().Hovered().SetFont(font);
    font.Color = 0x0000AA;
    effects.Checked().Raised().SetFont(font);
    font.Color = 0x00BB00;
    effects.Checked().Hovered().SetFont(font);
    gs::WdgLabel& label = box.BulledWidget().Label();

    Rendered(box);
    EXPECT_EQ(label.TextEffect().Font().Color, effects.Unchecked().Raised().Font().Color);
    HoverAt(box.Handle(), QPoint(3, 3));
    Rendered(box);
    EXPECT_EQ(label.TextEffect().Font().Color, 0xFFE270u);
    box.SetChecked(true);
    Rendered(box);
    EXPECT_EQ(label.TextEffect().Font().Color, 0x00BB00u);
    box.Widget()->MouseLeave();
    box.SetState(cbGrayed);
    Rendered(box);
    EXPECT_EQ(label.TextEffect().Font().Color, 0x0000AAu);
}

TEST_F(GsCheckBoxTest, HoveredBulletCaptionKeepsItsGlowBelowAndRightOfIt)
{
    GsBulledCheckBox box;
    box.SetParent(m_Form.get());
    // A bullet taller than the caption: only the caption's own area can cut the glow.
    SetUncheckedStates(box.Appearance().Unchecked(), 16, 40);
    GsTextRadiationEffect& hovered = box.TextEffect().Unchecked().Hovered();
    hovered.SetRadius(4);
    hovered.SetColor(0xFFFFFF);
    box.SetCaption("On");
    gs::WdgLabel& label = box.BulledWidget().Label();
    const int plainBottom = label.Top() + label.Height();
    const int plainRight = label.Left() + label.Width();
    HoverAt(box.Handle(), QPoint(3, 3));
    graphics::Bitmap bitmap;
    box.RenderTo(&bitmap);
    ASSERT_GT(bitmap.Height(), plainBottom + 8);
    int below = 0;
    int right = 0;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = label.Left(); x < bitmap.Width(); ++x) {
            const bool drawn = (Pixel(bitmap, x, y) >> 24) != 0;
            below += drawn && y >= plainBottom;
            right += drawn && x >= plainRight;
        }
    EXPECT_GT(below, 0) << "the glow under the hovered caption is cut off";
    EXPECT_GT(right, 0) << "the glow right of the hovered caption is cut off";
}

TEST(WdgLabel, SizesToItsTextAndDrawsGrayWhenDisabled)
{
    testsupport::QtTestApp();
    gs::WdgLabel label;
    label.SetAutoSize(false);
    label.SetAutoSize(true);
    label.SetText("Hello");
    EXPECT_GT(label.Width(), 10);
    EXPECT_GT(label.Height(), 5);
    label.SetText("");
    EXPECT_EQ(label.Width(), 0);

    label.TextEffect().SetRadius(2);
    EXPECT_EQ(label.DisabledEffect().Font().Color, 0x808080u);
    EXPECT_EQ(label.DisabledEffect().Radius(), 2u);
}

namespace {

// The first row with any drawn pixel, or -1.
int FirstInkRow(gs::WdgLabel& label)
{
    graphics::Bitmap bitmap(label.Width(), label.Height());
    label.Render(&bitmap, label.BoundsRect());
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            if (Pixel(bitmap, x, y) >> 24)
                return y;
    return -1;
}

} // namespace

TEST(WdgLabel, WrappedTextMovesDownForCentreAndBottomLayouts)
{
    testsupport::QtTestApp();
    gs::WdgLabel label;
    label.SetAutoSize(false);
    label.SetBounds(0, 0, 120, 60);
    graphics::TFont font;
    font.Color = 0xFFFFFF;
    font.Height = -12;
    label.TextEffect().SetFont(font);
    label.SetText("Hi");

    const int top = FirstInkRow(label);
    ASSERT_GE(top, 0);
    label.SetLayout(tlBottom);
    // Without word wrap the bottom layout has no effect on a multi-line format.
    EXPECT_EQ(FirstInkRow(label), top);
    label.SetWordWrap(true);
    const int bottom = FirstInkRow(label);
    label.SetLayout(tlCenter);
    const int centre = FirstInkRow(label);
    EXPECT_GT(bottom, top + 30);
    EXPECT_GT(centre, top + 15);
    EXPECT_LT(centre, bottom - 15);
}
