#include "SkinImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using skintest::LoadSkin;
using skintest::MeanLuminance;

// Where the main window places things (client pixels).
struct Placed {
    const char* name;
    QPoint at;
};

const Placed kControls[] = {
    {"close_n.png", {394, 4}},      {"close_o.png", {394, 4}},       {"close_d.png", {394, 4}},
    {"minimized_n.png", {374, 4}},  {"minimized_o.png", {374, 4}},   {"minimized_d.png", {374, 4}},
    {"apply_n.png", {304, 501}},    {"apply_o.png", {304, 501}},     {"apply_d.png", {304, 501}},
    {"mark_n.png", {78, 450}},      {"mark_do.png", {78, 450}},      {"switch_ON_o.png", {307, 27}},
    {"switch_OFF_o.png", {307, 27}}, {"arrowup_n.png", {262, 141}},  {"arrowdown_n.png", {262, 164}},
    {"arrowup_n.png", {262, 332}},  {"arrowdown_n.png", {262, 355}}, {"bar_n.png", {34, 190}},
    {"bar_n.png", {34, 381}},       {"ball_d.png", {34, 191}},       {"ball_d.png", {34 + 334, 382}},
};

TEST(WindowPicture, EveryControlLandsOnTheOpaquePanel)
{
    // A control pixel over a see-through part of the window would float in the shadow.
    const QImage background = LoadSkin("background2.png");
    ASSERT_FALSE(background.isNull());
    for (const Placed& c : kControls) {
        SCOPED_TRACE(c.name);
        const QImage image = LoadSkin(c.name);
        ASSERT_FALSE(image.isNull());
        int stray = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) == 0)
                    continue;
                const QPoint p = c.at + QPoint(x, y);
                stray += !background.rect().contains(p) || qAlpha(background.pixel(p)) < 255;
            }
        EXPECT_EQ(stray, 0);
    }
}

TEST(WindowPicture, EdgesAreSoftAndTheShadowFallsBelow)
{
    const QImage bg = LoadSkin("background2.png");
    ASSERT_FALSE(bg.isNull());
    EXPECT_EQ(qAlpha(bg.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(bg.pixel(bg.width() - 1, 0)), 0);
    EXPECT_EQ(qAlpha(bg.pixel(212, 300)), 255);
    const int below = qAlpha(bg.pixel(212, 537));
    const int above = qAlpha(bg.pixel(212, 0));
    EXPECT_GT(below, 0);
    EXPECT_LT(below, 255);
    EXPECT_GT(below, above);
    // Rounded corners: partial coverage on the arc of the top-left corner.
    int partial = 0;
    for (int y = 2; y < 12; ++y)
        for (int x = 6; x < 16; ++x) {
            const int a = qAlpha(bg.pixel(x, y));
            partial += a > 0 && a < 255;
        }
    EXPECT_GT(partial, 3);
}

TEST(WindowPicture, DarkTextsLieOnLightGround)
{
    // The window draws its titles in black and its other texts in grays from #4E4E4E to
    // #8B8B8B; they need a light ground to be read.
    const QImage bg = LoadSkin("background2.png");
    ASSERT_FALSE(bg.isNull());
    const QRect texts[] = {
        {30, 73, 126, 40},  {30, 238, 126, 40},  {155, 77, 250, 45},  {155, 241, 250, 70},
        {155, 447, 250, 30}, {342, 167, 45, 20}, {342, 359, 45, 20},  {170, 125, 85, 60},
        {170, 316, 85, 60}, {34, 214, 25, 14},   {200, 214, 25, 14},  {368, 214, 25, 14},
        {37, 405, 25, 14},  {192, 405, 25, 14},  {364, 405, 20, 14},
    };
    for (const QRect& r : texts) {
        SCOPED_TRACE(testing::Message() << r.x() << "," << r.y());
        EXPECT_GT(MeanLuminance(bg, r), 200.0);
    }
}

TEST(WindowPicture, LightGlyphsLieOnTheDarkHeader)
{
    const QImage bg = LoadSkin("background2.png");
    ASSERT_FALSE(bg.isNull());
    EXPECT_LT(MeanLuminance(bg, {374, 4, 40, 20}), 90.0);
    EXPECT_LT(MeanLuminance(bg, {307, 27, 72, 28}), 90.0);
    EXPECT_GT(MeanLuminance(skintest::LoadSkin("close_n.png"), {6, 6, 8, 8}), 40.0)
        << "the close cross must show on the dark header";
}

TEST(SliderPictures, TrackPassesThroughTheBallCentre)
{
    // The track overlay is drawn 10 pixels above the slider, centred in the bar's height;
    // the ball sits 1 pixel below the slider's top.
    const QImage bar = LoadSkin("bar_n.png");
    const QImage barOff = LoadSkin("bar_un.png");
    const QImage ball = LoadSkin("ball_n.png");
    ASSERT_FALSE(bar.isNull() || ball.isNull() || barOff.isNull());
    const double ballCentre = 1 + ball.height() / 2.0;
    for (const char* name : {"barline_head_n.png", "barline_n.png"}) {
        const QImage line = LoadSkin(name);
        const double centre = -10 + (bar.height() - line.height()) / 2 + skintest::AlphaCentreY(line);
        EXPECT_NEAR(centre, ballCentre, 0.5) << name;
    }
    for (const char* name : {"barline_head_un.png", "barline_un.png", "barline_base_n.png"}) {
        const QImage line = LoadSkin(name);
        const double centre = -10 + (barOff.height() - line.height()) / 2 + skintest::AlphaCentreY(line);
        EXPECT_NEAR(centre, ballCentre, 0.5) << name;
    }
    // The groove of the bar itself is centred there too.
    EXPECT_NEAR(skintest::AlphaCentreY(bar.copy(0, 0, bar.width(), 20)), ballCentre, 0.75);
}

TEST(SliderPictures, LinePiecesJoinUnderTheBall)
{
    const QImage head = LoadSkin("barline_head_n.png");
    const QImage line = LoadSkin("barline_n.png");
    const QImage headOff = LoadSkin("barline_head_un.png");
    const QImage end = LoadSkin("barline_base_n.png");
    const QImage ball = LoadSkin("ball_d.png");
    ASSERT_FALSE(head.isNull() || line.isNull() || headOff.isNull() || end.isNull() || ball.isNull());
    // Relative to the thumb's left edge: the filled line ends at head + line - 3, the
    // unfilled one starts at 10. Both ends must hide under the ball.
    const int filledEnd = head.width() + line.width() - 3;
    EXPECT_GE(filledEnd, ball.width() / 2);
    EXPECT_LE(filledEnd, ball.width() - 2);
    EXPECT_LE(10, ball.width() / 2 + 2);
    EXPECT_EQ(head.height(), line.height());
    // The unfilled strip is head, stretched line, end: the two fixed pieces make 16 pixels.
    EXPECT_EQ(headOff.width() + end.width(), 16);
    // The last two columns of the end piece are never drawn; a cap there would be cut.
    for (int y = 0; y < end.height(); ++y) {
        EXPECT_EQ(qAlpha(end.pixel(end.width() - 1, y)), 0);
        EXPECT_EQ(qAlpha(end.pixel(end.width() - 2, y)), 0);
    }
}

TEST(SliderPictures, ScaleNumbersSitUnderTheThumbCentre)
{
    const QImage bar = LoadSkin("bar_n.png");
    const QImage ball = LoadSkin("ball_n.png");
    ASSERT_FALSE(bar.isNull() || ball.isNull());
    const int travel = bar.width() - ball.width();
    const double left = 34 + ball.width() / 2.0;
    // Label centres of the restart scale (left-aligned short numbers) and the reload scale.
    EXPECT_NEAR(left, 34 + 6, 6);
    EXPECT_NEAR(left + travel / 2.0, 200 + 10, 6);
    EXPECT_NEAR(left + travel, 368 + 10, 6);
    EXPECT_NEAR(left + travel / 2.0, 192 + 25 - 6, 6);
    EXPECT_NEAR(left + travel, 364 + 20 - 6, 6);
    // The slider ends inside the panel, clear of its right edge.
    EXPECT_LE(34 + bar.width(), 418 - 8);
}

TEST(ArrowPictures, StackWithoutOverlapBetweenNumberAndCaption)
{
    for (const char* name : {"arrowup_n.png", "arrowdown_n.png"}) {
        const QImage arrow = LoadSkin(name);
        ASSERT_FALSE(arrow.isNull());
        EXPECT_LE(arrow.height(), 23) << "up and down are 23 pixels apart";
        EXPECT_LE(262 + arrow.width(), 342) << "clear of the seconds caption";
        EXPECT_LE(164 + arrow.height(), 190) << "above the slider";
    }
}

TEST(ButtonPictures, WindowButtonsSitSideBySide)
{
    const QImage minimize = LoadSkin("minimized_n.png");
    const QImage close = LoadSkin("close_n.png");
    ASSERT_FALSE(minimize.isNull() || close.isNull());
    EXPECT_LE(374 + minimize.width(), 394);
    EXPECT_LE(394 + close.width(), 424);
    const QImage sw = LoadSkin("switch_ON_n.png");
    ASSERT_FALSE(sw.isNull());
    EXPECT_FALSE(QRect(QPoint(307, 27), sw.size()).intersects(QRect(374, 4, 40, 20)));
    EXPECT_LE(27 + sw.height(), 64) << "switch inside the header";
}

} // namespace
