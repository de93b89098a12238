#include "PainterTestSupport.h"

#include "gui/Painter/TextPainter.h"

#include <gtest/gtest.h>

using namespace graphics;
using namespace paintertest;
using painter::IntMatrix;

namespace {

// A 32-bit bitmap of opaque black with white pixels at the given points: a synthetic mask.
void MakeMask(Bitmap& b, int w, int h, std::initializer_list<Point> white)
{
    b.SetSize(w, h);
    FillAll(b, {0, 0, 0, 255});
    for (const Point& p : white)
        Set(b, p.x, p.y, {255, 255, 255, 255});
}

} // namespace

TEST(LuminanceMap, WeighsRedGreenBlueAndRounds)
{
    Bitmap b(4, 2);
    Set(b, 0, 0, {0, 0, 255, 255});   // red: 76.245 + 0.5
    Set(b, 1, 0, {0, 255, 0, 255});   // green: 149.685 + 0.5
    Set(b, 2, 0, {255, 0, 0, 255});   // blue: 29.07 + 0.5
    Set(b, 3, 0, {255, 255, 255, 0}); // white; alpha is not looked at
    Set(b, 0, 1, {10, 20, 30, 255});  // 8.97 + 11.74 + 1.14 + 0.5 = 22.35
    const IntMatrix m = painter::LuminanceMap(&b, {0, 0, 4, 2});
    ASSERT_EQ(m.Rows(), 2);
    ASSERT_EQ(m.Columns(), 4);
    EXPECT_EQ(m[0][0], 76);
    EXPECT_EQ(m[0][1], 150);
    EXPECT_EQ(m[0][2], 29);
    EXPECT_EQ(m[0][3], 255);
    EXPECT_EQ(m[1][0], 22);
    EXPECT_EQ(m[1][1], 0);
}

TEST(LuminanceMap, ReadsTwentyFourBitPixelsAndTheRectangleRelative)
{
    Bitmap b(3, 3, pf24bit);
    Set(b, 2, 1, {0, 255, 0, 0});
    const IntMatrix m = painter::LuminanceMap(&b, {1, 1, 3, 3});
    EXPECT_EQ(m[0][1], 150);
    EXPECT_EQ(m[0][0], 0);
    EXPECT_EQ(m[1][1], 0);
}

TEST(LuminanceMap, PixelsOutsideTheBitmapReadAsBlack)
{
    Bitmap b(2, 2);
    FillAll(b, {255, 255, 255, 255});
    const IntMatrix m = painter::LuminanceMap(&b, {-1, -1, 3, 3});
    ASSERT_EQ(m.Rows(), 4);
    EXPECT_EQ(m[0][0], 0);
    EXPECT_EQ(m[1][1], 255);
    EXPECT_EQ(m[2][2], 255);
    EXPECT_EQ(m[3][3], 0);
    EXPECT_EQ(m[1][3], 0);
}

class GlowLayer : public testing::Test {
protected:
    void SetUp() override
    {
        m_Painter.SetRadius(3);
        m_Painter.SetSpread(255);
        m_Painter.SetOpacity(255);
    }

    painter::TRadiateTextPainter m_Painter;
};

TEST_F(GlowLayer, OneWhitePixelGrowsIntoTheKernelInTheGlowColour)
{
    Bitmap b;
    MakeMask(b, 9, 9, {{4, 4}});
    m_Painter.BuildGlowLayer(&b, {0, 0, 9, 9}, true, RGB(255, 128, 0));
    EXPECT_EQ(Get(b, 4, 4), (Pixel{0, 128, 255, 255}));
    EXPECT_EQ(Get(b, 4, 1), (Pixel{0, 128, 255, 255})); // distance 3, inside the disc
    EXPECT_EQ(Get(b, 6, 6), (Pixel{0, 128, 255, 255})); // distance 2.83
    // Corner (1, 1) at 4.24: 255 x 118 / 256 = 117; colour x 117/255 rounded: 58.7 -> 59.
    EXPECT_EQ(Get(b, 1, 1), (Pixel{0, 59, 117, 117}));
    // Beyond the radius: transparent black.
    EXPECT_EQ(Get(b, 0, 0), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(Get(b, 8, 4), (Pixel{0, 0, 0, 0}));
}

TEST_F(GlowLayer, StraightColourKeepsTheGlowColourWhateverTheAlpha)
{
    Bitmap b;
    MakeMask(b, 9, 9, {{4, 4}});
    m_Painter.BuildGlowLayer(&b, {0, 0, 9, 9}, false, RGB(255, 128, 0));
    EXPECT_EQ(Get(b, 1, 1), (Pixel{0, 128, 255, 117}));
    EXPECT_EQ(Get(b, 0, 0), (Pixel{0, 128, 255, 0}));
}

TEST_F(GlowLayer, OpacityScalesTheCentreAndTheFallOff)
{
    m_Painter.SetSpread(0);
    m_Painter.SetOpacity(192);
    Bitmap b;
    MakeMask(b, 9, 9, {{4, 4}});
    m_Painter.BuildGlowLayer(&b, {0, 0, 9, 9}, true, clWhite);
    EXPECT_EQ(Get(b, 4, 4)[3], 191); // 255 x 192 / 256 = 191.25
    EXPECT_EQ(Get(b, 5, 4)[3], 169); // 255 x 170 / 256
    EXPECT_EQ(Get(b, 4, 7)[3], 61);  // 255 x 62 / 256
    EXPECT_EQ(Get(b, 4, 4)[0], 191);
}

TEST_F(GlowLayer, RadiusZeroIsTheCoverageScaledByTheOpacity)
{
    m_Painter.SetRadius(0);
    m_Painter.SetOpacity(192);
    Bitmap b;
    MakeMask(b, 3, 1, {});
    Set(b, 1, 0, {128, 128, 128, 255});
    m_Painter.BuildGlowLayer(&b, {0, 0, 3, 1}, false, clBlack);
    EXPECT_EQ(Get(b, 1, 0)[3], 96); // 128 x 192 / 256
    EXPECT_EQ(Get(b, 0, 0)[3], 0);
}

TEST_F(GlowLayer, OnlyTheRectangleIsReadAndWritten)
{
    // White just outside the rectangle must not glow into it; pixels outside stay as they were.
    Bitmap b;
    MakeMask(b, 12, 12, {{2, 5}, {9, 5}, {5, 2}, {5, 9}, {6, 6}});
    m_Painter.SetSpread(0);
    m_Painter.BuildGlowLayer(&b, {3, 3, 9, 9}, true, clWhite);
    EXPECT_EQ(Get(b, 2, 5), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(Get(b, 9, 5), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(Get(b, 0, 0), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(Get(b, 6, 6)[3], 255);
    // (3, 3) is 4.24 from (6, 6): 256 exp(-18 / 8) = 26, x 255 / 256 = 25.
    EXPECT_EQ(Get(b, 3, 3)[3], 25);
    // (3, 5) is next to the outside (2, 5) but 3.16 from (6, 6): 256 exp(-10/8) = 73 -> 72.
    EXPECT_EQ(Get(b, 3, 5)[3], 72);
}

TEST_F(GlowLayer, ARectangleOverTheEdgeWritesOnlyInsideTheBitmap)
{
    Bitmap b;
    MakeMask(b, 6, 6, {{0, 0}});
    m_Painter.BuildGlowLayer(&b, {-4, -4, 10, 10}, true, clWhite);
    EXPECT_EQ(Get(b, 0, 0)[3], 255);
    EXPECT_EQ(Get(b, 5, 5)[3], 0);
}

TEST(GlowLayerDeath, ATwentyFourBitBitmapIsAProgrammingError)
{
    painter::TRadiateTextPainter painter;
    Bitmap b(4, 4, pf24bit);
    EXPECT_DEATH(painter.BuildGlowLayer(&b, {0, 0, 4, 4}, true, clWhite),
                 "Assertion failed: bitmap->PixelFormat == pf32bit, file "
                 "src/gui/Painter/TextPainter, line");
}

TEST(GlowLayerDeath, InPlaceLayersOnATwentyFourBitBitmapStopBeforeWriting)
{
    testsupport::QtTestApp();
    painter::TRadiateTextPainter painter;
    painter.SetRadius(2);
    Bitmap b(40, 20, pf24bit);
    EXPECT_DEATH(painter.Draw(&b, std::string("x"), {0, 0, 40, 20}, 0, kWriteLayer, kPremultiplied),
                 "Assertion failed: bitmap->PixelFormat == pf32bit");
    EXPECT_DEATH(painter::BuildTextLayer(&b, {0, 0, 40, 20}, std::u16string(u"x"), 0),
                 "Assertion failed: bitmap->PixelFormat == pf32bit");
}

class TextLayer : public testing::Test {
protected:
    void SetUp() override { testsupport::QtTestApp(); }
};

TEST_F(TextLayer, IsTheFontColourPremultipliedByTheCoverage)
{
    Bitmap b(80, 30);
    FillAll(b, {9, 9, 9, 9}); // replaced everywhere in the rectangle
    b.Canvas().SetFont(TestFont(RGB(200, 100, 50)));
    painter::BuildTextLayer(&b, {5, 5, 75, 28}, std::u16string(u"Wg"), DT_SINGLELINE);
    int opaque = 0;
    for (int y = 5; y < 28; ++y)
        for (int x = 5; x < 75; ++x) {
            const Pixel p = Get(b, x, y);
            ASSERT_EQ(p[2], 200 * p[3] / 255) << x << "," << y;
            ASSERT_EQ(p[1], 100 * p[3] / 255);
            ASSERT_EQ(p[0], 50 * p[3] / 255);
            opaque += p[3] == 255;
        }
    EXPECT_GT(opaque, 10);
    EXPECT_EQ(Get(b, 4, 4), (Pixel{9, 9, 9, 9}));
    EXPECT_EQ(Get(b, 75, 28), (Pixel{9, 9, 9, 9}));
    const Rect ink = Box(b, [](Pixel p) { return p[3] != 0 && p[3] != 9; });
    EXPECT_GE(ink.Left, 5);
    EXPECT_GE(ink.Top, 5);
}

TEST_F(TextLayer, NarrowAndWideTextGiveTheSameLayer)
{
    Bitmap narrow(60, 24), wide(60, 24);
    narrow.Canvas().SetFont(TestFont(clWhite));
    wide.Canvas().SetFont(TestFont(clWhite));
    painter::BuildTextLayer(&narrow, {0, 0, 60, 24}, std::string("Tö"), 0);
    painter::BuildTextLayer(&wide, {0, 0, 60, 24}, std::u16string(u"Tö"), 0);
    EXPECT_TRUE(narrow.Image() == wide.Image());
    EXPECT_FALSE(Box(narrow, [](Pixel p) { return p[3] != 0; }).IsEmpty());
}

TEST_F(TextLayer, ARectangleOverTheEdgeWritesOnlyInsideTheBitmap)
{
    Bitmap b(10, 10);
    b.Canvas().SetFont(TestFont(clWhite));
    painter::BuildTextLayer(&b, {-20, -5, 30, 15}, std::string("MMMM"), 0);
    EXPECT_FALSE(Box(b, [](Pixel p) { return p[3] != 0; }).IsEmpty());
}
