#include "GraphicsTestSupport.h"

#include "gui/graphics/image.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

using namespace graphics;
using graphicstest::FillAll;
using graphicstest::FillPattern;
using graphicstest::Get;
using graphicstest::Pixel;
using graphicstest::Set;

TEST(GrabCanvasArea, ResizesAndCopiesTheBytesAlphaIncluded)
{
    Bitmap source(8, 6), grabbed(1, 1);
    FillPattern(source);
    Set(source, 3, 2, {250, 1, 2, 3}); // not valid premultiplied: copied as it is all the same
    GrabCanvasArea(&source.Canvas(), &grabbed, Rect{2, 1, 6, 4});
    ASSERT_EQ(grabbed.Width(), 4);
    ASSERT_EQ(grabbed.Height(), 3);
    EXPECT_EQ(Get(grabbed, 1, 1), (Pixel{250, 1, 2, 3}));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            if (!(x == 1 && y == 1)) {
                ASSERT_EQ(Get(grabbed, x, y), Get(source, x + 2, y + 1));
            }
}

TEST(GrabCanvasArea, ReadsThroughTheSurfaceOriginAndLeavesOutsidePixelsZero)
{
    Bitmap source(5, 5), grabbed;
    FillPattern(source);
    source.Canvas().SetViewportOrigin(Point{1, 2});
    GrabCanvasArea(&source.Canvas(), &grabbed, Rect{2, 1, 6, 3}); // device (3, 3)..(7, 5)
    ASSERT_EQ(grabbed.Width(), 4);
    EXPECT_EQ(Get(grabbed, 0, 0), Get(source, 3, 3));
    EXPECT_EQ(Get(grabbed, 1, 1), Get(source, 4, 4));
    EXPECT_EQ(Get(grabbed, 2, 0), (Pixel{0, 0, 0, 0})); // past the source's right edge
}

TEST(PutBitmapArea, CopiesFromTheOriginAndResetsTheCopyMode)
{
    Bitmap target(6, 6), bitmap(5, 5);
    FillPattern(bitmap);
    target.Canvas().SetCopyMode(cmBlackness);
    PutBitmapArea(&target.Canvas(), Rect{1, 1, 3, 4}, &bitmap, Point{2, 1});
    EXPECT_EQ(target.Canvas().CopyMode(), std::uint32_t(cmSrcCopy));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 3 && y >= 1 && y < 4;
            ASSERT_EQ(Get(target, x, y), (inside ? Get(bitmap, x + 1, y) : Pixel{0, 0, 0, 0}))
                << x << "," << y;
        }
}

TEST(PutBitmapArea, StaysInsideTheClipRegionAndTheTarget)
{
    Bitmap target(6, 6), bitmap(10, 10);
    FillAll(bitmap, {5, 5, 5, 255});
    Region clip(Rect{0, 0, 2, 6});
    clip.Add(Rect{4, 0, 6, 1});
    target.Canvas().SetClipRegion(clip);
    PutBitmapArea(&target.Canvas(), Rect{-3, -3, 20, 20}, &bitmap, Point{0, 0});
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(Get(target, x, y)[3], clip.Contains(x, y) ? 255 : 0) << x << "," << y;
}

TEST(PutBitmapArea, IntoA24BitSurfaceDropsAlpha)
{
    Bitmap target(2, 1, pf24bit), bitmap(2, 1);
    Set(bitmap, 1, 0, {7, 8, 9, 10});
    PutBitmapArea(&target.Canvas(), Rect{0, 0, 2, 1}, &bitmap, Point{0, 0});
    EXPECT_EQ(Get(target, 1, 0), (Pixel{7, 8, 9, 0}));
}

TEST(DrawLayerOnCanvas, GivesTheSameBytesAsBlendLayerOnTheArea)
{
    Bitmap onSurface(9, 7), direct(9, 7), layer(6, 6);
    FillPattern(onSurface);
    FillPattern(direct);
    FillPattern(layer);
    PremultiplyAlpha(&layer);
    DrawLayerOnCanvas(&onSurface.Canvas(), Rect{2, 1, 8, 6}, &layer, Point{1, 0}, 180);
    BlendLayer(&direct, Rect{2, 1, 8, 6}, &layer, Point{1, 0}, 180);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(Get(onSurface, x, y), Get(direct, x, y)) << x << "," << y;
}

TEST(DrawLayerOnCanvas, OnlyTheAreaOfTheSurfaceChangesAtItsOrigin)
{
    Bitmap surface(8, 8), layer(3, 3);
    FillAll(layer, {40, 50, 60, 255});
    surface.Canvas().SetViewportOrigin(Point{4, 4});
    DrawLayerOnCanvas(&surface.Canvas(), Rect{0, 0, 3, 3}, &layer, Point{0, 0}, 255);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 4 && x < 7 && y >= 4 && y < 7;
            ASSERT_EQ(Get(surface, x, y), (inside ? Pixel{40, 50, 60, 255} : Pixel{0, 0, 0, 0}));
        }
}

TEST(DrawLayerOnCanvasSoftware, GivesTheSameColourAsBlendLayerSoftware)
{
    Bitmap surface(5, 4), direct(5, 4, pf24bit), layer(5, 4);
    FillPattern(surface);
    FillPattern(direct); // 24-bit: B = x, G = y, R = x + y
    surface.SetPixelFormat(pf24bit);
    surface.SetPixelFormat(pf32bit); // the same colour, opaque
    FillPattern(layer);              // straight colour, alpha 200
    DrawLayerOnCanvasSoftware(&surface.Canvas(), Rect{1, 1, 5, 4}, &layer, Point{0, 0}, 128);
    BlendLayerSoftware(&direct, Rect{1, 1, 5, 4}, &layer, Point{0, 0}, 128);
    EXPECT_EQ(surface.PixelFormat(), pf32bit); // the surface keeps its depth
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const Pixel s = Get(surface, x, y), d = Get(direct, x, y);
            ASSERT_EQ((Pixel{s[0], s[1], s[2], 0}), d) << x << "," << y;
            ASSERT_EQ(s[3], 255);
        }
}

TEST(SkinFolder, IsTheProgramFolderWithResourceUIAndATrailingSeparator)
{
    const std::string folder = SkinFolder().string();
    const std::string program = platform::ProgramFolder().string();
    EXPECT_EQ(folder, program + "/resource/UI/");
    EXPECT_EQ((SkinFolder() / "background2.png").string(), program + "/resource/UI/background2.png");
}
