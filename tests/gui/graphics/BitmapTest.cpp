#include "GraphicsTestSupport.h"

#include "gui/graphics/Bitmap.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace graphics;
using graphicstest::FillPattern;
using graphicstest::Get;
using graphicstest::Pixel;
using graphicstest::Set;

TEST(Bitmap, NewBitmapsAreEmptyOrTransparentBlack)
{
    Bitmap empty;
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(empty.PixelFormat(), pf32bit);
    EXPECT_EQ(empty.GetAlphaMode(), AlphaMode::Ignored);
    Bitmap b(3, 2, pf24bit);
    EXPECT_EQ(b.BytesPerPixel(), 3);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(Get(b, x, y), (Pixel{0, 0, 0, 0}));
}

TEST(Bitmap, RowsAreTopDownWithoutGapsBetweenPixels)
{
    Bitmap b(3, 2);
    Set(b, 1, 0, {1, 2, 3, 4});
    EXPECT_EQ(b.Image().pixel(1, 0), qRgba(3, 2, 1, 4)) << "B, G, R, A in memory";
    Bitmap c(3, 2, pf24bit);
    Set(c, 2, 1, {7, 8, 9, 0});
    EXPECT_EQ(c.ScanLine(1)[6], 7);
    EXPECT_EQ(c.Image().pixel(2, 1) & 0xFFFFFFu, 0x090807u) << "B, G, R in memory";
}

TEST(Bitmap, ResizingKeepsTheSharedAreaAndZeroesTheRest)
{
    Bitmap b(4, 4);
    FillPattern(b);
    b.SetSize(6, 2);
    ASSERT_EQ(b.Width(), 6);
    ASSERT_EQ(b.Height(), 2);
    EXPECT_EQ(Get(b, 3, 1), (Pixel{3, 1, 4, 200}));
    EXPECT_EQ(Get(b, 4, 1), (Pixel{0, 0, 0, 0}));
    b.SetSize(-3, 5);
    EXPECT_TRUE(b.Empty());
}

TEST(Bitmap, DepthConversionsKeepColourAndMakeNewAlphaOpaque)
{
    Bitmap b(2, 1);
    Set(b, 0, 0, {10, 20, 30, 40});
    b.SetPixelFormat(pf24bit);
    EXPECT_EQ(Get(b, 0, 0), (Pixel{10, 20, 30, 0}));
    b.SetPixelFormat(pf32bit);
    EXPECT_EQ(Get(b, 0, 0), (Pixel{10, 20, 30, 255}));
    EXPECT_EQ(Get(b, 1, 0), (Pixel{0, 0, 0, 255}));
}

TEST(Bitmap, IgnoredToPremultipliedRoundsToNearestForEveryValue)
{
    Bitmap b(256, 256);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c)
            Set(b, c, a, {std::uint8_t(c), std::uint8_t(c), std::uint8_t(255 - c), std::uint8_t(a)});
    b.SetAlphaMode(AlphaMode::Premultiplied);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c) {
            const Pixel p = Get(b, c, a);
            ASSERT_EQ(p[0], std::lround(c * a / 255.0)) << c << "," << a;
            ASSERT_EQ(p[2], std::lround((255 - c) * a / 255.0));
            ASSERT_EQ(p[3], a);
        }
}

TEST(Bitmap, OnlyTheSwitchFromIgnoredConverts)
{
    Bitmap b(1, 1);
    Set(b, 0, 0, {200, 100, 50, 128});
    b.SetAlphaMode(AlphaMode::Defined);
    b.SetAlphaMode(AlphaMode::Premultiplied);
    EXPECT_EQ(Get(b, 0, 0), (Pixel{200, 100, 50, 128}));
    b.SetAlphaMode(AlphaMode::Ignored);
    EXPECT_EQ(Get(b, 0, 0), (Pixel{200, 100, 50, 128}));
    Bitmap c(1, 1, pf24bit);
    Set(c, 0, 0, {200, 100, 50, 0});
    c.SetAlphaMode(AlphaMode::Premultiplied);
    EXPECT_EQ(Get(c, 0, 0), (Pixel{200, 100, 50, 0}));
}

TEST(Bitmap, AssignCopiesPixelsAndSurfaceSettingsButNoLaterWrites)
{
    Bitmap source(2, 2, pf24bit);
    Set(source, 1, 1, {1, 2, 3, 0});
    source.SetAlphaMode(AlphaMode::Defined);
    source.Canvas().Font().Name = "Candara";
    source.Canvas().Font().Color = RGB(1, 2, 3);
    source.Canvas().Brush().Color = clBlack;
    Bitmap copy;
    copy.Assign(source);
    EXPECT_EQ(copy.PixelFormat(), pf24bit);
    EXPECT_EQ(copy.GetAlphaMode(), AlphaMode::Defined);
    EXPECT_EQ(copy.Canvas().Font(), source.Canvas().Font());
    EXPECT_EQ(copy.Canvas().Brush().Color, clBlack);
    Set(copy, 1, 1, {9, 9, 9, 0});
    EXPECT_EQ(Get(source, 1, 1), (Pixel{1, 2, 3, 0}));
}

TEST(BitmapDeath, ARowOutsideTheBitmapIsAProgrammingError)
{
    Bitmap b(2, 2);
    EXPECT_DEATH(b.ScanLine(2), "Assertion failed: row >= 0 && row < Height\\(\\)");
    EXPECT_DEATH(b.ScanLine(-1), "Assertion failed");
}
