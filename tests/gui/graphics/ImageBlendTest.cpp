#include "GraphicsTestSupport.h"

#include "gui/graphics/image.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace graphics;
using graphicstest::FillAll;
using graphicstest::Get;
using graphicstest::Pixel;
using graphicstest::Set;

// ---- PremultiplyAlpha -------------------------------------------------------------------

TEST(PremultiplyAlpha, TruncatesEachChannel)
{
    Bitmap b(1, 1);
    Set(b, 0, 0, {255, 128, 1, 128});
    PremultiplyAlpha(&b);
    EXPECT_EQ(Get(b, 0, 0), (Pixel{128, 64, 0, 128}));
}

TEST(PremultiplyAlpha, EveryColourAndAlphaGivesFloorAndNeverExceedsAlpha)
{
    Bitmap b(256, 256);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c)
            Set(b, c, a, {std::uint8_t(c), std::uint8_t(255 - c), 255, std::uint8_t(a)});
    PremultiplyAlpha(&b);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c) {
            const Pixel p = Get(b, c, a);
            ASSERT_EQ(p[0], int(std::floor(c * a / 255.0))) << c << "," << a;
            ASSERT_EQ(p[1], int(std::floor((255 - c) * a / 255.0)));
            ASSERT_EQ(p[2], a);
            ASSERT_EQ(p[3], a);
        }
}

TEST(PremultiplyAlpha, LeavesA24BitBitmapAlone)
{
    Bitmap b(2, 1, pf24bit);
    Set(b, 0, 0, {10, 20, 30, 0});
    Set(b, 1, 0, {255, 255, 255, 0});
    PremultiplyAlpha(&b);
    EXPECT_EQ(Get(b, 0, 0), (Pixel{10, 20, 30, 0}));
    EXPECT_EQ(Get(b, 1, 0), (Pixel{255, 255, 255, 0}));
    EXPECT_EQ(b.PixelFormat(), pf24bit);
}

// ---- ClipBlendArea ----------------------------------------------------------------------

struct ClipCase {
    const char* name;
    Rect rect;
    Point origin;
    int layerW, layerH, dstW, dstH;
    Rect expectRect;
    Point expectOrigin;
};

class ClipBlendAreaTable : public testing::TestWithParam<ClipCase> {};

TEST_P(ClipBlendAreaTable, ClipsRectangleAndMovesOrigin)
{
    const ClipCase& c = GetParam();
    Bitmap dst(c.dstW, c.dstH), layer(c.layerW, c.layerH);
    Point origin = c.origin;
    EXPECT_EQ(ClipBlendArea(&dst, c.rect, &layer, origin), c.expectRect);
    EXPECT_EQ(origin, c.expectOrigin);
}

INSTANTIATE_TEST_SUITE_P(
    ClipBlendArea, ClipBlendAreaTable,
    testing::Values(
        ClipCase{"NegativeLeftMovesTheOrigin", {-5, 0, 20, 10}, {0, 0}, 30, 10, 100, 100, {0, 0, 20, 10}, {5, 0}},
        ClipCase{"NegativeOriginMovesTheRectangle", {0, 0, 50, 10}, {-3, 0}, 30, 10, 100, 100, {3, 0, 33, 10}, {0, 0}},
        ClipCase{"NegativeTopMovesTheOrigin", {0, -4, 10, 10}, {0, 0}, 10, 20, 100, 100, {0, 0, 10, 10}, {0, 4}},
        ClipCase{"NegativeOriginYMovesTheTop", {0, 0, 10, 30}, {0, -6}, 10, 20, 100, 100, {0, 6, 10, 26}, {0, 0}},
        ClipCase{"RightAndBottomStopAtTheDestination", {90, 95, 200, 200}, {0, 0}, 300, 300, 100, 100, {90, 95, 100, 100}, {0, 0}},
        ClipCase{"WideLayerNeverPassesTheDestination", {0, 0, 500, 500}, {0, 0}, 1000, 1000, 40, 30, {0, 0, 40, 30}, {0, 0}},
        ClipCase{"LayerShorterThanTheRectangle", {10, 10, 60, 60}, {5, 5}, 20, 20, 100, 100, {10, 10, 25, 25}, {5, 5}},
        ClipCase{"OriginPastTheLayerGivesAnEmptyArea", {0, 0, 10, 10}, {50, 0}, 20, 20, 100, 100, {0, 0, 0, 10}, {50, 0}}),
    [](const testing::TestParamInfo<ClipCase>& info) { return std::string(info.param.name); });

TEST(ClipBlendArea, ResultAlwaysLiesInsideBothBitmaps)
{
    Bitmap dst(12, 9), layer(7, 11);
    for (int left = -14; left <= 14; left += 2)
        for (int top = -12; top <= 12; top += 3)
            for (int w = 0; w <= 24; w += 4)
                for (int ox = -9; ox <= 9; ox += 3)
                    for (int oy = -12; oy <= 12; oy += 4) {
                        Point origin{ox, oy};
                        const Rect r = ClipBlendArea(&dst, Rect{left, top, left + w, top + w / 2 + 1}, &layer, origin);
                        if (r.IsEmpty())
                            continue;
                        ASSERT_GE(r.Left, 0);
                        ASSERT_GE(r.Top, 0);
                        ASSERT_LE(r.Right, dst.Width());
                        ASSERT_LE(r.Bottom, dst.Height());
                        ASSERT_GE(origin.x, 0);
                        ASSERT_GE(origin.y, 0);
                        ASSERT_LE(origin.x + r.Width(), layer.Width());
                        ASSERT_LE(origin.y + r.Height(), layer.Height());
                        // The pixel pairing is kept: the layer pixel for a destination pixel
                        // is the one the unclipped call would have used.
                        ASSERT_EQ(r.Left - origin.x, left - ox);
                        ASSERT_EQ(r.Top - origin.y, top - oy);
                    }
}

// ---- BlendStraight24 --------------------------------------------------------------------

TEST(BlendStraight24, HalfOpacityOverBlackGives127Not128)
{
    Bitmap dst(1, 1, pf24bit), layer(1, 1);
    Set(layer, 0, 0, {255, 255, 255, 255});
    BlendStraight24(&dst, Rect{0, 0, 1, 1}, &layer, Point{0, 0}, 128);
    EXPECT_EQ(Get(dst, 0, 0), (Pixel{127, 127, 127, 0}));
}

TEST(BlendStraight24, FullOpacityOpaqueCopiesAndZeroChangesNothing)
{
    Bitmap dst(256, 2, pf24bit), layer(256, 2);
    for (int c = 0; c < 256; ++c) {
        Set(layer, c, 0, {std::uint8_t(c), std::uint8_t(255 - c), std::uint8_t(c / 2), 255});
        Set(dst, c, 0, {std::uint8_t(255 - c), 7, std::uint8_t(c), 0});
        Set(layer, c, 1, {std::uint8_t(c), 200, 100, 0}); // alpha 0: invisible
        Set(dst, c, 1, {std::uint8_t(c), 1, 2, 0});
    }
    Bitmap dstZero(256, 1, pf24bit);
    FillAll(dstZero, {9, 8, 7, 0});
    BlendStraight24(&dst, Rect{0, 0, 256, 2}, &layer, Point{0, 0}, 255);
    BlendStraight24(&dstZero, Rect{0, 0, 256, 1}, &layer, Point{0, 0}, 0);
    for (int c = 0; c < 256; ++c) {
        ASSERT_EQ(Get(dst, c, 0), (Pixel{std::uint8_t(c), std::uint8_t(255 - c), std::uint8_t(c / 2), 0}));
        ASSERT_EQ(Get(dst, c, 1), (Pixel{std::uint8_t(c), 1, 2, 0}));
        ASSERT_EQ(Get(dstZero, c, 0), (Pixel{9, 8, 7, 0}));
    }
}

TEST(BlendStraight24, WhiteOverBlackFollowsOpacityWithinOneAndNeverDecreases)
{
    Bitmap dst(256, 1, pf24bit), layer(1, 1);
    Set(layer, 0, 0, {255, 255, 255, 255});
    for (int o = 0; o < 256; ++o)
        BlendStraight24(&dst, Rect{o, 0, o + 1, 1}, &layer, Point{0, 0}, std::uint8_t(o));
    for (int o = 0; o < 256; ++o) {
        const int v = Get(dst, o, 0)[0];
        ASSERT_LE(std::abs(v - o), 1) << o;
        if (o > 0) {
            ASSERT_GE(v, Get(dst, o - 1, 0)[0]) << o;
        }
    }
}

TEST(BlendStraight24, Turns32BitDestinationInto24BitAndUsesTheOrigin)
{
    Bitmap dst(3, 2), layer(4, 4);
    FillAll(dst, {50, 60, 70, 80});
    Set(layer, 2, 3, {1, 2, 3, 255});
    BlendStraight24(&dst, Rect{1, 1, 2, 2}, &layer, Point{2, 3}, 255);
    EXPECT_EQ(dst.PixelFormat(), pf24bit);
    EXPECT_EQ(Get(dst, 1, 1), (Pixel{1, 2, 3, 0}));
    EXPECT_EQ(Get(dst, 0, 1), (Pixel{50, 60, 70, 0}));
    EXPECT_EQ(Get(dst, 2, 1), (Pixel{50, 60, 70, 0}));
    EXPECT_EQ(Get(layer, 2, 3), (Pixel{1, 2, 3, 255})); // the layer is not written
}

TEST(BlendStraight24Death, A24BitLayerStopsTheProgram)
{
    Bitmap dst(1, 1, pf24bit), layer(1, 1, pf24bit);
    EXPECT_DEATH(BlendStraight24(&dst, Rect{0, 0, 1, 1}, &layer, Point{0, 0}, 255),
                 "Assertion failed: src->PixelFormat == pf32bit, file src/gui/graphics/image, line [0-9]+");
}

TEST(BlendStraight24Death, AnAreaOutsideTheBitmapsIsAProgrammingError)
{
    Bitmap dst(4, 4, pf24bit), layer(4, 4);
    EXPECT_DEATH(BlendStraight24(&dst, Rect{2, 0, 6, 1}, &layer, Point{0, 0}, 255), "Assertion failed");
    EXPECT_DEATH(BlendStraight24(&dst, Rect{0, 0, 2, 1}, &layer, Point{3, 0}, 255), "Assertion failed");
}

TEST(BlendLayerSoftware, ClipsAndLeavesTheCallersOriginAlone)
{
    Bitmap dst(4, 4, pf24bit), layer(4, 4);
    FillAll(layer, {200, 100, 50, 255});
    Point origin{-2, -2};
    BlendLayerSoftware(&dst, Rect{-3, 0, 10, 10}, &layer, origin, 255);
    EXPECT_EQ(origin, (Point{-2, -2}));
    // Clipping left: origin x = -2 + 3 = 1, then y: origin -2 moves the top to 2.
    EXPECT_EQ(Get(dst, 0, 1), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(Get(dst, 0, 2), (Pixel{200, 100, 50, 0}));
    EXPECT_EQ(Get(dst, 2, 3), (Pixel{200, 100, 50, 0}));
    EXPECT_EQ(Get(dst, 3, 3), (Pixel{0, 0, 0, 0})); // the layer has only 3 columns left
}

// ---- AlphaBlendLayer / BlendLayer -------------------------------------------------------

namespace {

// Premultiplied "over" in real numbers: the reference the integer blend stays close to (three
// roundings of at most half a step each).
double Over(int s, int sa, int d, int opacity)
{
    return s * opacity / 255.0 + d * (1.0 - sa * opacity / (255.0 * 255.0));
}

} // namespace

TEST(AlphaBlendLayer, MatchesThePremultipliedOverWithinOne)
{
    Bitmap layer(256, 1), dst(256, 1);
    for (int opacity : {0, 1, 64, 128, 200, 254, 255})
        for (int a = 0; a < 256; a += 5) {
            for (int x = 0; x < 256; ++x) {
                const int c = x * a / 255; // valid premultiplied colour
                Set(layer, x, 0, {std::uint8_t(c), std::uint8_t(a - c), 0, std::uint8_t(a)});
                Set(dst, x, 0, {std::uint8_t(255 - x), std::uint8_t(x), 255, 255});
            }
            AlphaBlendLayer(&dst, Rect{0, 0, 256, 1}, &layer, Point{0, 0}, std::uint8_t(opacity));
            for (int x = 0; x < 256; ++x) {
                const int c = x * a / 255;
                const Pixel p = Get(dst, x, 0);
                ASSERT_NEAR(p[0], Over(c, a, 255 - x, opacity), 1.5) << a << " " << opacity;
                ASSERT_NEAR(p[1], Over(a - c, a, x, opacity), 1.5);
                ASSERT_NEAR(p[2], Over(0, a, 255, opacity), 1.5);
                ASSERT_NEAR(p[3], Over(a, a, 255, opacity), 1.5);
            }
        }
}

TEST(AlphaBlendLayer, ExactAtTheEnds)
{
    Bitmap layer(2, 1), dst(2, 1);
    Set(layer, 0, 0, {10, 20, 30, 255});
    Set(layer, 1, 0, {0, 0, 0, 0});
    FillAll(dst, {99, 98, 97, 96});
    AlphaBlendLayer(&dst, Rect{0, 0, 2, 1}, &layer, Point{0, 0}, 255);
    EXPECT_EQ(Get(dst, 0, 0), (Pixel{10, 20, 30, 255}));
    EXPECT_EQ(Get(dst, 1, 0), (Pixel{99, 98, 97, 96}));
    AlphaBlendLayer(&dst, Rect{0, 0, 2, 1}, &layer, Point{0, 0}, 0);
    EXPECT_EQ(Get(dst, 0, 0), (Pixel{10, 20, 30, 255}));
}

TEST(AlphaBlendLayer, OntoA24BitBitmapAndFromA24BitLayer)
{
    Bitmap dst(1, 1, pf24bit), layer(1, 1), plain(1, 1, pf24bit);
    Set(dst, 0, 0, {100, 100, 100, 0});
    Set(layer, 0, 0, {64, 64, 64, 128});
    AlphaBlendLayer(&dst, Rect{0, 0, 1, 1}, &layer, Point{0, 0}, 255);
    EXPECT_EQ(Get(dst, 0, 0), (Pixel{114, 114, 114, 0})); // 64 + 100 * 127 / 255
    // Without per-pixel alpha only the opacity counts.
    Bitmap dst32(1, 1);
    Set(dst32, 0, 0, {0, 0, 0, 0});
    Set(plain, 0, 0, {255, 255, 255, 0});
    AlphaBlendLayer(&dst32, Rect{0, 0, 1, 1}, &plain, Point{0, 0}, 51);
    EXPECT_EQ(Get(dst32, 0, 0), (Pixel{51, 51, 51, 51}));
}

TEST(AlphaBlendLayer, HonoursTheSurfaceOriginAndClipRegion)
{
    Bitmap dst(10, 10), layer(4, 4);
    FillAll(layer, {1, 2, 3, 255});
    dst.Canvas().SetViewportOrigin(Point{5, 5});
    dst.Canvas().SetClipRegion(Region(Rect{0, 0, 7, 7}));
    AlphaBlendLayer(&dst, Rect{0, 0, 4, 4}, &layer, Point{0, 0}, 255);
    int painted = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            if (Get(dst, x, y)[3] != 0) {
                ++painted;
                EXPECT_TRUE(x >= 5 && x < 7 && y >= 5 && y < 7) << x << "," << y;
            }
    EXPECT_EQ(painted, 4);
}

TEST(AlphaBlendLayer, AnAreaOutsideTheLayerDrawsNothing)
{
    Bitmap dst(4, 4), layer(2, 2);
    FillAll(layer, {1, 2, 3, 255});
    AlphaBlendLayer(&dst, Rect{0, 0, 3, 3}, &layer, Point{0, 0}, 255);
    AlphaBlendLayer(&dst, Rect{0, 0, 2, 2}, &layer, Point{-1, 0}, 255);
    AlphaBlendLayer(&dst, Rect{0, 0, -2, 2}, &layer, Point{0, 0}, 255);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(Get(dst, x, y), (Pixel{0, 0, 0, 0}));
}

TEST(BlendLayer, ClipsToEveryEdge)
{
    for (const Rect r : {Rect{-2, 1, 2, 3}, Rect{3, -2, 6, 2}, Rect{3, 3, 9, 9}, Rect{-9, -9, 9, 9}}) {
        Bitmap dst(5, 5), layer(20, 20);
        FillAll(layer, {9, 9, 9, 255});
        BlendLayer(&dst, r, &layer, Point{0, 0}, 255);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x) {
                const bool inside = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
                ASSERT_EQ(Get(dst, x, y)[0], inside ? 9 : 0) << x << "," << y;
            }
    }
}

TEST(BlendLayer, NegativeOriginPairsThePixelsAsUnclipped)
{
    Bitmap dst(6, 6), layer(3, 3);
    graphicstest::FillPattern(layer);
    PremultiplyAlpha(&layer);
    Set(layer, 0, 0, {7, 7, 7, 255});
    BlendLayer(&dst, Rect{0, 0, 6, 6}, &layer, Point{-2, -1}, 255);
    EXPECT_EQ(Get(dst, 2, 1), (Pixel{7, 7, 7, 255}));
    EXPECT_EQ(Get(dst, 1, 1)[3], 0);
    EXPECT_EQ(Get(dst, 4, 3)[3], 200);
    EXPECT_EQ(Get(dst, 5, 3)[3], 0);
    EXPECT_EQ(Get(dst, 4, 4)[3], 0);
}

TEST(BlendLayerDeath, A24BitLayerStopsTheProgram)
{
    Bitmap dst(1, 1), layer(1, 1, pf24bit);
    EXPECT_DEATH(BlendLayer(&dst, Rect{0, 0, 1, 1}, &layer, Point{0, 0}, 255),
                 "Assertion failed: layer->PixelFormat == pf32bit, file src/gui/graphics/image, line [0-9]+");
}
