#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <cmath>
#include <cstdint>
#include <vector>

#include "FrameworkFixture.h"
#include "gui/framework/Form.h"
#include "gui/framework/LayeredUpdate.h"

using namespace framework;

namespace {

// A little B, G, R(, A) bitmap in memory.
struct Pixels {
    Pixels(int w, int h, int bpp) : width(w), height(h), bpp(bpp), stride(w * bpp / 8 + 3), bytes(stride * h) {}

    void Set(int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a = 0)
    {
        std::uint8_t* p = &bytes[y * stride + x * (bpp / 8)];
        p[0] = b;
        p[1] = g;
        p[2] = r;
        if (bpp == 32)
            p[3] = a;
    }
    PixelView View() const { return PixelView{bytes.data(), width, height, stride, bpp}; }

    int width, height, bpp, stride;
    std::vector<std::uint8_t> bytes;
};

QImage Shown(Form& form)
{
    return form.Host()->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

int Round(int value, int alpha)
{
    return int(std::lround(value * alpha / 255.0));
}

BlendFunction PerPixel(std::uint8_t constant)
{
    BlendFunction blend;
    blend.SourceConstantAlpha = constant;
    blend.AlphaFormat = AC_SRC_ALPHA;
    return blend;
}

} // namespace

TEST_F(FrameworkTest, LayeredUpdateNeedsALayeredWindowAndASourceThatCoversTheSize)
{
    Form form;
    form.SetBounds(10, 20, 5, 5);
    Pixels pixels(2, 2, 32);
    PixelView view = pixels.View();
    WindowSize size{2, 2};
    BlendFunction blend = PerPixel(255);
    EXPECT_FALSE(UpdateLayeredWindow(&form, nullptr, &size, &view, {}, 0, &blend, ULW_ALPHA));
    EXPECT_EQ(form.Width(), 5); // not layered: nothing changed

    form.SetExStyle(WS_EX_LAYERED);
    WindowSize tooBig{3, 2};
    EXPECT_FALSE(UpdateLayeredWindow(&form, nullptr, &tooBig, &view, {}, 0, &blend, ULW_ALPHA));
    EXPECT_FALSE(UpdateLayeredWindow(&form, nullptr, &size, &view, {1, 0}, 0, &blend, ULW_ALPHA));
    EXPECT_FALSE(UpdateLayeredWindow(&form, nullptr, &size, &view, {-1, 0}, 0, &blend, ULW_ALPHA));
    WindowSize empty{0, 2};
    EXPECT_FALSE(UpdateLayeredWindow(&form, nullptr, &empty, &view, {}, 0, &blend, ULW_ALPHA));
    PixelView noBits = view;
    noBits.bits = nullptr;
    EXPECT_FALSE(UpdateLayeredWindow(&form, nullptr, &size, &noBits, {}, 0, &blend, ULW_ALPHA));
    PixelView odd = view;
    odd.bitsPerPixel = 16;
    EXPECT_FALSE(UpdateLayeredWindow(&form, nullptr, &size, &odd, {}, 0, &blend, ULW_ALPHA));
    PixelView shortRows = view;
    shortRows.stride = 4;
    EXPECT_FALSE(UpdateLayeredWindow(&form, nullptr, &size, &shortRows, {}, 0, &blend, ULW_ALPHA));
    EXPECT_EQ(form.Width(), 5);

    EXPECT_TRUE(UpdateLayeredWindow(&form, nullptr, &size, &view, {}, 0, &blend, ULW_ALPHA));
    EXPECT_EQ(form.Width(), 2);
}

TEST_F(FrameworkTest, LayeredWindowTakesTheSizeAndShowsPerPixelAlpha)
{
    Form form;
    form.SetBounds(30, 40, 10, 10);
    form.SetExStyle(WS_EX_LAYERED);
    Pixels pixels(3, 2, 32);
    pixels.Set(0, 0, 0, 0, 0, 0);         // transparent
    pixels.Set(1, 0, 10, 20, 30, 40);     // soft edge
    pixels.Set(2, 0, 255, 255, 255, 255); // opaque white
    pixels.Set(0, 1, 1, 2, 3, 255);
    pixels.Set(1, 1, 200, 0, 0, 128); // colour above alpha: clamped to a valid pixel
    pixels.Set(2, 1, 0, 0, 128, 128);
    PixelView view = pixels.View();
    WindowSize size{3, 2};
    BlendFunction blend = PerPixel(255);
    ASSERT_TRUE(UpdateLayeredWindow(&form, nullptr, &size, &view, {}, 0xFFFFFFFF, &blend, ULW_ALPHA));
    EXPECT_EQ(form.Host()->geometry(), QRect(30, 40, 3, 2)); // keeps its place
    // The picture's size is the window's only size: nobody can resize it.
    EXPECT_EQ(form.Host()->minimumSize(), QSize(3, 2));
    EXPECT_EQ(form.Host()->maximumSize(), QSize(3, 2));

    const QImage shown = Shown(form);
    ASSERT_EQ(shown.size(), QSize(3, 2));
    EXPECT_EQ(shown.pixel(0, 0), qRgba(0, 0, 0, 0));
    EXPECT_EQ(shown.pixel(1, 0), qRgba(30, 20, 10, 40));
    EXPECT_EQ(shown.pixel(2, 0), qRgba(255, 255, 255, 255));
    EXPECT_EQ(shown.pixel(0, 1), qRgba(3, 2, 1, 255));
    EXPECT_EQ(shown.pixel(1, 1), qRgba(0, 0, 128, 128));
    EXPECT_EQ(shown.pixel(2, 1), qRgba(128, 0, 0, 128));

    WindowPoint to{5, 6};
    WindowSize part{2, 1};
    ASSERT_TRUE(UpdateLayeredWindow(&form, &to, &part, &view, {1, 1}, 0, &blend, ULW_ALPHA));
    EXPECT_EQ(form.Host()->geometry(), QRect(5, 6, 2, 1));
    EXPECT_EQ(form.Host()->minimumSize(), QSize(2, 1));
    EXPECT_EQ(form.Host()->maximumSize(), QSize(2, 1));
    EXPECT_EQ(Shown(form).pixel(1, 0), qRgba(128, 0, 0, 128));
}

TEST_F(FrameworkTest, ConstantAlphaScalesEveryChannelOfEveryPixel)
{
    Form form;
    form.SetExStyle(WS_EX_LAYERED);
    Pixels pixels(2, 1, 32);
    pixels.Set(0, 0, 255, 255, 255, 255);
    pixels.Set(1, 0, 60, 120, 180, 200);
    PixelView view = pixels.View();
    WindowSize size{2, 1};
    for (int constant = 0; constant <= 255; ++constant) {
        BlendFunction blend = PerPixel(std::uint8_t(constant));
        ASSERT_TRUE(UpdateLayeredWindow(&form, nullptr, &size, &view, {}, 0, &blend, ULW_ALPHA));
        const QImage shown = Shown(form);
        const int full = Round(255, constant);
        ASSERT_EQ(shown.pixel(0, 0), qRgba(full, full, full, full)) << "constant alpha " << constant;
        ASSERT_EQ(shown.pixel(1, 0),
                  qRgba(Round(180, constant), Round(120, constant), Round(60, constant), Round(200, constant)))
            << "constant alpha " << constant;
    }
}

TEST_F(FrameworkTest, TwentyFourBitSourceIsOpaqueUnderTheConstantAlpha)
{
    Form form;
    form.SetExStyle(WS_EX_LAYERED);
    Pixels pixels(2, 1, 24);
    pixels.Set(0, 0, 10, 20, 30);
    pixels.Set(1, 0, 255, 255, 255);
    PixelView view = pixels.View();
    WindowSize size{2, 1};
    BlendFunction blend = PerPixel(255);
    ASSERT_TRUE(UpdateLayeredWindow(&form, nullptr, &size, &view, {}, 0, &blend, ULW_ALPHA));
    EXPECT_EQ(Shown(form).pixel(0, 0), qRgba(30, 20, 10, 255));
    blend.SourceConstantAlpha = 128;
    ASSERT_TRUE(UpdateLayeredWindow(&form, nullptr, &size, &view, {}, 0, &blend, ULW_ALPHA));
    EXPECT_EQ(Shown(form).pixel(1, 0), qRgba(128, 128, 128, 128));
}

TEST_F(FrameworkTest, ColourKeyCutsOutOnlyTheKeyColour)
{
    Form form;
    form.SetExStyle(WS_EX_LAYERED);
    Pixels pixels(3, 1, 32);
    pixels.Set(0, 0, 0xCC, 0xBB, 0xAA, 7); // the key 0x00CCBBAA is R AA, G BB, B CC
    pixels.Set(1, 0, 0xCC, 0xBB, 0xAB, 7);
    pixels.Set(2, 0, 0xAA, 0xBB, 0xCC, 7);
    PixelView view = pixels.View();
    WindowSize size{3, 1};
    BlendFunction blend;
    ASSERT_TRUE(UpdateLayeredWindow(&form, nullptr, &size, &view, {}, 0x00CCBBAA, &blend, ULW_COLORKEY));
    const QImage shown = Shown(form);
    EXPECT_EQ(shown.pixel(0, 0), qRgba(0, 0, 0, 0));
    EXPECT_EQ(shown.pixel(1, 0), qRgba(0xAB, 0xBB, 0xCC, 255));
    EXPECT_EQ(shown.pixel(2, 0), qRgba(0xCC, 0xBB, 0xAA, 255));
}

TEST_F(FrameworkTest, RemovingTheLayeredStyleMakesTheWindowOpaque)
{
    Form form;
    form.SetExStyle(WS_EX_LAYERED);
    form.SetColor(0x00102030);
    Pixels pixels(2, 2, 32);
    PixelView view = pixels.View(); // all transparent
    WindowSize size{2, 2};
    BlendFunction blend = PerPixel(255);
    ASSERT_TRUE(UpdateLayeredWindow(&form, nullptr, &size, &view, {}, 0, &blend, ULW_ALPHA));
    EXPECT_EQ(qAlpha(Shown(form).pixel(1, 1)), 0);
    form.SetExStyle(0);
    EXPECT_EQ(Shown(form).pixel(1, 1), qRgba(0x30, 0x20, 0x10, 255));
    // Layered again, the old picture does not come back by itself.
    form.SetExStyle(WS_EX_LAYERED);
    EXPECT_EQ(qAlpha(Shown(form).pixel(1, 1)), 0);
}
