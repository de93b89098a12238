#include "gui/controls/GsLabel.h"

#include "QtTestApp.h"
#include "gui/framework/Control.h"
#include "gui/graphics/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using graphics::Bitmap;
using graphics::Rect;

namespace {

constexpr TDrawMode kBlend = TDrawMode::Blend;
constexpr TLayerAlpha kPremultiplied = TLayerAlpha::Premultiplied;

struct Px {
    std::uint8_t b, g, r, a;
};

Px At(const Bitmap& bitmap, int x, int y)
{
    const std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
    return {p[0], p[1], p[2], std::uint8_t(bitmap.BytesPerPixel() == 4 ? p[3] : 255)};
}

void FillAll(Bitmap& bitmap, Px value)
{
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            std::uint8_t* p = bitmap.ScanLine(y) + x * 4;
            p[0] = value.b;
            p[1] = value.g;
            p[2] = value.r;
            p[3] = value.a;
        }
}

bool Same(const Bitmap& a, const Bitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const Px p = At(a, x, y), q = At(b, x, y);
            if (p.b != q.b || p.g != q.g || p.r != q.r || p.a != q.a)
                return false;
        }
    return true;
}

// First row and column holding any pixel with alpha, or -1.
int TopInkRow(const Bitmap& bitmap)
{
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            if (At(bitmap, x, y).a != 0)
                return y;
    return -1;
}

int LeftColumnWhere(const Bitmap& bitmap, bool (*test)(Px))
{
    for (int x = 0; x < bitmap.Width(); ++x)
        for (int y = 0; y < bitmap.Height(); ++y)
            if (test(At(bitmap, x, y)))
                return x;
    return -1;
}

// Horizontal and vertical centre of the glow's redness (red above green).
void RedCentroid(const Bitmap& bitmap, double& cx, double& cy)
{
    double sum = 0, sx = 0, sy = 0;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x) {
            const Px p = At(bitmap, x, y);
            const double w = double(p.r) - double(p.g);
            if (w > 0) {
                sum += w;
                sx += w * x;
                sy += w * y;
            }
        }
    cx = sum > 0 ? sx / sum : -1;
    cy = sum > 0 ? sy / sum : -1;
}

graphics::TFont WhiteFont(int height = -24)
{
    graphics::TFont font;
    font.Name = "Arial";
    font.Height = height;
    font.Color = graphics::clWhite;
    return font;
}

Rect PlainExtent(const std::u16string& text, const graphics::TFont& font, unsigned flags)
{
    Bitmap scratch(1, 1);
    scratch.Canvas().SetFont(font);
    Rect rect;
    scratch.Canvas().DrawText(text, rect, flags | graphics::DT_CALCRECT);
    return rect;
}

class GsLabelTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::QtTestApp(); }
};

using GsTextRadiationEffectTest = GsLabelTest;

} // namespace

// ---- caption styles ------------------------------------------------------------------------------

TEST(GsTextRadiationEffect, OffsetAndRadiationNameOneValue)
{
    GsTextRadiationEffect effect;
    effect.SetOffsetX(5);
    EXPECT_EQ(effect.RadiationX(), 5);
    effect.SetRadiationY(-2);
    EXPECT_EQ(effect.OffsetY(), -2);
    EXPECT_EQ(effect.Painter().Offset(), (graphics::Point{5, -2}));

    int notified = 0;
    effect.OnChange = [&](framework::Component*) { ++notified; };
    effect.SetRadiationX(5); // the same value under its other name
    EXPECT_EQ(notified, 0);
}

TEST(GsTextRadiationEffect, SettersNotifyOnlyOnARealChange)
{
    int notified = 0;
    framework::Component* sender = nullptr;
    GsTextRadiationEffect effect([&](framework::Component* s) {
        ++notified;
        sender = s;
    });
    effect.SetOpacity(255);
    effect.SetRadius(0);
    effect.SetSpread(0);
    effect.SetColor(0x00BFFFFF);
    effect.SetOffsetX(0);
    effect.SetOffsetY(0);
    EXPECT_EQ(notified, 0);

    effect.SetOpacity(100);
    effect.SetRadius(4);
    effect.SetSpread(7);
    effect.SetColor(0x123456);
    effect.SetOffsetX(2);
    effect.SetOffsetY(3);
    EXPECT_EQ(notified, 6);
    EXPECT_EQ(sender, &effect);

    effect.SetRadius(4);
    effect.SetColor(0x123456);
    EXPECT_EQ(notified, 6);
}

TEST(GsTextRadiationEffect, RadiusBeyondThePainterLimitIsStoredClampedAndNotifiesOnce)
{
    int notified = 0;
    GsTextRadiationEffect effect([&](framework::Component*) { ++notified; });
    effect.SetRadius(1000000);
    EXPECT_EQ(effect.Radius(), std::uint32_t(TRadiateTextPainter::kMaxRadius));
    effect.SetRadius(2000000);
    EXPECT_EQ(notified, 1);
}

TEST(GsTextRadiationEffect, FontNotifiesOnEveryAssignmentButFromItself)
{
    int notified = 0;
    GsTextRadiationEffect effect([&](framework::Component*) { ++notified; });
    const graphics::TFont same = effect.Font();
    effect.SetFont(same);
    EXPECT_EQ(notified, 1);
    effect.SetFont(effect.Font());
    EXPECT_EQ(notified, 1);
    effect.SetFont(WhiteFont());
    EXPECT_EQ(notified, 2);
    EXPECT_EQ(effect.Font(), WhiteFont());
}

TEST(GsTextRadiationEffect, AssignmentCopiesEverythingAndNotifiesOnlyTheDestination)
{
    int sourceNotified = 0, targetNotified = 0;
    GsTextRadiationEffect source([&](framework::Component*) { ++sourceNotified; });
    source.SetOpacity(10);
    source.SetRadius(5);
    source.SetSpread(20);
    source.SetColor(0x0000FF);
    source.SetOffsetX(-1);
    source.SetOffsetY(2);
    source.SetFont(WhiteFont(-30));
    sourceNotified = 0;

    GsTextRadiationEffect target([&](framework::Component*) { ++targetNotified; });
    target = source;
    EXPECT_EQ(targetNotified, 1);
    EXPECT_EQ(sourceNotified, 0);
    EXPECT_EQ(target.Opacity(), 10);
    EXPECT_EQ(target.Radius(), 5u);
    EXPECT_EQ(target.Spread(), 20);
    EXPECT_EQ(target.Color(), 0x0000FFu);
    EXPECT_EQ(target.OffsetX(), -1);
    EXPECT_EQ(target.OffsetY(), 2);
    EXPECT_EQ(target.Font(), WhiteFont(-30));

    // A copy takes the listener along: its changes reach the source's listener.
    GsTextRadiationEffect copy(source);
    EXPECT_EQ(copy.Radius(), 5u);
    EXPECT_EQ(copy.Font(), WhiteFont(-30));
    copy.SetRadius(6);
    EXPECT_EQ(sourceNotified, 1);
    EXPECT_EQ(source.Radius(), 5u);
}

TEST(GsTextMargins, SettersNotifyEvenForTheSameValue)
{
    GsTextMargins margins;
    int notified = 0;
    margins.OnChange = [&](framework::Component*) { ++notified; };
    margins.SetLeft(0);
    margins.SetLeft(0);
    margins.SetTop(3);
    margins.SetRight(-1);
    margins.SetBottom(4);
    EXPECT_EQ(notified, 5);
    EXPECT_EQ(margins.Top(), 3);
    EXPECT_EQ(margins.Right(), -1);
    EXPECT_EQ(margins.Bottom(), 4);

    GsTextMargins other;
    other.SetLeft(7);
    margins = other;
    EXPECT_EQ(notified, 6);
    EXPECT_EQ(margins.Left(), 7);
    EXPECT_EQ(margins.Top(), 0);
}

// ---- the style's painter adapter ---------------------------------------------------------------

TEST_F(GsTextRadiationEffectTest, AdapterMeasuresWithTheStylesFontNotTheSurfaces)
{
    GsTextRadiationEffect effect;
    effect.SetFont(WhiteFont(-40));
    Bitmap bitmap(1, 1);
    bitmap.Canvas().SetFont(WhiteFont(-10));
    Rect rect;
    effect.Adapter().Measure(&bitmap.Canvas(), std::u16string(u"Hello"), rect, 0);
    EXPECT_EQ(rect, PlainExtent(u"Hello", WhiteFont(-40), 0));
}

TEST_F(GsTextRadiationEffectTest, GivingTheAdapterBackKeepsTheStylesPainter)
{
    GsTextRadiationEffect effect;
    effect.SetFont(WhiteFont(-20));
    effect.SetRadius(2);
    TOuterGlowTextPainter* painter = &effect.Painter();
    effect.Adapter().Release();
    effect.Adapter().Release();
    EXPECT_EQ(&effect.Painter(), painter);
    Bitmap bitmap(40, 30);
    effect.Adapter().Draw(&bitmap, std::u16string(u"A"), Rect{0, 0, 40, 30}, 0, kBlend,
                          kPremultiplied);
    EXPECT_GE(LeftColumnWhere(bitmap, +[](Px p) { return p.a != 0; }), 0);
}

TEST_F(GsTextRadiationEffectTest, OffsetTextMovesAndIsClippedToTheUnmovedRectangle)
{
    GsTextRadiationEffect still;
    still.SetFont(WhiteFont(-30));
    GsTextRadiationEffect moved(still);
    moved.SetOffsetX(6);

    const Rect rect{4, 2, 40, 38};
    Bitmap a(60, 40), b(60, 40);
    still.Adapter().Draw(&a, std::u16string(u"WWWW"), rect, 0, kBlend, kPremultiplied);
    moved.Adapter().Draw(&b, std::u16string(u"WWWW"), rect, 0, kBlend, kPremultiplied);

    auto white = [](Px p) { return p.a == 255 && p.g > 200; };
    const int stillLeft = LeftColumnWhere(a, +white);
    ASSERT_GE(stillLeft, rect.Left);
    EXPECT_EQ(LeftColumnWhere(b, +white), stillLeft + 6);
    // "WWWW" overflows the rectangle: nothing lands right of it or outside it.
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            if (x < rect.Left || x >= rect.Right || y < rect.Top || y >= rect.Bottom) {
                EXPECT_EQ(At(b, x, y).a, 0) << x << "," << y;
            }
        }
    }
}

TEST_F(GsTextRadiationEffectTest, OffsetDrawingHonoursTheSurfaceOrigin)
{
    GsTextRadiationEffect effect;
    effect.SetFont(WhiteFont(-20));
    effect.SetRadius(2);
    effect.SetColor(0x0000FF);
    effect.SetOffsetX(2);
    effect.SetOffsetY(1);

    Bitmap shifted(50, 40), direct(50, 40);
    FillAll(shifted, {30, 60, 90, 255});
    FillAll(direct, {30, 60, 90, 255});
    shifted.Canvas().SetViewportOrigin({10, 5});
    effect.Adapter().Draw(&shifted, std::u16string(u"Ag"), Rect{0, 0, 30, 30}, 0, kBlend,
                          kPremultiplied);
    effect.Adapter().Draw(&direct, std::u16string(u"Ag"), Rect{10, 5, 40, 35}, 0, kBlend,
                          kPremultiplied);
    EXPECT_TRUE(Same(shifted, direct));
    Bitmap untouched(50, 40);
    FillAll(untouched, {30, 60, 90, 255});
    EXPECT_FALSE(Same(direct, untouched)) << "the text was drawn";
}

// ---- the label -----------------------------------------------------------------------------------

TEST_F(GsLabelTest, NewLabelHasADarkShadowGlowAndTheLabelDefaults)
{
    GsLabel label;
    EXPECT_EQ(label.Radiation().Radius(), 3u);
    EXPECT_EQ(label.Radiation().Opacity(), 192);
    EXPECT_EQ(label.Radiation().Spread(), 0);
    EXPECT_EQ(label.Radiation().Color(), graphics::clBlack);
    EXPECT_EQ(label.Radiation().X(), 1);
    EXPECT_EQ(label.Radiation().Y(), 1);
    EXPECT_FALSE(label.Transparent());
    EXPECT_EQ(label.Alignment(), framework::taLeftJustify);
    EXPECT_EQ(label.Layout(), framework::tlTop);
    EXPECT_FALSE(label.WordWrap());
    EXPECT_TRUE(label.AutoSize());
    EXPECT_EQ(label.EllipsisPosition(), epNone);
}

TEST_F(GsLabelTest, TextFlagsFollowAlignmentWrapAndEllipsis)
{
    GsLabel label;
    EXPECT_EQ(label.TextFlags(), 0x40u);
    label.SetAlignment(framework::taRightJustify);
    EXPECT_EQ(label.TextFlags(), 0x42u);
    label.SetAlignment(framework::taCenter);
    EXPECT_EQ(label.TextFlags(), 0x41u);
    label.SetWordWrap(true);
    EXPECT_EQ(label.TextFlags(), 0x51u);
    label.SetEllipsisPosition(epEndEllipsis);
    EXPECT_EQ(label.TextFlags(), 0x8051u);
    label.SetEllipsisPosition(epPathEllipsis);
    EXPECT_EQ(label.TextFlags(), 0x4051u);
    label.SetEllipsisPosition(epWordEllipsis);
    EXPECT_EQ(label.TextFlags(), 0x40051u);
}

TEST_F(GsLabelTest, AutoSizeFitsTheCaptionPlusTheGlow)
{
    GsLabel label;
    label.SetFont(WhiteFont());
    label.SetCaption("Hello");
    const Rect plain = PlainExtent(u"Hello", WhiteFont(), graphics::DT_EXPANDTABS);
    ASSERT_GT(plain.Width(), 0);
    // Radius 3 on both sides plus the offset of 1.
    EXPECT_EQ(label.Width(), plain.Width() + 7);
    EXPECT_EQ(label.Height(), plain.Height() + 7);

    label.Radiation().SetRadius(0);
    EXPECT_EQ(label.Width(), plain.Width() + 1);
    label.Radiation().SetX(0);
    label.Radiation().SetY(0);
    EXPECT_EQ(label.Width(), plain.Width());
    EXPECT_EQ(label.Height(), plain.Height());

    label.SetAutoSize(false);
    label.Radiation().SetRadius(10);
    EXPECT_EQ(label.Width(), plain.Width());
}

TEST_F(GsLabelTest, RadiationRefitsEvenWhenTheValueStaysTheSame)
{
    GsLabel label;
    label.SetFont(WhiteFont());
    label.SetCaption("Fit");
    const int fitted = label.Width();
    label.SetWidth(fitted + 50); // AutoSize accepts a size set by hand
    ASSERT_EQ(label.Width(), fitted + 50);
    label.Radiation().SetOpacity(label.Radiation().Opacity());
    EXPECT_EQ(label.Width(), fitted);
}

TEST_F(GsLabelTest, RightAlignedLabelKeepsItsRightEdgeWhenItGrows)
{
    GsLabel label;
    label.SetFont(WhiteFont());
    label.SetAlignment(framework::taRightJustify);
    label.SetCaption("1");
    label.SetLeft(200);
    const int right = label.Left() + label.Width();
    label.SetCaption("1000");
    EXPECT_GT(label.Width(), 0);
    EXPECT_EQ(label.Left() + label.Width(), right);
    EXPECT_LT(label.Left(), 200);
}

TEST_F(GsLabelTest, RadiationAssignmentCopiesIntoTheDestinationLabel)
{
    GsLabel source, target;
    source.Radiation().SetRadius(0);
    source.Radiation().SetSpread(9);
    source.Radiation().SetOpacity(50);
    source.Radiation().SetColor(0x00FF00);
    source.Radiation().SetX(-2);
    source.Radiation().SetY(4);
    target.SetFont(WhiteFont());
    target.SetCaption("Copy");
    target.SetRadiation(source.Radiation());
    EXPECT_EQ(target.Radiation().Radius(), 0u);
    EXPECT_EQ(target.Radiation().Spread(), 9);
    EXPECT_EQ(target.Radiation().Opacity(), 50);
    EXPECT_EQ(target.Radiation().Color(), 0x00FF00u);
    EXPECT_EQ(target.Radiation().X(), -2);
    EXPECT_EQ(target.Radiation().Y(), 4);
    const Rect plain = PlainExtent(u"Copy", WhiteFont(), graphics::DT_EXPANDTABS);
    EXPECT_EQ(target.Width(), plain.Width() - 2);
    EXPECT_EQ(target.Height(), plain.Height() + 4);
    // The source is left alone.
    EXPECT_EQ(source.Radiation().Y(), 4);
    EXPECT_EQ(&source.Radiation().Label(), &source);
}

TEST_F(GsLabelTest, DefaultGlowIsBlackAtTheLabelsOpacity)
{
    GsLabel label;
    label.SetFont(WhiteFont());
    label.SetTransparent(true);
    label.SetCaption("H");
    Bitmap container(label.Width() + 10, label.Height() + 10);
    label.DrawInto(&container);
    int maxBlack = 0;
    for (int y = 0; y < container.Height(); ++y)
        for (int x = 0; x < container.Width(); ++x) {
            const Px p = At(container, x, y);
            if (p.r == 0 && p.g == 0 && p.b == 0)
                maxBlack = std::max<int>(maxBlack, p.a);
        }
    EXPECT_GE(maxBlack, 150);
    EXPECT_LE(maxBlack, 192);
}

TEST_F(GsLabelTest, GlowColourAndOffsetShowInTheComposedPixels)
{
    auto compose = [](int offsetX, Bitmap& out) {
        GsLabel label;
        label.SetFont(WhiteFont(-30));
        label.SetTransparent(true);
        label.Radiation().SetColor(graphics::RGB(255, 0, 0));
        label.Radiation().SetOpacity(255);
        label.Radiation().SetX(offsetX);
        label.Radiation().SetY(0);
        label.SetCaption("l");
        out.SetSize(60, 50);
        label.DrawInto(&out);
    };
    Bitmap centred, moved;
    compose(0, centred);
    compose(4, moved);
    double cx0 = 0, cy0 = 0, cx4 = 0, cy4 = 0;
    RedCentroid(centred, cx0, cy0);
    RedCentroid(moved, cx4, cy4);
    ASSERT_GE(cx0, 0) << "no red glow drawn";
    EXPECT_NEAR(cx4 - cx0, 4.0, 1.0);
    EXPECT_NEAR(cy4 - cy0, 0.0, 0.5);

    // The text itself stays where it was (the red glow adds no green).
    auto text = [](Px p) { return p.g > 100; };
    EXPECT_EQ(LeftColumnWhere(moved, +text), LeftColumnWhere(centred, +text));
}

TEST_F(GsLabelTest, DisabledLabelDrawsGrayTextWithoutGlow)
{
    GsLabel label;
    label.SetFont(WhiteFont(-30));
    label.SetTransparent(true);
    label.Radiation().SetColor(graphics::RGB(255, 0, 0));
    label.Radiation().SetOpacity(255);
    label.SetCaption("HI");

    Bitmap enabled(label.Width(), label.Height());
    label.DrawInto(&enabled);
    double cx = 0, cy = 0;
    RedCentroid(enabled, cx, cy);
    ASSERT_GE(cx, 0) << "an enabled label glows";

    label.SetEnabled(false);
    Bitmap disabled(label.Width(), label.Height());
    label.DrawInto(&disabled);
    int solid = 0;
    for (int y = 0; y < disabled.Height(); ++y)
        for (int x = 0; x < disabled.Width(); ++x) {
            const Px p = At(disabled, x, y);
            EXPECT_TRUE(p.r == p.g && p.g == p.b) << x << "," << y;
            if (p.a == 255) {
                ++solid;
                EXPECT_EQ(p.r, 0x6D) << x << "," << y;
            }
        }
    EXPECT_GT(solid, 0);
}

TEST_F(GsLabelTest, OpaqueLabelFillsExactlyItsBoundsInAContainer)
{
    GsLabel label;
    label.SetAutoSize(false);
    label.SetBounds(5, 6, 4, 3);
    label.SetColor(graphics::RGB(10, 20, 30));
    label.SetCaption(" ");
    Bitmap container(12, 12);
    FillAll(container, {1, 2, 3, 4});
    label.DrawInto(&container);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const Px p = At(container, x, y);
            const bool inside = x >= 5 && x < 9 && y >= 6 && y < 9;
            if (inside) {
                EXPECT_EQ(p.r, 10);
                EXPECT_EQ(p.g, 20);
                EXPECT_EQ(p.b, 30);
                EXPECT_EQ(p.a, 255);
            } else {
                EXPECT_EQ(p.b, 1) << x << "," << y;
                EXPECT_EQ(p.a, 4) << x << "," << y;
            }
        }

    // Its own-size picture holds the same colour from the top-left corner.
    Bitmap own;
    label.RenderTo(&own);
    ASSERT_EQ(own.Width(), 4);
    ASSERT_EQ(own.Height(), 3);
    EXPECT_EQ(At(own, 0, 0).r, 10);
    EXPECT_EQ(At(own, 3, 2).b, 30);
}

TEST_F(GsLabelTest, EmptyCaptionDrawsNothingIntoAContainer)
{
    GsLabel label;
    label.SetAutoSize(false);
    label.SetBounds(0, 0, 8, 8);
    label.SetColor(graphics::RGB(10, 20, 30));
    Bitmap container(8, 8);
    FillAll(container, {1, 2, 3, 4});
    label.DrawInto(&container);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(At(container, x, y).a, 4);
}

TEST_F(GsLabelTest, LayoutMovesTheCaptionDownByTheFreeHeight)
{
    auto topRow = [](framework::TTextLayout layout, int labelTop, int& measured) {
        GsLabel label;
        label.SetFont(WhiteFont());
        label.SetTransparent(true);
        label.SetAutoSize(false);
        label.SetBounds(0, labelTop, 100, 60);
        label.SetCaption("X");
        label.SetLayout(layout);
        Bitmap scratch(1, 1);
        Rect rect{0, 0, 100, 60};
        label.DoDrawText(scratch.Canvas(), rect, label.TextFlags() | graphics::DT_CALCRECT);
        measured = rect.Height();
        Bitmap container(100, 140);
        label.DrawInto(&container);
        return TopInkRow(container);
    };
    int measured = 0;
    const int top = topRow(framework::tlTop, 0, measured);
    ASSERT_GE(top, 0);
    ASSERT_LT(measured, 60);
    EXPECT_EQ(topRow(framework::tlBottom, 0, measured), top + (60 - measured));
    EXPECT_EQ(topRow(framework::tlCenter, 0, measured), top + (60 - measured) / 2);
    // Lower in the container, the caption keeps its place inside the label.
    EXPECT_EQ(topRow(framework::tlBottom, 70, measured), 70 + top + (60 - measured));
}

TEST_F(GsLabelTest, PaintsOnItsParentsSurfaceAndRepaintsItWhenDisabled)
{
    framework::Control parent;
    parent.SetBounds(0, 0, 40, 30);
    GsLabel label;
    label.SetParent(&parent);
    label.SetAutoSize(false);
    label.SetBounds(10, 10, 5, 5);
    label.SetColor(graphics::RGB(200, 100, 50));
    label.SetCaption(" ");
    parent.Update();
    EXPECT_EQ(At(parent.Surface(), 10, 10).r, 200);
    EXPECT_EQ(At(parent.Surface(), 14, 14).b, 50);
    EXPECT_NE(At(parent.Surface(), 15, 15).r, 200);

    ASSERT_FALSE(parent.PaintPending());
    label.SetEnabled(false);
    EXPECT_TRUE(parent.PaintPending());
    parent.Update();
    label.Radiation().SetColor(0x00FF00);
    EXPECT_TRUE(parent.PaintPending());
}
