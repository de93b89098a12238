#include "GsButtonTestSupport.h"

#include <QImage>

#include "gui/controls/GsButton.h"
#include "gui/controls/GsImage.h"
#include "gui/graphics/image.h"

using namespace kittest;

namespace {

void SetFourStates(GsButtonAppearance& appearance, int w, int h)
{
    appearance.SetRaised(*Solid(w, h, kRaisedColor));
    appearance.SetSunken(*Solid(w, h, kSunkenColor));
    appearance.SetHovered(*Solid(w, h, kHoveredColor));
    appearance.SetDisabled(*Solid(w, h, kDisabledColor));
}

std::uint32_t Rendered(GsCustomControl& control)
{
    graphics::Bitmap bitmap;
    control.RenderTo(&bitmap);
    return Pixel(bitmap, 1, 1);
}

} // namespace

TEST(GsButtonAppearance, OnlyRaisedServesEveryState)
{
    GsButtonAppearance appearance;
    appearance.SetRaised(*Solid(2, 2, kRaisedColor));
    for (int s = 0; s < kButtonStateCount; ++s)
        EXPECT_EQ(appearance.GetImage(cbUnchecked, ButtonState(s)), appearance.Raised()) << "state " << s;
    EXPECT_EQ(appearance.GetImage(cbUnchecked, ButtonState(6)), appearance.Raised());
    EXPECT_EQ(appearance.GetImage(cbUnchecked, ButtonState(-1)), appearance.Raised());
}

TEST(GsButtonAppearance, PressedFocusedAndActiveFallBackToHoveredDisabledToRaised)
{
    GsButtonAppearance appearance;
    appearance.SetRaised(*Solid(2, 2, kRaisedColor));
    appearance.SetHovered(*Solid(2, 2, kHoveredColor));
    EXPECT_EQ(appearance.GetImage(cbUnchecked, ButtonState::Sunken), appearance.Hovered());
    EXPECT_EQ(appearance.GetImage(cbUnchecked, ButtonState::Focused), appearance.Hovered());
    EXPECT_EQ(appearance.GetImage(cbUnchecked, ButtonState::Active), appearance.Hovered());
    EXPECT_EQ(appearance.GetImage(cbUnchecked, ButtonState::Disabled), appearance.Raised());
    // A zero-height image counts as missing.
    appearance.SetSunken(*Solid(3, 0, kSunkenColor));
    EXPECT_EQ(appearance.GetImage(cbUnchecked, ButtonState::Sunken), appearance.Hovered());
}

TEST(GsButtonAppearance, NothingSetGivesTheEmptyRaisedImage)
{
    GsButtonAppearance appearance;
    graphics::Bitmap* image = appearance.GetImage(cbUnchecked, ButtonState::Sunken);
    EXPECT_EQ(image, appearance.Raised());
    EXPECT_TRUE(image->Empty());
}

TEST(GsButtonAppearance, SettersCopyIntoTheirOwnSlotAndNotifyTheIndex)
{
    std::vector<int> told;
    GsButtonAppearance appearance([&](int index) { told.push_back(index); });
    auto source = Solid(2, 1, kSunkenColor);
    appearance.SetSunken(*source);
    appearance.SetActive(*source);
    EXPECT_EQ(told, (std::vector<int>{1, 5}));
    EXPECT_NE(appearance.Sunken(), source.get());
    source->SetSize(0, 0);
    EXPECT_EQ(appearance.Sunken()->Width(), 2);

    GsButtonAppearance copy;
    copy.Assign(appearance);
    EXPECT_EQ(Pixel(*copy.Active(), 1, 0), kSunkenColor);
    EXPECT_TRUE(copy.Raised()->Empty());
}

TEST(GsButtonAppearance, LoadingAMissingFileLeavesTheSlotEmptyAndStillNotifies)
{
    int told = -1;
    GsButtonAppearance appearance([&](int index) { told = index; });
    appearance.SetHovered(*Solid(2, 2, kHoveredColor));
    appearance.LoadImage(ButtonState::Hovered, testsupport::Root() / "missing.png");
    EXPECT_EQ(told, 2);
    EXPECT_TRUE(appearance.Hovered()->Empty());
}

TEST(GsButtonAppearance, ALoadedFileIsWhatTheSlotShowsUnlessASetterReplacedItFirst)
{
    QImage picture(3, 2, QImage::Format_ARGB32);
    picture.fill(qRgba(10, 20, 30, 255));
    const auto file = testsupport::Root() / "hovered.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(file.string()), "PNG"));
    const struct {
        const char* name;
        bool setAfterLoad;
        int width; // of the hovered slot in the end
    } cases[] = {{"loaded", false, 3}, {"set after the load", true, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GsButtonAppearance appearance;
        appearance.SetHovered(*Solid(2, 2, kHoveredColor));
        appearance.LoadImage(ButtonState::Hovered, file);
        if (c.setAfterLoad)
            appearance.SetHovered(*Solid(2, 2, kHoveredColor));
        GsButtonAppearance copy;
        copy.Assign(appearance);
        EXPECT_EQ(copy.Hovered()->Width(), c.width) << "a copy of the set";
        EXPECT_EQ(appearance.GetImage(cbUnchecked, ButtonState::Sunken)->Width(), c.width)
            << "through the fallback";
    }
    GsButtonAppearance unread;
    unread.SetRaised(*Solid(2, 2, kRaisedColor));
    unread.LoadImage(ButtonState::Raised, file);
    EXPECT_EQ(unread.GetImage(cbUnchecked, ButtonState::Disabled)->Width(), 3)
        << "the fallback reads the loaded file, not what the slot held before";
}

TEST(GsButtonOuterGlowTextEffect, SunkenTakesRaisedFontAndAnOffsetButNotItsGlow)
{
    GsButtonOuterGlowTextEffect effects;
    graphics::TFont font;
    font.Name = "Candara";
    font.Color = 0x3E3E3E;
    effects.Raised().SetFont(font);
    effects.Raised().SetRadius(5);
    effects.Raised().SetOpacity(100);

    EXPECT_FALSE(effects.HasEffect(ButtonState::Sunken));
    GsTextRadiationEffect& sunken = effects.Sunken();
    EXPECT_EQ(sunken.Font(), font);
    EXPECT_EQ(sunken.OffsetX(), 2);
    EXPECT_EQ(sunken.OffsetY(), 2);
    EXPECT_EQ(sunken.Radius(), 0u);
    EXPECT_EQ(sunken.Opacity(), 255);
}

TEST(GsButtonOuterGlowTextEffect, DisabledIsRaisedInTheGrayTextColour)
{
    GsButtonOuterGlowTextEffect effects;
    effects.Raised().SetRadius(4);
    GsTextRadiationEffect& disabled = effects.Disabled();
    EXPECT_EQ(disabled.Font().Color, 0xFF000011u);
    EXPECT_EQ(disabled.Radius(), 4u);
    EXPECT_NE(effects.Raised().Font().Color, 0xFF000011u);
}

TEST(GsButtonOuterGlowTextEffect, HoveredIsFrozenAtFirstAccess)
{
    GsButtonOuterGlowTextEffect early;
    EXPECT_EQ(early.Hovered().Radius(), 0u);
    early.Raised().SetRadius(7);
    EXPECT_EQ(early.Hovered().Radius(), 0u);

    GsButtonOuterGlowTextEffect late;
    late.Raised().SetRadius(7);
    EXPECT_EQ(late.Hovered().Radius(), 7u);
    EXPECT_EQ(late.Focused().Radius(), 7u);
}

TEST(GsButtonOuterGlowTextEffect, GetEffectPicksTheStateAndRaisedForAnythingElse)
{
    GsButtonOuterGlowTextEffect effects;
    EXPECT_EQ(effects.GetEffect(cbUnchecked, ButtonState::Raised), &effects.Raised().Adapter());
    EXPECT_EQ(effects.GetEffect(cbChecked, ButtonState::Active), &effects.Active().Adapter());
    EXPECT_EQ(effects.GetEffect(cbUnchecked, ButtonState(9)), &effects.Raised().Adapter());
}

TEST(GsButtonOuterGlowTextEffect, MemberChangesReachTheSetListener)
{
    GsButtonOuterGlowTextEffect effects;
    int told = 0;
    effects.OnChange = framework::NotifyEvent([&](framework::Component* sender) {
        EXPECT_EQ(sender, &effects);
        ++told;
    });
    effects.Hovered(); // made quietly
    EXPECT_EQ(told, 0);
    effects.Hovered().SetRadius(3);
    effects.Hovered().SetRadius(3);
    effects.Raised().SetOpacity(9);
    EXPECT_EQ(told, 2);

    GsButtonOuterGlowTextEffect other;
    other.Raised().SetRadius(6);
    effects.Assign(other);
    EXPECT_EQ(effects.Raised().Radius(), 6u);
    EXPECT_EQ(effects.Sunken().OffsetX(), 2);
}

class GsButtonControlTest : public KitTest {};

TEST_F(GsButtonControlTest, RaisedImageSizesWidgetAndControlOthersDoNot)
{
    GsButton button;
    button.SetParent(m_Form.get());
    int resized = 0;
    button.OnResize = framework::NotifyEvent([&](framework::Component*) { ++resized; });
    button.Appearance().SetRaised(*Solid(80, 24, kRaisedColor));
    EXPECT_EQ(button.Width(), 80);
    EXPECT_EQ(button.Height(), 24);
    EXPECT_EQ(button.Widget()->Width(), 80);
    EXPECT_EQ(resized, 1);

    button.Appearance().SetHovered(*Solid(30, 30, kHoveredColor));
    EXPECT_EQ(button.Width(), 80);
    EXPECT_EQ(resized, 1);

    button.SetBounds(5, 6, 500, 7);
    EXPECT_EQ(button.Left(), 5);
    EXPECT_EQ(button.Width(), 80);
    EXPECT_EQ(button.Height(), 24);
}

TEST_F(GsButtonControlTest, ImageHitTestIsStrictlyAboveTheAlphaLimit)
{
    GsButton button;
    auto raised = Solid(4, 2, 0xFF000000);
    SetPixel(*raised, 0, 0, 0x28000000); // alpha 40
    SetPixel(*raised, 1, 0, 0x29000000); // alpha 41
    button.Appearance().SetRaised(*raised);
    gs::GsWidget* widget = button.Widget();

    // The rectangle alone decides by default.
    EXPECT_TRUE(widget->HitTest(0, 0));
    button.SetTransparentHit(false);
    EXPECT_FALSE(widget->HitTest(0, 0));
    EXPECT_TRUE(widget->HitTest(1, 0));
    EXPECT_FALSE(widget->HitTest(4, 0));
    EXPECT_FALSE(widget->HitTest(0, -1));

    button.SetHitAlphaLimit(41);
    EXPECT_FALSE(widget->HitTest(1, 0));
    EXPECT_TRUE(widget->HitTest(2, 1));
}

TEST_F(GsButtonControlTest, HitTestOfAChildWidgetReadsTheImageAtItsOwnCorner)
{
    gs::WdgButton parent;
    auto* child = new gs::WdgButton();
    child->SetParent(&parent);
    auto image = Solid(2, 1, 0xFF000000);
    SetPixel(*image, 0, 0, 0x00000000);
    child->Appearance().SetRaised(*image);
    child->SetLeft(10);
    child->SetTransparentHit(false);
    EXPECT_FALSE(child->HitTest(10, 0));
    EXPECT_TRUE(child->HitTest(11, 0));
    EXPECT_FALSE(child->HitTest(1, 0));
}

TEST_F(GsButtonControlTest, StateImageFollowsHoverPressAndDisable)
{
    GsButton button;
    button.SetParent(m_Form.get());
    button.SetLeft(10);
    button.SetTop(10);
    SetFourStates(button.Appearance(), 20, 20);
    Pump();
    QWidget* handle = button.Handle();
    ASSERT_NE(handle, nullptr);

    EXPECT_EQ(Rendered(button), kRaisedColor);
    HoverAt(handle, QPoint(5, 5));
    Pump();
    EXPECT_EQ(Rendered(button), kHoveredColor);
    EXPECT_EQ(button.ButtonWidget().State(), ButtonState::Hovered);
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Rendered(button), kSunkenColor);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Rendered(button), kHoveredColor);

    button.SetEnabled(false);
    EXPECT_EQ(Rendered(button), kDisabledColor);
    button.SetEnabled(true);
    button.Widget()->MouseLeave();
    EXPECT_EQ(Rendered(button), kRaisedColor);
}

TEST_F(GsButtonControlTest, DisablingDropsThePress)
{
    GsButton button;
    SetFourStates(button.Appearance(), 4, 4);
    button.MouseMove(framework::ssLeft, 1, 1);
    button.MouseDown(framework::mbLeft, framework::ssLeft, 1, 1);
    EXPECT_TRUE(button.ButtonWidget().Pressed());
    button.SetEnabled(false);
    EXPECT_FALSE(button.ButtonWidget().Pressed());
    button.SetEnabled(true);
    EXPECT_EQ(Rendered(button), kHoveredColor);
}

TEST_F(GsButtonControlTest, ClickOnceOnReleaseInsideNoneOutside)
{
    GsButton button;
    button.SetParent(m_Form.get());
    SetFourStates(button.Appearance(), 20, 20);
    Pump();
    int clicks = 0;
    button.OnClick = framework::NotifyEvent([&](framework::Component*) { ++clicks; });
    QWidget* handle = button.Handle();

    QTest::mouseClick(handle, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(clicks, 1);
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(25, 3));
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(handle, Qt::RightButton, {}, QPoint(3, 3));
    EXPECT_EQ(clicks, 1);
}

TEST_F(GsButtonControlTest, ClickHandsTheModalResultToTheFormBeforeOnClick)
{
    GsButton button;
    button.SetParent(m_Form.get());
    SetFourStates(button.Appearance(), 20, 20);
    button.SetModalResult(7);
    Pump();
    int seen = -1;
    button.OnClick = framework::NotifyEvent([&](framework::Component*) { seen = m_Form->ModalResult(); });
    QTest::mouseClick(button.Handle(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(seen, 7);
}

TEST_F(GsButtonControlTest, SpaceAndEnterDoNotClick)
{
    GsButton button;
    button.SetParent(m_Form.get());
    SetFourStates(button.Appearance(), 20, 20);
    Pump();
    int clicks = 0;
    button.OnClick = framework::NotifyEvent([&](framework::Component*) { ++clicks; });
    QTest::keyClick(button.Handle(), Qt::Key_Space);
    QTest::keyClick(button.Handle(), Qt::Key_Return);
    EXPECT_EQ(clicks, 0);
}

TEST_F(GsButtonControlTest, FontChangesReachTheRaisedCaptionStyle)
{
    GsButton button;
    graphics::TFont font;
    font.Name = "Candara";
    font.Height = 16;
    font.Color = 0xDEDEDE;
    button.SetFont(font);
    EXPECT_EQ(button.TextEffect().Raised().Font(), font);
}

TEST_F(GsButtonControlTest, DrawIntoComposesAtThePositionWithAlphaValue)
{
    GsButton button;
    button.Appearance().SetRaised(*Solid(2, 2, 0xFF0000FF));
    button.SetLeft(3);
    button.SetTop(1);
    graphics::Bitmap layer(6, 4);

    button.DrawInto(&layer, DrawScope::WithChildren, WhenHidden::Skip);
    EXPECT_EQ(Pixel(layer, 3, 1), 0xFF0000FFu);
    EXPECT_EQ(Pixel(layer, 4, 2), 0xFF0000FFu);
    EXPECT_EQ(Pixel(layer, 2, 1), 0u);
    EXPECT_EQ(Pixel(layer, 5, 1), 0u);
    EXPECT_EQ(Pixel(layer, 3, 3), 0u);
    // The surface's origin and clip come back as they were.
    EXPECT_EQ(layer.Canvas().ViewportOrigin(), graphics::Point{});
    EXPECT_FALSE(layer.Canvas().ClipRegion().has_value());

    graphics::Bitmap faded(6, 4);
    button.SetAlphaValue(0);
    button.DrawInto(&faded, DrawScope::WithChildren, WhenHidden::Skip);
    EXPECT_EQ(Pixel(faded, 3, 1), 0u);

    button.SetAlphaValue(128);
    graphics::Bitmap half(6, 4);
    button.DrawInto(&half, DrawScope::WithChildren, WhenHidden::Skip);
    graphics::Bitmap expected(6, 4);
    graphics::BlendLayer(&expected, {3, 1, 5, 3}, button.Appearance().Raised(), {0, 0}, 128);
    EXPECT_EQ(Pixel(half, 3, 1), Pixel(expected, 3, 1));
    EXPECT_EQ(Pixel(half, 3, 1) >> 24, 128u);
}

TEST_F(GsButtonControlTest, PaintPutsThePictureOnTheSurfaceThenAsksForRecomposition)
{
    GsButton button;
    button.SetParent(m_Form.get());
    button.Appearance().SetRaised(*Solid(3, 3, kRaisedColor));
    int afterPaint = 0;
    button.OnAfterPaint = framework::NotifyEvent([&](framework::Component*) {
        ++afterPaint;
        EXPECT_EQ(Pixel(button.Surface(), 2, 2), kRaisedColor);
    });
    Pump();
    afterPaint = 0;
    button.Invalidate();
    button.Invalidate();
    Pump();
    EXPECT_EQ(afterPaint, 1);
}

TEST_F(GsButtonControlTest, InvisibleButtonsDrawOnlyWhenForced)
{
    GsButton button;
    button.Appearance().SetRaised(*Solid(2, 2, kRaisedColor));
    button.SetVisible(false);
    graphics::Bitmap layer(2, 2);
    button.DrawInto(&layer, DrawScope::WithChildren, WhenHidden::Skip);
    EXPECT_EQ(Pixel(layer, 0, 0), 0u);
    button.DrawInto(&layer, DrawScope::WithChildren, WhenHidden::DrawAnyway);
    EXPECT_EQ(Pixel(layer, 0, 0), kRaisedColor);
}

TEST_F(GsButtonControlTest, ChildrenAreComposedInsideAndClippedToTheParent)
{
    GsButton parent;
    parent.Appearance().SetRaised(*Solid(4, 4, kRaisedColor));
    parent.SetLeft(1);
    parent.SetTop(1);
    GsButton child;
    child.SetParent(&parent);
    child.Appearance().SetRaised(*Solid(3, 3, kHoveredColor));
    child.SetLeft(2);
    child.SetTop(2);

    graphics::Bitmap layer(8, 8);
    parent.DrawInto(&layer, DrawScope::WithChildren, WhenHidden::Skip);
    EXPECT_EQ(Pixel(layer, 1, 1), kRaisedColor);
    EXPECT_EQ(Pixel(layer, 3, 3), kHoveredColor);
    EXPECT_EQ(Pixel(layer, 4, 4), kHoveredColor);
    EXPECT_EQ(Pixel(layer, 5, 5), 0u); // the child's third row and column lie outside the parent

    graphics::Bitmap alone(8, 8);
    parent.DrawInto(&alone, DrawScope::ControlOnly, WhenHidden::Skip);
    EXPECT_EQ(Pixel(alone, 3, 3), kRaisedColor);
}

TEST_F(GsButtonControlTest, AlphaValueReachesVisibleChildrenOnly)
{
    GsButton parent;
    GsButton shown;
    GsButton hidden;
    shown.SetParent(&parent);
    hidden.SetParent(&parent);
    hidden.SetVisible(false);
    GsButton grandchild;
    grandchild.SetParent(&shown);
    GsImage image;
    image.SetParent(&parent);
    GsImage hiddenImage;
    hiddenImage.SetParent(&parent);
    hiddenImage.SetVisible(false);
    parent.SetAlphaValue(90);
    EXPECT_EQ(parent.AlphaValue(), 90);
    EXPECT_EQ(shown.AlphaValue(), 90);
    EXPECT_EQ(grandchild.AlphaValue(), 90);
    EXPECT_EQ(image.AlphaValue(), 90);
    EXPECT_EQ(hidden.AlphaValue(), 255);
    EXPECT_EQ(hiddenImage.AlphaValue(), 255);
}

TEST_F(GsButtonControlTest, ImagesInsideAreComposedAtFullOpacityOthersSkipped)
{
    GsButton parent;
    parent.Appearance().SetRaised(*Solid(6, 6, 0));
    GsImage image;
    image.SetParent(&parent);
    image.SetPicture(*Solid(2, 2, 0xFF00FF00));
    image.SetBounds(3, 3, 2, 2);
    parent.SetLeft(1);
    parent.SetAlphaValue(0);
    EXPECT_EQ(image.AlphaValue(), 0);

    graphics::Bitmap layer(8, 8);
    parent.DrawInto(&layer, DrawScope::WithChildren, WhenHidden::Skip);
    EXPECT_EQ(Pixel(layer, 4, 3), 0xFF00FF00u);
    EXPECT_EQ(Pixel(layer, 3, 3), 0u);
}

TEST_F(GsButtonControlTest, BackgroundUnderTheControlComesFromInputBkgnd)
{
    graphics::Bitmap background(10, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            SetPixel(background, x, y, 0xFF000000u | std::uint32_t(x * 16 + y));
    GsButton button;
    auto image = Solid(3, 3, kRaisedColor);
    SetPixel(*image, 0, 0, 0); // a transparent corner shows what lies behind
    button.Appearance().SetRaised(*image);
    button.SetLeft(4);
    button.SetTop(5);
    button.SetInputBkgnd(&background);

    graphics::Bitmap bitmap;
    button.RenderTo(&bitmap);
    EXPECT_EQ(Pixel(bitmap, 0, 0), Pixel(background, 4, 5));
    EXPECT_EQ(Pixel(bitmap, 1, 1), kRaisedColor);
}

TEST_F(GsButtonControlTest, OnlyADifferentInputBackgroundRepaints)
{
    graphics::Bitmap background(4, 4);
    GsButton button;
    button.SetParent(m_Form.get());
    button.Appearance().SetRaised(*Solid(2, 2, kRaisedColor));
    Pump();
    ASSERT_FALSE(button.PaintPending());
    button.SetInputBkgnd(&background);
    EXPECT_TRUE(button.PaintPending());
    Pump();
    button.SetInputBkgnd(&background);
    EXPECT_FALSE(button.PaintPending());
    EXPECT_EQ(button.InputBkgnd(), &background);
}

TEST_F(GsButtonControlTest, CaptionIsDrawnOnTheStateImageOnly)
{
    GsButton button;
    button.Appearance().SetRaised(*Solid(60, 24, 0xFF000000));
    graphics::TFont font;
    font.Color = 0xFFFFFF;
    font.Height = -16;
    button.SetFont(font);

    graphics::Bitmap plain;
    button.RenderTo(&plain);
    button.SetCaption("Apply");
    graphics::Bitmap captioned;
    button.RenderTo(&captioned);
    int changed = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 60; ++x)
            changed += Pixel(plain, x, y) != Pixel(captioned, x, y);
    EXPECT_GT(changed, 10);

    // Without a Raised image there is nothing to draw the caption on.
    GsButton empty;
    empty.SetCaption("Apply");
    graphics::Bitmap layer(20, 20);
    empty.DrawInto(&layer, DrawScope::WithChildren, WhenHidden::Skip);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(Pixel(layer, x, y), 0u);
}
