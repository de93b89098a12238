#include "PainterTestSupport.h"

#include "gui/Painter/TextPainter.h"

#include <gtest/gtest.h>

#include <utility>

using namespace graphics;
using namespace paintertest;

namespace {

constexpr TColor kTextColor = RGB(255, 0, 0);
constexpr TColor kGlowColor = RGB(0, 100, 200);
const std::u16string kText = u"Watchdog";

class Painters : public testing::Test {
protected:
    void SetUp() override
    {
        testsupport::QtTestApp();
        m_Glow.SetRadius(3);
        m_Glow.SetOffset({1, 1});
        m_Glow.SetOpacity(192);
        m_Glow.SetSpread(0);
        m_Glow.SetGlowColor(kGlowColor);
    }

    // A transparent 32-bit bitmap with the test font.
    static void Prepare(Bitmap& b, int w, int h, TColor color = kTextColor)
    {
        b.SetSize(w, h);
        b.Canvas().SetFont(TestFont(color));
    }

    static Rect Extent(Canvas& canvas, const std::u16string& text)
    {
        Rect r{0, 0, 500, 100};
        TTextPainter::Instance()->Measure(&canvas, text, r, DT_SINGLELINE);
        return r;
    }

    TOuterGlowTextPainter m_Glow;
};

} // namespace

TEST_F(Painters, MeasureAddsTwiceTheRadiusAndTheOffset)
{
    Bitmap b;
    Prepare(b, 10, 10);
    const Rect plain = Extent(b.Canvas(), kText);
    ASSERT_GT(plain.Width(), 0);
    ASSERT_GT(plain.Height(), 0);

    Rect wide{0, 0, 500, 100};
    m_Glow.Measure(&b.Canvas(), kText, wide, DT_SINGLELINE);
    EXPECT_EQ(wide, (Rect{0, 0, plain.Right + 7, plain.Bottom + 7}));

    Rect narrow{0, 0, 500, 100};
    m_Glow.Measure(&b.Canvas(), std::string("Watchdog"), narrow, DT_SINGLELINE);
    EXPECT_EQ(narrow, wide);

    TRadiateTextPainter radiate;
    radiate.SetRadius(3);
    Rect r{0, 0, 500, 100};
    radiate.Measure(&b.Canvas(), kText, r, DT_SINGLELINE);
    EXPECT_EQ(r, (Rect{0, 0, plain.Right + 6, plain.Bottom + 6}));
}

TEST_F(Painters, MeasuringEmptyTextAddsNothing)
{
    Bitmap b;
    Prepare(b, 10, 10);
    const Rect plain = Extent(b.Canvas(), u"");
    ASSERT_EQ(plain.Width(), 0);
    Rect r{0, 0, 500, 100};
    m_Glow.Measure(&b.Canvas(), std::u16string(), r, DT_SINGLELINE);
    EXPECT_EQ(r, plain);
}

TEST_F(Painters, OuterGlowDrawnIntoTheMeasuredRectangleKeepsTheLayout)
{
    // Offset (4, 2) so that the glow's shift is plain to see.
    m_Glow.SetOffset({4, 2});
    m_Glow.SetOpacity(255);
    Bitmap b;
    Prepare(b, 200, 60);
    Rect measured{0, 0, 500, 100};
    m_Glow.Measure(&b.Canvas(), kText, measured, DT_SINGLELINE);
    measured = measured.Offset(20, 10);
    m_Glow.Draw(&b, kText, measured, DT_SINGLELINE, kBlend, kPremultiplied);

    const Rect all = Box(b, [](Pixel p) { return p[3] != 0; });
    EXPECT_TRUE(Within(all, measured)) << all.Left << "," << all.Top << "," << all.Right;

    // The text: red, drawn at the measured corner plus the radius, the plain extent's size.
    const Rect plain = Extent(b.Canvas(), kText);
    const Rect textArea = plain.Offset(measured.Left + 3, measured.Top + 3);
    const Rect red = Box(b, [](Pixel p) { return p[2] != 0; });
    ASSERT_FALSE(red.IsEmpty());
    EXPECT_TRUE(Within(red, textArea));

    // The glow: reaches the radius beyond the glyphs, moved by the offset.
    const Rect glow = Box(b, [](Pixel p) { return p[0] != 0; });
    EXPECT_EQ(glow.Right, red.Right + 4 + 3);
    EXPECT_EQ(glow.Bottom, red.Bottom + 2 + 3);
    EXPECT_EQ(glow.Top, red.Top + 2 - 3);
}

TEST_F(Painters, TheGlowIsInTheGlowColour)
{
    Bitmap b;
    Prepare(b, 140, 40);
    m_Glow.Draw(&b, kText, {0, 0, 140, 40}, DT_SINGLELINE, kBlend, kPremultiplied);
    int glowOnly = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 140; ++x) {
            const Pixel p = Get(b, x, y);
            if (p[2] != 0 || p[3] == 0)
                continue; // text, or nothing
            ++glowOnly;
            // Premultiplied (0, 100, 200) at alpha A.
            ASSERT_NEAR(p[1], 100 * p[3] / 255.0, 1.0) << x << "," << y;
            ASSERT_NEAR(p[0], 200 * p[3] / 255.0, 1.0);
        }
    EXPECT_GT(glowOnly, 100);
    // The font colour is the text's again after drawing.
    EXPECT_EQ(b.Canvas().Font().Color, kTextColor);
}

TEST_F(Painters, RadiusZeroDrawsNoGlowOffLayer)
{
    m_Glow.SetRadius(0);
    Bitmap b;
    Prepare(b, 140, 40);
    m_Glow.Draw(&b, kText, {0, 0, 140, 40}, DT_SINGLELINE, kBlend, kPremultiplied);
    EXPECT_FALSE(Box(b, [](Pixel p) { return p[2] != 0; }).IsEmpty());
    EXPECT_TRUE(Box(b, [](Pixel p) { return p[0] != 0 || p[1] != 0; }).IsEmpty());
}

TEST_F(Painters, RadiateGlowIsCentredOnTheGlyphsAndLeavesThemOut)
{
    TRadiateTextPainter radiate;
    radiate.SetRadius(3);
    radiate.SetOpacity(255);
    Bitmap glow, text;
    Prepare(glow, 140, 40, kGlowColor);
    Prepare(text, 140, 40, clWhite);
    radiate.Draw(&glow, kText, {0, 0, 140, 40}, DT_SINGLELINE, kBlend, kPremultiplied);
    TTextPainter::Instance()->Draw(&text, kText, {3, 3, 137, 37}, DT_SINGLELINE, kWriteLayer,
                                   kPremultiplied);
    const Rect glyphs = Box(text, [](Pixel p) { return p[3] != 0; });
    const Rect halo = Box(glow, [](Pixel p) { return p[3] != 0; });
    ASSERT_FALSE(glyphs.IsEmpty());
    EXPECT_EQ(halo, (Rect{glyphs.Left - 3, glyphs.Top - 3, glyphs.Right + 3, glyphs.Bottom + 3}));
    // Everything is in the glow colour: no red anywhere.
    EXPECT_TRUE(Box(glow, [](Pixel p) { return p[2] != 0; }).IsEmpty());
}

TEST_F(Painters, RadiusZeroRadiateInLayerIsTheTextCoverage)
{
    TRadiateTextPainter radiate;
    radiate.SetOpacity(255);
    Bitmap glow, text;
    Prepare(glow, 100, 30, clWhite);
    Prepare(text, 100, 30, clWhite);
    radiate.Draw(&glow, kText, {0, 0, 100, 30}, DT_SINGLELINE, kWriteLayer, kPremultiplied);
    TTextPainter::Instance()->Draw(&text, kText, {0, 0, 100, 30}, DT_SINGLELINE, kWriteLayer,
                                   kPremultiplied);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_NEAR(Get(glow, x, y)[3], Get(text, x, y)[3], 1) << x << "," << y;
}

TEST_F(Painters, InLayerReplacesTheRectangleAndNothingElse)
{
    for (TLayerAlpha alpha : {kStraight, kPremultiplied}) {
        Bitmap b;
        Prepare(b, 150, 40);
        FillAll(b, {0, 255, 0, 255});
        m_Glow.Draw(&b.Canvas(), kText, {0, 0, 120, 30}, DT_SINGLELINE, kWriteLayer, alpha);
        EXPECT_EQ(Get(b, 130, 10), (Pixel{0, 255, 0, 255}));
        EXPECT_EQ(Get(b, 10, 35), (Pixel{0, 255, 0, 255}));
        const Rect green = Box(b, [](Pixel p) { return p == Pixel{0, 255, 0, 255}; });
        EXPECT_EQ(green, (Rect{0, 0, 150, 40})); // only outside the rectangle
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 120; ++x)
                ASSERT_NE(Get(b, x, y), (Pixel{0, 255, 0, 255})) << x << "," << y;
        EXPECT_EQ(Get(b, 119, 0), (Pixel{0, 0, 0, 0}));
        EXPECT_FALSE(Box(b, [](Pixel p) { return p[2] != 0 && p[3] != 0; }).IsEmpty());
        EXPECT_EQ(b.Canvas().Font().Color, kTextColor);
    }
}

TEST_F(Painters, BitmapInLayerBuildsTheGlowInPlaceFromTheOffset)
{
    for (TLayerAlpha alpha : {kStraight, kPremultiplied}) {
        Bitmap b;
        Prepare(b, 150, 40);
        FillAll(b, {0, 255, 0, 255});
        m_Glow.Draw(&b, kText, {0, 0, 120, 30}, DT_SINGLELINE, kWriteLayer, alpha);
        EXPECT_EQ(Get(b, 130, 10), (Pixel{0, 255, 0, 255}));
        // The glow area starts at the offset (1, 1); all of it is replaced.
        for (int y = 1; y < 30; ++y)
            for (int x = 1; x < 120; ++x)
                ASSERT_NE(Get(b, x, y), (Pixel{0, 255, 0, 255})) << x << "," << y;
        EXPECT_EQ(Get(b, 119, 1)[3], 0);
        EXPECT_FALSE(Box(b, [](Pixel p) { return p[2] != 0 && p[3] != 0; }).IsEmpty());
        EXPECT_EQ(b.PixelFormat(), pf32bit);
        EXPECT_EQ(b.Canvas().Font().Color, kTextColor);
    }
}

TEST_F(Painters, RadiusZeroInLayerOnASurfaceIsTheTextLayerWithoutTheOffsetStrip)
{
    m_Glow.SetRadius(0);
    m_Glow.SetOffset({5, 4});
    Bitmap b;
    Prepare(b, 120, 30);
    FillAll(b, {0, 255, 0, 255});
    m_Glow.Draw(&b.Canvas(), kText, {0, 0, 100, 30}, DT_SINGLELINE, kWriteLayer, kPremultiplied);
    // The layer covers (0, 0, 95, 26): text in the text colour, no glow colour anywhere.
    EXPECT_EQ(Get(b, 94, 25), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(Get(b, 95, 10), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(Get(b, 10, 26), (Pixel{0, 255, 0, 255}));
    EXPECT_FALSE(Box(b, [](Pixel p) { return p[2] != 0; }).IsEmpty());
    EXPECT_TRUE(Box(b, [](Pixel p) { return p[0] != 0; }).IsEmpty());
}

TEST_F(Painters, StraightOuterGlowOnABitmapDrawsGlowAndText)
{
    Bitmap b;
    Prepare(b, 140, 40);
    FillAll(b, {0, 0, 0, 255});
    m_Glow.Draw(&b, kText, {0, 0, 140, 40}, DT_SINGLELINE, kBlend, kStraight);
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    const Rect red = Box(b, [](Pixel p) { return p[2] > 128; });
    const Rect glow = Box(b, [](Pixel p) { return p[0] != 0 && p[2] == 0; });
    ASSERT_FALSE(red.IsEmpty());
    ASSERT_FALSE(glow.IsEmpty());
    EXPECT_GT(glow.Right, red.Right);
    EXPECT_GT(glow.Bottom, red.Bottom);
}

TEST_F(Painters, SurfaceAndBitmapInLayerAgree)
{
    Bitmap onSurface, onBitmap;
    Prepare(onSurface, 120, 30);
    Prepare(onBitmap, 120, 30);
    m_Glow.Draw(&onSurface.Canvas(), kText, {0, 0, 120, 30}, DT_SINGLELINE, kWriteLayer,
                kPremultiplied);
    m_Glow.Draw(&onBitmap, kText, {0, 0, 120, 30}, DT_SINGLELINE, kWriteLayer, kPremultiplied);
    int differing = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 120; ++x)
            for (int c = 0; c < 4; ++c)
                differing += std::abs(Get(onSurface, x, y)[c] - Get(onBitmap, x, y)[c]) > 2;
    EXPECT_EQ(differing, 0);
    EXPECT_FALSE(Box(onSurface, [](Pixel p) { return p[0] != 0; }).IsEmpty());
}

TEST_F(Painters, SurfaceOffLayerBlendsOverWhatIsThere)
{
    Bitmap b;
    Prepare(b, 140, 40);
    FillAll(b, {0, 255, 0, 255});
    m_Glow.Draw(&b.Canvas(), kText, {0, 0, 140, 40}, DT_SINGLELINE, kBlend, kPremultiplied);
    EXPECT_EQ(Get(b, 139, 39), (Pixel{0, 255, 0, 255})); // untouched corner
    EXPECT_FALSE(Box(b, [](Pixel p) { return p[2] > 200 && p[1] < 50; }).IsEmpty()); // text
    EXPECT_FALSE(Box(b, [](Pixel p) { return p[0] > 0 && p[2] == 0; }).IsEmpty());   // glow
}

TEST_F(Painters, StraightGlowOnABitmapGoesThroughTheSoftwareBlend)
{
    TRadiateTextPainter radiate;
    radiate.SetRadius(2);
    Bitmap b;
    Prepare(b, 100, 30, kGlowColor);
    radiate.Draw(&b, kText, {0, 0, 100, 30}, DT_SINGLELINE, kBlend, kStraight);
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_FALSE(Box(b, [](Pixel p) { return p[0] != 0; }).IsEmpty());
}

TEST_F(Painters, PlainPainterDrawsTheSameWithAndWithoutALayer)
{
    Bitmap direct, layered;
    Prepare(direct, 100, 30);
    Prepare(layered, 100, 30);
    FillAll(direct, {0, 0, 0, 255});
    FillAll(layered, {0, 0, 0, 255});
    TTextPainter::Instance()->Draw(&direct, kText, {2, 2, 98, 28}, DT_SINGLELINE, kBlend,
                                   kStraight);
    TTextPainter::Instance()->Draw(&layered, kText, {2, 2, 98, 28}, DT_SINGLELINE, kBlend,
                                   kPremultiplied);
    int differing = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x)
            differing += std::abs(Get(direct, x, y)[2] - Get(layered, x, y)[2]) > 2;
    EXPECT_EQ(differing, 0);
    EXPECT_FALSE(Box(direct, [](Pixel p) { return p[2] != 0; }).IsEmpty());
}

TEST_F(Painters, EmptyRectanglesDrawNothing)
{
    Bitmap b;
    Prepare(b, 40, 20);
    FillAll(b, {1, 2, 3, 4});
    for (TDrawMode mode : {kBlend, kWriteLayer})
        for (TLayerAlpha alpha : {kStraight, kPremultiplied}) {
            m_Glow.Draw(&b, kText, {10, 10, 10, 20}, DT_SINGLELINE, mode, alpha);
            m_Glow.Draw(&b.Canvas(), kText, {10, 10, 30, 5}, DT_SINGLELINE, mode, alpha);
        }
    EXPECT_TRUE(Box(b, [](Pixel p) { return p != Pixel{1, 2, 3, 4}; }).IsEmpty());
}

TEST_F(Painters, OffsetsAndRectanglesBeyondTheBitmapStayInside)
{
    // Under the address sanitizer any write outside the bitmap fails this test.
    m_Glow.SetOffset({-6, -5});
    m_Glow.SetRadius(4);
    Bitmap b;
    Prepare(b, 30, 12);
    m_Glow.Draw(&b, kText, {0, 0, 80, 40}, 0, kWriteLayer, kPremultiplied);
    m_Glow.Draw(&b, kText, {-10, -10, 80, 40}, 0, kWriteLayer, kStraight);
    m_Glow.Draw(&b, kText, {-10, -10, 80, 40}, 0, kBlend, kPremultiplied);
    m_Glow.SetOffset({9, 9});
    m_Glow.Draw(&b, kText, {0, 0, 12, 12}, 0, kWriteLayer, kPremultiplied);
    TRadiateTextPainter radiate;
    radiate.SetRadius(-3); // held at 0
    EXPECT_EQ(radiate.Radius(), 0);
    radiate.Draw(&b, kText, {-5, -5, 50, 50}, 0, kWriteLayer, kPremultiplied);
    EXPECT_FALSE(Box(b, [](Pixel p) { return p[3] != 0; }).IsEmpty());
}

TEST_F(Painters, ChangingTheRadiusAfterDrawingWidensTheGlow)
{
    TRadiateTextPainter radiate;
    radiate.SetRadius(1);
    radiate.SetOpacity(255);
    Bitmap first, second;
    Prepare(first, 170, 70, clWhite);
    Prepare(second, 170, 70, clWhite);
    radiate.Draw(&first, kText, {10, 10, 150, 50}, DT_SINGLELINE, kBlend, kPremultiplied);
    radiate.SetRadius(4); // the glyphs stay at (11, 11)
    radiate.Draw(&second, kText, {7, 7, 147, 47}, DT_SINGLELINE, kBlend, kPremultiplied);
    const Rect narrow = Box(first, [](Pixel p) { return p[3] != 0; });
    const Rect wide = Box(second, [](Pixel p) { return p[3] != 0; });
    EXPECT_EQ(wide, (Rect{narrow.Left - 3, narrow.Top - 3, narrow.Right + 3, narrow.Bottom + 3}));
}

TEST_F(Painters, NarrowAndWideTextDrawAndMeasureTheSame)
{
    // UTF-8 is converted where it comes in: every painter draws it, on either target and in
    // every mode, exactly as the same UTF-16 text, letters beyond ASCII and Latin-1 included.
    const std::string narrow = "W\u00e4chter \u2713 60";
    const std::u16string wide = u"W\u00e4chter \u2713 60";
    TTextPainter plain;
    TRadiateTextPainter radiate;
    radiate.SetRadius(2);
    const std::pair<const char*, TCustomTextPainter*> painters[] = {
        {"plain", &plain}, {"radiate", &radiate}, {"outer glow", &m_Glow}};
    for (const auto& [name, painter] : painters) {
        Rect fromNarrow{0, 0, 500, 100}, fromWide{0, 0, 500, 100};
        Bitmap scratch;
        Prepare(scratch, 10, 10);
        painter->Measure(&scratch.Canvas(), narrow, fromNarrow, DT_SINGLELINE);
        painter->Measure(&scratch.Canvas(), wide, fromWide, DT_SINGLELINE);
        EXPECT_EQ(fromNarrow, fromWide) << name;
        for (TDrawMode mode : {kBlend, kWriteLayer})
            for (TLayerAlpha alpha : {kStraight, kPremultiplied})
                for (bool onSurface : {false, true}) {
                    Bitmap a, b;
                    for (Bitmap* target : {&a, &b}) {
                        Prepare(*target, 150, 30);
                        FillAll(*target, {40, 80, 120, 255});
                    }
                    const Rect rect{2, 1, 148, 29};
                    if (onSurface) {
                        painter->Draw(&a.Canvas(), narrow, rect, DT_SINGLELINE, mode, alpha);
                        painter->Draw(&b.Canvas(), wide, rect, DT_SINGLELINE, mode, alpha);
                    } else {
                        painter->Draw(&a, narrow, rect, DT_SINGLELINE, mode, alpha);
                        painter->Draw(&b, wide, rect, DT_SINGLELINE, mode, alpha);
                    }
                    EXPECT_TRUE(a.Image() == b.Image())
                        << name << ", mode " << int(mode) << ", alpha " << int(alpha)
                        << (onSurface ? ", on a surface" : ", on a bitmap");
                    EXPECT_FALSE(Box(b, [](Pixel p) { return p != Pixel{40, 80, 120, 255}; })
                                     .IsEmpty())
                        << name;
                }
    }
}

TEST(TextPainterLifetime, TheSharedPainterSurvivesRelease)
{
    TTextPainter* shared = TTextPainter::Instance();
    shared->Release();
    shared->Release();
    EXPECT_EQ(TTextPainter::Instance(), shared);
    // Still usable (a freed painter fails here under the address sanitizer).
    testsupport::QtTestApp();
    Bitmap b(10, 10);
    Rect r{0, 0, 100, 100};
    shared->Measure(&b.Canvas(), std::string("x"), r, 0);
    EXPECT_GT(r.Width(), 0);
}

TEST(TextPainterLifetime, OtherPaintersDestroyThemselvesOnRelease)
{
    // A painter that outlived its Release would fail the run under the leak checker.
    (new TTextPainter)->Release();
    (new TRadiateTextPainter)->Release();
    TTextPainter* glow = new TOuterGlowTextPainter;
    glow->Release();
    SUCCEED();
}
