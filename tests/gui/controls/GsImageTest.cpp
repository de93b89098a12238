#include "gui/controls/GsImage.h"

#include "QtTestApp.h"
#include "TestSupport.h"
#include "gui/framework/Control.h"
#include "gui/graphics/image.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>

using graphics::Bitmap;
using graphics::Rect;

namespace {

struct ImgPx {
    std::uint8_t b, g, r, a;
    friend bool operator==(const ImgPx&, const ImgPx&) = default;
};

ImgPx PixelAt(const Bitmap& bitmap, int x, int y)
{
    const std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
    return {p[0], p[1], p[2], std::uint8_t(bitmap.BytesPerPixel() == 4 ? p[3] : 255)};
}

void Put(Bitmap& bitmap, int x, int y, ImgPx v)
{
    std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
    p[0] = v.b;
    p[1] = v.g;
    p[2] = v.r;
    if (bitmap.BytesPerPixel() == 4)
        p[3] = v.a;
}

void Flood(Bitmap& bitmap, ImgPx v)
{
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            Put(bitmap, x, y, v);
}

bool Equal(const Bitmap& a, const Bitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (!(PixelAt(a, x, y) == PixelAt(b, x, y)))
                return false;
    return true;
}

constexpr ImgPx kOpaqueRed{0, 0, 255, 255};
constexpr ImgPx kHalfGreen{0, 100, 0, 128}; // premultiplied
constexpr ImgPx kClear{0, 0, 0, 0};
constexpr ImgPx kGround{50, 50, 50, 255};

// A 2 x 2 premultiplied picture: opaque red, half green, clear, opaque white.
Bitmap& FourPixels(Bitmap& picture)
{
    picture.SetSize(2, 2);
    picture.SetAlphaMode(graphics::AlphaMode::Premultiplied);
    Put(picture, 0, 0, kOpaqueRed);
    Put(picture, 1, 0, kHalfGreen);
    Put(picture, 0, 1, kClear);
    Put(picture, 1, 1, {255, 255, 255, 255});
    return picture;
}

class GsImageTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::QtTestApp(); }
};

} // namespace

TEST_F(GsImageTest, DrawIntoBlendsAtFullOpacityWhateverTheAlphaValue)
{
    Bitmap picture;
    GsImage image;
    image.SetPicture(FourPixels(picture));
    image.SetBounds(3, 4, 2, 2);
    image.SetAlphaValue(10);
    image.SetAlphaFormat(gafDefined);

    Bitmap container(8, 8), expected(8, 8);
    Flood(container, kGround);
    Flood(expected, kGround);
    image.DrawInto(&container);
    graphics::BlendLayer(&expected, Rect{3, 4, 5, 6}, &picture, {0, 0}, 255);
    EXPECT_TRUE(Equal(container, expected));
    EXPECT_EQ(PixelAt(container, 3, 4), kOpaqueRed);
    EXPECT_EQ(PixelAt(container, 3, 5), kGround); // clear pixel leaves the ground
    EXPECT_EQ(PixelAt(container, 4, 5), (ImgPx{255, 255, 255, 255}));
    EXPECT_EQ(PixelAt(container, 2, 4), kGround);
    EXPECT_EQ(PixelAt(container, 5, 4), kGround);
    EXPECT_EQ(PixelAt(container, 3, 6), kGround);
}

TEST_F(GsImageTest, DrawIntoOfAPictureMadeInTheSkinFolder)
{
    QImage png(3, 2, QImage::Format_ARGB32);
    png.fill(QColor(0, 0, 255, 255));
    png.setPixelColor(1, 0, QColor(255, 0, 0, 0));
    const auto path = testsupport::Root() / "tiny.png";
    ASSERT_TRUE(png.save(QString::fromStdString(path.string()), "PNG"));

    Bitmap picture;
    graphics::LoadPngImage(path, &picture);
    ASSERT_EQ(picture.Width(), 3);
    GsImage image;
    image.SetAutoSize(true);
    image.SetLeft(1);
    image.SetPicture(picture);
    EXPECT_EQ(image.Width(), 3);
    EXPECT_EQ(image.Height(), 2);

    Bitmap container(5, 3);
    Flood(container, kGround);
    image.DrawInto(&container);
    EXPECT_EQ(PixelAt(container, 0, 0), kGround);
    EXPECT_EQ(PixelAt(container, 1, 0), (ImgPx{255, 0, 0, 255}));
    EXPECT_EQ(PixelAt(container, 2, 0), kGround); // the transparent pixel
    EXPECT_EQ(PixelAt(container, 3, 1), (ImgPx{255, 0, 0, 255}));
    EXPECT_EQ(PixelAt(container, 4, 1), kGround);
    EXPECT_EQ(PixelAt(container, 1, 2), kGround);
}

TEST_F(GsImageTest, AutoSizeTakesThePicturesWidthAndHeight)
{
    Bitmap picture(120, 40);
    GsImage image;
    image.SetBounds(7, 9, 10, 10);
    image.SetPicture(picture);
    EXPECT_EQ(image.Width(), 10) << "not auto-sized yet";
    image.SetAutoSize(true);
    EXPECT_EQ(image.BoundsRect(), (Rect{7, 9, 127, 49}));

    Bitmap other(30, 50);
    image.SetPicture(other);
    EXPECT_EQ(image.BoundsRect(), (Rect{7, 9, 37, 59}));
}

TEST_F(GsImageTest, MissingPictureKeepsTheSizeAndDrawsNothing)
{
    Bitmap picture;
    graphics::LoadPngImagePlain(testsupport::Root() / "no-such.png", &picture);
    ASSERT_TRUE(picture.Empty());
    GsImage image;
    image.SetAutoSize(true);
    image.SetBounds(2, 2, 4, 4);
    image.SetPicture(picture);
    EXPECT_EQ(image.Width(), 0) << "an auto-sized image follows even an empty picture";

    GsImage fixed;
    fixed.SetBounds(1, 1, 4, 4);
    fixed.SetPicture(picture);
    Bitmap container(6, 6), own;
    Flood(container, kGround);
    fixed.DrawInto(&container);
    fixed.Paint(container.Canvas());
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(PixelAt(container, x, y), kGround);
    fixed.RenderTo(&own);
    EXPECT_EQ(own.Width(), 4);
    EXPECT_EQ(PixelAt(own, 2, 2), kClear);
}

TEST_F(GsImageTest, RenderToCopiesThePictureAreaAsItIs)
{
    Bitmap picture;
    GsImage image;
    image.SetPicture(FourPixels(picture));
    image.SetBounds(20, 20, 3, 2);
    Bitmap own;
    image.RenderTo(&own);
    ASSERT_EQ(own.Width(), 3);
    ASSERT_EQ(own.Height(), 2);
    EXPECT_EQ(PixelAt(own, 1, 0), kHalfGreen); // copied, not blended
    EXPECT_EQ(PixelAt(own, 0, 1), kClear);
    EXPECT_EQ(PixelAt(own, 2, 0), kClear); // beyond the picture
}

TEST_F(GsImageTest, OnScreenA24BitPictureIsStretchedAndA32BitOneIsNot)
{
    Bitmap rgb(2, 2, graphics::pf24bit);
    Put(rgb, 0, 0, {10, 10, 10, 255});
    Put(rgb, 1, 0, {20, 20, 20, 255});
    Put(rgb, 0, 1, {30, 30, 30, 255});
    Put(rgb, 1, 1, {40, 40, 40, 255});
    GsImage image;
    image.SetBounds(0, 0, 4, 4);
    image.SetPicture(rgb);
    Bitmap surface(4, 4);
    Flood(surface, kGround);
    image.Paint(surface.Canvas());
    EXPECT_EQ(PixelAt(surface, 0, 0).b, 10);
    EXPECT_EQ(PixelAt(surface, 3, 0).b, 20);
    EXPECT_EQ(PixelAt(surface, 0, 3).b, 30);
    EXPECT_EQ(PixelAt(surface, 3, 3).b, 40);
    EXPECT_EQ(PixelAt(surface, 3, 3).a, 255);

    Bitmap picture;
    image.SetPicture(FourPixels(picture));
    Flood(surface, kGround);
    image.Paint(surface.Canvas());
    EXPECT_EQ(PixelAt(surface, 0, 0), kOpaqueRed);
    EXPECT_EQ(PixelAt(surface, 2, 0), kGround);
    EXPECT_EQ(PixelAt(surface, 3, 3), kGround);

    // Without the alpha channel the 32-bit picture is stretched opaquely too.
    image.SetAlphaChannel(false);
    Flood(surface, kGround);
    image.Paint(surface.Canvas());
    EXPECT_EQ(PixelAt(surface, 3, 0), kHalfGreen);
    EXPECT_EQ(PixelAt(surface, 0, 3), kClear);
}

TEST_F(GsImageTest, AlphaValueDimsOnScreenOnlyWhileAlphaBlendIsOn)
{
    Bitmap white(2, 2);
    Flood(white, {255, 255, 255, 255});
    white.SetAlphaMode(graphics::AlphaMode::Premultiplied);
    GsImage image;
    image.SetBounds(0, 0, 2, 2);
    image.SetPicture(white);
    image.SetAlphaValue(128);

    Bitmap surface(2, 2);
    Flood(surface, {0, 0, 0, 255});
    image.Paint(surface.Canvas());
    EXPECT_NEAR(PixelAt(surface, 1, 1).r, 128, 1);

    image.SetAlphaBlend(false);
    Flood(surface, {0, 0, 0, 255});
    image.Paint(surface.Canvas());
    EXPECT_EQ(PixelAt(surface, 1, 1).r, 255);
}

TEST_F(GsImageTest, AlphaValueRepaintsOnlyWhenItShows)
{
    framework::Control parent;
    parent.SetBounds(0, 0, 10, 10);
    GsImage image;
    image.SetParent(&parent);
    parent.Update();
    ASSERT_FALSE(parent.PaintPending());

    image.SetAlphaBlend(false);
    parent.Update();
    image.SetAlphaValue(7);
    EXPECT_FALSE(parent.PaintPending());
    image.SetAlphaBlend(true);
    parent.Update();
    image.SetAlphaValue(9);
    EXPECT_TRUE(parent.PaintPending());
    parent.Update();
    image.SetAlphaValue(9);
    EXPECT_FALSE(parent.PaintPending());
}

TEST_F(GsImageTest, ParentPaintShowsTheImageAtItsPosition)
{
    framework::Control parent;
    parent.SetBounds(0, 0, 10, 10);
    Bitmap picture;
    GsImage image;
    image.SetParent(&parent);
    image.SetBounds(4, 5, 2, 2);
    image.SetPicture(FourPixels(picture));
    parent.Update();
    EXPECT_EQ(PixelAt(parent.Surface(), 4, 5), kOpaqueRed);
    EXPECT_EQ(PixelAt(parent.Surface(), 5, 6), (ImgPx{255, 255, 255, 255}));
}

// ---- the bitmap widget ---------------------------------------------------------------------------

TEST_F(GsImageTest, WdgImageTakesTheBitmapsSizeOnlyWhenAutoSized)
{
    gs::WdgImage widget;
    int resized = 0;
    widget.OnResize = [&](gs::GsWidget*) { ++resized; };
    Bitmap bitmap(12, 7);
    widget.SetBitmap(bitmap);
    EXPECT_EQ(widget.Width(), 12);
    EXPECT_EQ(widget.Height(), 7);
    EXPECT_GE(resized, 1);

    resized = 0;
    widget.SetBitmap(bitmap);
    EXPECT_EQ(resized, 0) << "the same size again";

    widget.SetAutoSize(false);
    Bitmap larger(30, 20);
    widget.SetBitmap(larger);
    EXPECT_EQ(widget.Width(), 12);
    widget.SetAutoSize(true);
    EXPECT_EQ(widget.Width(), 30);
    EXPECT_EQ(widget.Height(), 20);

    Bitmap empty;
    widget.SetBitmap(empty);
    EXPECT_EQ(widget.Width(), 30) << "an empty bitmap leaves the size";
}

TEST_F(GsImageTest, WdgImagePaintComposesWithTheWidgetsAlphaValue)
{
    gs::WdgImage widget;
    Bitmap picture;
    widget.SetBitmap(FourPixels(picture));

    Bitmap target(4, 4);
    Flood(target, kGround);
    widget.Paint(&target, Rect{1, 1, 3, 3});
    EXPECT_EQ(PixelAt(target, 1, 1), kOpaqueRed);
    EXPECT_EQ(PixelAt(target, 1, 2), kGround);
    EXPECT_EQ(PixelAt(target, 0, 0), kGround);

    widget.SetAlphaValue(0);
    Flood(target, kGround);
    widget.Paint(&target, Rect{1, 1, 3, 3});
    EXPECT_EQ(PixelAt(target, 1, 1), kGround);
}

TEST_F(GsImageTest, WdgImageWithStraightAlphaKeepsItsOwnBitmap)
{
    gs::WdgImage widget;
    Bitmap straight(1, 1);
    Put(straight, 0, 0, {0, 0, 200, 100});
    widget.SetBitmap(straight);
    widget.SetAlphaFormat(gafDefined);
    Bitmap target(1, 1);
    Flood(target, {0, 0, 0, 255});
    widget.Paint(&target, Rect{0, 0, 1, 1});
    widget.Paint(&target, Rect{0, 0, 1, 1});
    EXPECT_EQ(PixelAt(widget.Bitmap(), 0, 0), (ImgPx{0, 0, 200, 100}));
    EXPECT_LT(PixelAt(target, 0, 0).r, 200);
    EXPECT_GT(PixelAt(target, 0, 0).r, 0);
}

TEST_F(GsImageTest, DrawIntoCopiesAPictureWithoutAlphaOpaquely)
{
    Bitmap rgb(2, 1, graphics::pf24bit);
    Put(rgb, 0, 0, {1, 2, 3, 255});
    Put(rgb, 1, 0, {4, 5, 6, 255});
    GsImage image;
    image.SetBounds(1, 1, 2, 1);
    image.SetPicture(rgb);
    Bitmap container(4, 3);
    Flood(container, kGround);
    image.DrawInto(&container);
    EXPECT_EQ(PixelAt(container, 1, 1), (ImgPx{1, 2, 3, 255}));
    EXPECT_EQ(PixelAt(container, 2, 1), (ImgPx{4, 5, 6, 255}));
    EXPECT_EQ(PixelAt(container, 3, 1), kGround);
    EXPECT_EQ(PixelAt(container, 1, 0), kGround);
}

TEST_F(GsImageTest, WdgImagePaintLeavesA24BitBitmapAsItIs)
{
    gs::WdgImage widget;
    Bitmap rgb(1, 1, graphics::pf24bit);
    Put(rgb, 0, 0, {9, 8, 7, 255});
    widget.SetBitmap(rgb);
    Bitmap target(1, 1);
    widget.Paint(&target, Rect{0, 0, 1, 1});
    EXPECT_EQ(widget.Bitmap().PixelFormat(), graphics::pf24bit);
    EXPECT_EQ(PixelAt(target, 0, 0), (ImgPx{9, 8, 7, 255}));
}
