#include "GraphicsTestSupport.h"

#include "gui/graphics/Bitmap.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>

#include <algorithm>

using namespace graphics;
using graphicstest::FillAll;
using graphicstest::FillPattern;
using graphicstest::Get;
using graphicstest::Pixel;

namespace {

// The bounding box of the pixels that differ from black.
Rect Ink(Bitmap& b)
{
    Rect box{b.Width(), b.Height(), 0, 0};
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const Pixel p = Get(b, x, y);
            if (p[0] || p[1] || p[2]) {
                box.Left = std::min(box.Left, x);
                box.Top = std::min(box.Top, y);
                box.Right = std::max(box.Right, x + 1);
                box.Bottom = std::max(box.Bottom, y + 1);
            }
        }
    return box;
}

class CanvasText : public testing::Test {
protected:
    void SetUp() override
    {
        graphicstest::GuiApp();
        m_Bitmap.Canvas().Font().Name = "Arial";
        m_Bitmap.Canvas().Font().Height = -14;
        m_Bitmap.Canvas().Font().Color = clWhite;
    }

    Rect Measure(const std::string& text, Rect rect, unsigned flags)
    {
        m_Bitmap.Canvas().DrawText(text, rect, flags | DT_CALCRECT);
        return rect;
    }

    // Draws on a fresh black bitmap and answers where ink landed.
    Rect Draw(const std::string& text, Rect rect, unsigned flags)
    {
        FillAll(m_Bitmap, {0, 0, 0, 255});
        m_Bitmap.Canvas().DrawText(text, rect, flags);
        return Ink(m_Bitmap);
    }

    Bitmap m_Bitmap{300, 200};
};

} // namespace

TEST_F(CanvasText, MeasuringOneLineGivesTheTextExtent)
{
    const Size extent = m_Bitmap.Canvas().TextExtent(std::string("Watchdog"));
    const Rect r = Measure("Watchdog", Rect{10, 20, 11, 21}, DT_SINGLELINE);
    EXPECT_EQ(r, (Rect{10, 20, 10 + extent.cx, 20 + extent.cy}));
    EXPECT_GT(extent.cx, 0);
    EXPECT_EQ(Measure("", Rect{5, 5, 50, 50}, 0), (Rect{5, 5, 5, 5}));
}

TEST_F(CanvasText, WordBreakWrapsToTheWidthAndWidensForALongWord)
{
    const std::string text = "reload time in seconds";
    const Rect one = Measure(text, Rect{0, 0, 1000, 0}, DT_WORDBREAK);
    const Rect narrow = Measure(text, Rect{0, 0, one.Width() / 2, 0}, DT_WORDBREAK);
    EXPECT_LE(narrow.Width(), one.Width() / 2);
    EXPECT_GE(narrow.Height(), 2 * one.Height());
    EXPECT_EQ(narrow.Height() % one.Height(), 0);
    const Rect word = Measure("Supercalifragilistic", Rect{0, 0, 10, 0}, DT_WORDBREAK);
    EXPECT_GT(word.Width(), 10);
    EXPECT_EQ(word.Height(), one.Height());
    // Line feeds break without DT_WORDBREAK, not with DT_SINGLELINE.
    EXPECT_EQ(Measure("a\nb\r\nc", Rect{}, 0).Height(), 3 * one.Height());
    EXPECT_EQ(Measure("a\nb", Rect{}, DT_SINGLELINE).Height(), one.Height());
}

TEST_F(CanvasText, HorizontalAlignmentPlacesTheInk)
{
    const Rect area{0, 0, 300, 40};
    const Rect left = Draw("Apply", area, DT_LEFT | DT_SINGLELINE);
    const Rect centre = Draw("Apply", area, DT_CENTER | DT_SINGLELINE);
    const Rect right = Draw("Apply", area, DT_RIGHT | DT_SINGLELINE);
    EXPECT_LT(left.Left, 5);
    EXPECT_GT(right.Right, 295);
    EXPECT_LE(right.Right, 300);
    EXPECT_NEAR((centre.Left + centre.Right) / 2.0, 150, 4);
}

TEST_F(CanvasText, VerticalPlacementOnlyForASingleLine)
{
    const Rect area{0, 0, 300, 200};
    const Rect top = Draw("Apply", area, DT_SINGLELINE);
    const Rect centre = Draw("Apply", area, DT_SINGLELINE | DT_VCENTER);
    const Rect bottom = Draw("Apply", area, DT_SINGLELINE | DT_BOTTOM);
    const Rect multi = Draw("Apply", area, DT_VCENTER | DT_WORDBREAK);
    EXPECT_LT(top.Bottom, 30);
    EXPECT_NEAR((centre.Top + centre.Bottom) / 2.0, 100, 6);
    EXPECT_GT(bottom.Bottom, 185);
    EXPECT_EQ(multi.Top, top.Top);
}

TEST_F(CanvasText, ClipsToTheRectangleUnlessNoClipAndEllipsisFits)
{
    const std::string text = "a caption far too long for its box";
    const Rect box{10, 10, 60, 40};
    const Rect clipped = Draw(text, box, DT_SINGLELINE);
    EXPECT_LE(clipped.Right, box.Right);
    EXPECT_GT(Draw(text, box, DT_SINGLELINE | DT_NOCLIP).Right, box.Right);
    const Rect elided = Draw(text, box, DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS);
    EXPECT_LE(elided.Right, box.Right);
    EXPECT_GT(elided.Right, box.Left + box.Width() / 2);
    // Measuring ignores the ellipsis: it reports what the whole text needs.
    EXPECT_GT(Measure(text, box, DT_SINGLELINE | DT_END_ELLIPSIS).Width(), box.Width());
}

TEST_F(CanvasText, PrefixesAndTabs)
{
    EXPECT_EQ(Measure("a&b", Rect{}, 0).Width(), Measure("ab", Rect{}, DT_NOPREFIX).Width());
    EXPECT_EQ(Measure("a&&b", Rect{}, 0).Width(), Measure("a&b", Rect{}, DT_NOPREFIX).Width());
    EXPECT_GT(Measure("a&b", Rect{}, DT_NOPREFIX).Width(), Measure("ab", Rect{}, DT_NOPREFIX).Width());
    EXPECT_EQ(Measure("a\tb", Rect{}, DT_EXPANDTABS).Width(), Measure("a       b", Rect{}, 0).Width());
    EXPECT_EQ(Measure("a\tb", Rect{}, 0).Width(), Measure("a b", Rect{}, 0).Width());
}

TEST_F(CanvasText, DrawsInTheFontColourWithinTheSurfaceOriginAndClip)
{
    m_Bitmap.Canvas().Font().Color = RGB(0, 255, 0);
    m_Bitmap.Canvas().Font().Height = -40;
    m_Bitmap.Canvas().SetViewportOrigin(Point{100, 50});
    m_Bitmap.Canvas().IntersectClipRect(Rect{0, 0, 20, 100});
    const Rect ink = Draw("MMMM", Rect{0, 0, 200, 100}, 0);
    EXPECT_GE(ink.Left, 100);
    EXPECT_LE(ink.Right, 120);
    EXPECT_GE(ink.Top, 50);
    bool solid = false;
    for (int y = ink.Top; y < ink.Bottom; ++y)
        for (int x = ink.Left; x < ink.Right; ++x) {
            const Pixel p = Get(m_Bitmap, x, y);
            EXPECT_EQ(p[0], 0);
            EXPECT_EQ(p[2], 0);
            solid = solid || p == Pixel{0, 255, 0, 255};
        }
    EXPECT_TRUE(solid);
}

TEST_F(CanvasText, TextOutFillsItsExtentWithASolidBrush)
{
    FillAll(m_Bitmap, {0, 0, 0, 0});
    Canvas& canvas = m_Bitmap.Canvas();
    canvas.Brush().Color = RGB(0, 0, 255);
    canvas.TextOut(5, 6, std::u16string(u"OK"));
    const Size extent = canvas.TextExtent(std::u16string(u"OK"));
    EXPECT_EQ(Get(m_Bitmap, 5, 6), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(Get(m_Bitmap, 5 + extent.cx - 1, 6 + extent.cy - 1), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(Get(m_Bitmap, 5 + extent.cx, 6)[3], 0);
    canvas.Brush().Style = bsClear;
    FillAll(m_Bitmap, {0, 0, 0, 0});
    canvas.TextOut(5, 6, std::string("OK"));
    EXPECT_EQ(Get(m_Bitmap, 5, 6)[3], 0);
    EXPECT_GT(Ink(m_Bitmap).Right, 5);
}

TEST(CanvasFont, SkinFacesAreSubstitutedAndHeightsMeasure)
{
    graphicstest::GuiApp();
    TFont font;
    font.Name = "Candara";
    EXPECT_TRUE(QFontInfo(font.ToQFont()).family().startsWith("Carlito"));
    font.Name = "Century Gothic";
    EXPECT_TRUE(QFontInfo(font.ToQFont()).family().startsWith("URW Gothic")); // "URW Gothic [UKWN]"
    font.Name = "Arial";
    EXPECT_TRUE(QFontInfo(font.ToQFont()).family().startsWith("Liberation Sans"));
    font.Name = "Arial";
    font.Height = 15; // cell height
    EXPECT_NEAR(QFontMetrics(font.ToQFont()).height(), 15, 1);
    font.Height = -15; // em size
    EXPECT_EQ(font.ToQFont().pixelSize(), 15);
    font.SetSize(9);
    EXPECT_EQ(font.Height, -12);
    EXPECT_EQ(font.Size(), 9);
}

TEST(CanvasColour, SystemColoursResolve)
{
    EXPECT_EQ(ColorToRGB(clGrayText), RGB(0x6D, 0x6D, 0x6D));
    EXPECT_EQ(ColorToRGB(clWindow), clWhite);
    EXPECT_EQ(ColorToRGB(0xFF0000FF), clBlack);
    EXPECT_EQ(ColorToRGB(0x01030201), RGB(1, 2, 3)); // the top byte of a plain colour is dropped
}

TEST(SavedCanvasState, PutsBackTheOriginAndTheClipItFound)
{
    Bitmap b(8, 8, pf32bit);
    Canvas& canvas = b.Canvas();
    {
        const SavedCanvasState saved(canvas, Rect{2, 3, 6, 5});
        EXPECT_EQ(canvas.ViewportOrigin(), (Point{2, 3}));
        ASSERT_TRUE(canvas.ClipRegion().has_value());
        EXPECT_EQ(canvas.DrawableRegion({-10, -10, 20, 20}).Bounds(), (Rect{2, 3, 6, 5}));
    }
    EXPECT_EQ(canvas.ViewportOrigin(), (Point{0, 0}));
    EXPECT_FALSE(canvas.ClipRegion().has_value()) << "no clip region before means none after";

    canvas.SetViewportOrigin({1, 1});
    canvas.IntersectClipRect({0, 0, 4, 4});
    {
        const SavedCanvasState outer(canvas);
        const SavedCanvasState inner(canvas, Rect{1, 1, 9, 9});
        EXPECT_EQ(canvas.ViewportOrigin(), (Point{2, 2}));
        EXPECT_EQ(canvas.DrawableRegion({-10, -10, 20, 20}).Bounds(), (Rect{2, 2, 5, 5}));
        canvas.SetViewportOrigin({7, 7});
        canvas.ClearClipRegion();
    }
    EXPECT_EQ(canvas.ViewportOrigin(), (Point{1, 1}));
    EXPECT_EQ(canvas.DrawableRegion({-10, -10, 20, 20}).Bounds(), (Rect{1, 1, 5, 5}));
}

TEST(CanvasDrawing, FillRespectsOriginClipAndBrushStyle)
{
    Bitmap b(10, 10);
    Canvas& c = b.Canvas();
    c.Brush().Color = RGB(255, 0, 0);
    c.SetViewportOrigin(Point{2, 2});
    c.IntersectClipRect(Rect{0, 0, 5, 5}); // device (2, 2)..(7, 7)
    c.IntersectClipRect(Rect{3, 3, 20, 20}); // device (5, 5)..(7, 7) now
    c.FillRect(Rect{-5, -5, 50, 50});
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 5 && x < 7 && y >= 5 && y < 7;
            ASSERT_EQ(Get(b, x, y), (inside ? Pixel{0, 0, 255, 255} : Pixel{0, 0, 0, 0}));
        }
    c.ClearClipRegion();
    c.Brush().Style = bsClear;
    c.FillRect(Rect{0, 0, 8, 8});
    EXPECT_EQ(Get(b, 2, 2)[3], 0);
}

TEST(CanvasDrawing, CopyRectStretchesAndHandlesOverlap)
{
    Bitmap src(2, 2), dst(4, 4);
    FillPattern(src);
    dst.Canvas().CopyRect(Rect{0, 0, 4, 4}, src.Canvas(), Rect{0, 0, 2, 2});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(Get(dst, x, y), Get(src, x / 2, y / 2));
    Bitmap same(5, 1);
    FillPattern(same);
    same.Canvas().CopyRect(Rect{1, 0, 5, 1}, same.Canvas(), Rect{0, 0, 4, 1});
    for (int x = 1; x < 5; ++x)
        EXPECT_EQ(Get(same, x, 0)[0], x - 1);
    same.Canvas().SetCopyMode(cmWhiteness);
    same.Canvas().CopyRect(Rect{0, 0, 1, 1}, src.Canvas(), Rect{0, 0, 1, 1});
    EXPECT_EQ(Get(same, 0, 0), (Pixel{255, 255, 255, 255}));
}

TEST(CanvasDrawing, StretchDrawBlendsPremultipliedAndCopiesTheRest)
{
    Bitmap target(2, 1), layer(1, 1);
    graphicstest::Set(target, 0, 0, {100, 100, 100, 255});
    graphicstest::Set(target, 1, 0, {100, 100, 100, 255});
    graphicstest::Set(layer, 0, 0, {0, 0, 0, 0});
    target.Canvas().Draw(0, 0, layer); // Ignored mode: copied, transparent black lands
    EXPECT_EQ(Get(target, 0, 0), (Pixel{0, 0, 0, 0}));
    layer.SetAlphaMode(AlphaMode::Premultiplied);
    target.Canvas().Draw(1, 0, layer); // blended: nothing changes
    EXPECT_EQ(Get(target, 1, 0), (Pixel{100, 100, 100, 255}));
}
