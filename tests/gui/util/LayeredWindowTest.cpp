#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <cmath>
#include <cstdint>
#include <memory>

#include "QtTestApp.h"
#include "gui/framework/Form.h"
#include "gui/graphics/Bitmap.h"
#include "gui/util/LayeredWindow.h"

using framework::Form;
using graphics::Bitmap;

namespace {

class LayeredWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        testsupport::QtTestApp();
        m_Form = std::make_unique<Form>();
        m_Form->SetBounds(70, 80, 10, 10);
    }

    // The main window's presenter settings.
    void MainWindowSettings()
    {
        m_Maker.SetUseConstantAlpha(1);
        m_Maker.SetConstantAlpha(255);
        m_Maker.SetUsePerPixelAlpha(1);
    }

    QImage Shown() const
    {
        return m_Form->Host()->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

    std::unique_ptr<Form> m_Form;
    gs::TPerPixelLayeredWindowMaker m_Maker;
};

void SetPixel(Bitmap& bitmap, int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a = 255)
{
    std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
    p[0] = b;
    p[1] = g;
    p[2] = r;
    if (bitmap.PixelFormat() == graphics::pf32bit)
        p[3] = a;
}

// A premultiplied picture: transparent top-left corner, half-transparent grey, opaque red.
std::unique_ptr<Bitmap> Picture(int width, int height)
{
    auto bitmap = std::make_unique<Bitmap>(width, height, graphics::pf32bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel(*bitmap, x, y, 0, 0, 200, 255);
    SetPixel(*bitmap, 0, 0, 0, 0, 0, 0);
    SetPixel(*bitmap, 1, 0, 64, 64, 64, 128);
    return bitmap;
}

int Round(int value, int alpha)
{
    return int(std::lround(value * alpha / 255.0));
}

// A presenter whose platform offers no layered-window entry.
class NoEntryMaker : public gs::TPerPixelLayeredWindowMaker {
public:
    NoEntryMaker() { m_UpdateLayeredWindow = nullptr; }
};

} // namespace

TEST_F(LayeredWindowTest, StartsWithNoAlphaModeAndAKeyThatMatchesNoColour)
{
    EXPECT_EQ(m_Maker.ColorKey, 0xFFFFFFFFu);
    EXPECT_EQ(m_Maker.UseColorKey, 0);
    EXPECT_EQ(m_Maker.ClickThrough, 0);
    EXPECT_EQ(m_Maker.UseConstantAlpha, 0);
    EXPECT_EQ(m_Maker.ConstantAlpha, 255);
    EXPECT_EQ(m_Maker.UsePerPixelAlpha, 0);
    // Setters keep the low byte of what they are given.
    m_Maker.SetConstantAlpha(0x180);
    EXPECT_EQ(m_Maker.ConstantAlpha, 0x80);
    m_Maker.SetUsePerPixelAlpha(0x100);
    EXPECT_EQ(m_Maker.UsePerPixelAlpha, 0);

    // With nothing on, a 32-bit picture leaves a fresh window as it is.
    auto picture = Picture(4, 3);
    m_Maker.UpdateWindowImage(m_Form.get(), picture.get());
    EXPECT_EQ(m_Form->ExStyleWrites(), 0);
    EXPECT_EQ(m_Form->Width(), 10);
}

TEST_F(LayeredWindowTest, WindowTakesThePictureSizeAndKeepsItsPlace)
{
    MainWindowSettings();
    auto picture = Picture(400, 300);
    m_Maker.UpdateWindowImage(m_Form.get(), picture.get());
    EXPECT_EQ(m_Form->Host()->geometry(), QRect(70, 80, 400, 300));
    EXPECT_TRUE(m_Form->ExStyle() & framework::WS_EX_LAYERED);

    m_Form->SetLeft(15);
    auto smaller = Picture(20, 10);
    m_Maker.UpdateWindowImage(m_Form.get(), smaller.get());
    EXPECT_EQ(m_Form->Host()->geometry(), QRect(15, 80, 20, 10));
}

TEST_F(LayeredWindowTest, ShowsPerPixelAlphaWithTheConstantAlphaApplied)
{
    MainWindowSettings();
    auto picture = Picture(3, 2);
    m_Maker.UpdateWindowImage(m_Form.get(), picture.get());
    QImage shown = Shown();
    EXPECT_EQ(shown.pixel(0, 0), qRgba(0, 0, 0, 0));
    EXPECT_EQ(shown.pixel(1, 0), qRgba(64, 64, 64, 128));
    EXPECT_EQ(shown.pixel(2, 1), qRgba(200, 0, 0, 255));

    m_Maker.SetConstantAlpha(128);
    m_Maker.UpdateWindowImage(m_Form.get(), picture.get());
    shown = Shown();
    EXPECT_EQ(shown.pixel(0, 0), qRgba(0, 0, 0, 0));
    EXPECT_EQ(shown.pixel(1, 0), qRgba(Round(64, 128), Round(64, 128), Round(64, 128), Round(128, 128)));
    EXPECT_EQ(shown.pixel(2, 1), qRgba(Round(200, 128), 0, 0, 128));
}

TEST_F(LayeredWindowTest, PerPixelAlphaAloneShowsThePictureAtFullStrength)
{
    m_Maker.SetUsePerPixelAlpha(1);
    m_Maker.SetConstantAlpha(10); // ignored while constant alpha is off
    auto picture = Picture(3, 2);
    m_Maker.UpdateWindowImage(m_Form.get(), picture.get());
    const QImage shown = Shown();
    EXPECT_EQ(shown.pixel(0, 0), qRgba(0, 0, 0, 0));
    EXPECT_EQ(shown.pixel(1, 0), qRgba(64, 64, 64, 128));
    EXPECT_EQ(shown.pixel(2, 1), qRgba(200, 0, 0, 255));
}

TEST_F(LayeredWindowTest, StyleIsWrittenOnceForRepeatedUpdates)
{
    MainWindowSettings();
    auto picture = Picture(3, 2);
    m_Maker.UpdateWindowImage(m_Form.get(), picture.get());
    m_Maker.UpdateWindowImage(m_Form.get(), picture.get());
    m_Maker.UpdateWindowImage(m_Form.get(), picture.get());
    EXPECT_EQ(m_Form->ExStyleWrites(), 1);
    EXPECT_FALSE(m_Maker.SetLayeredStyle(m_Form.get(), true, false));
    EXPECT_TRUE(m_Maker.SetLayeredStyle(m_Form.get(), true, true));
    EXPECT_EQ(m_Form->ExStyleWrites(), 2);
}

TEST_F(LayeredWindowTest, LayeredStyleKeepsTheOtherStyleBits)
{
    m_Form->SetExStyle(framework::WS_EX_TOPMOST | framework::WS_EX_TOOLWINDOW | framework::WS_EX_TRANSPARENT);
    EXPECT_TRUE(m_Maker.SetLayeredStyle(m_Form.get(), true, false));
    EXPECT_EQ(m_Form->ExStyle(), framework::WS_EX_TOPMOST | framework::WS_EX_TOOLWINDOW | framework::WS_EX_LAYERED);

    m_Maker.ClickThrough = 1;
    m_Maker.SetUsePerPixelAlpha(1);
    auto picture = Picture(2, 2);
    m_Maker.UpdateWindowImage(m_Form.get(), picture.get());
    EXPECT_EQ(m_Form->ExStyle(), framework::WS_EX_TOPMOST | framework::WS_EX_TOOLWINDOW | framework::WS_EX_LAYERED |
                                     framework::WS_EX_TRANSPARENT);
    EXPECT_TRUE(m_Form->Host()->windowFlags() & Qt::WindowTransparentForInput);
}

TEST_F(LayeredWindowTest, TwentyFourBitPictureWithoutConstantAlphaMakesTheWindowOpaque)
{
    m_Maker.SetUsePerPixelAlpha(1);
    m_Form->SetColor(0x00112233);
    auto picture = Picture(3, 2);
    m_Maker.UpdateWindowImage(m_Form.get(), picture.get());
    ASSERT_EQ(qAlpha(Shown().pixel(0, 0)), 0);

    Bitmap flat(3, 2, graphics::pf24bit);
    m_Maker.UpdateWindowImage(m_Form.get(), &flat);
    EXPECT_FALSE(m_Form->ExStyle() & framework::WS_EX_LAYERED);
    const QImage shown = Shown();
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            ASSERT_EQ(shown.pixel(x, y), qRgba(0x33, 0x22, 0x11, 255)) << x << "," << y;
    m_Maker.UpdateWindowImage(m_Form.get(), &flat);
    EXPECT_EQ(m_Form->ExStyleWrites(), 2);
}

TEST_F(LayeredWindowTest, TwentyFourBitPictureUnderConstantAlphaIsEvenlyTranslucent)
{
    m_Maker.SetUseConstantAlpha(1);
    m_Maker.SetConstantAlpha(128);
    m_Maker.SetUsePerPixelAlpha(1);
    Bitmap flat(2, 2, graphics::pf24bit);
    SetPixel(flat, 0, 0, 255, 255, 255);
    SetPixel(flat, 1, 1, 10, 20, 30);
    m_Maker.UpdateWindowImage(m_Form.get(), &flat);
    EXPECT_TRUE(m_Form->ExStyle() & framework::WS_EX_LAYERED);
    const QImage shown = Shown();
    EXPECT_EQ(shown.size(), QSize(2, 2));
    EXPECT_EQ(shown.pixel(0, 0), qRgba(128, 128, 128, 128));
    EXPECT_EQ(shown.pixel(1, 0), qRgba(0, 0, 0, 128));
    EXPECT_EQ(shown.pixel(1, 1), qRgba(Round(30, 128), Round(20, 128), Round(10, 128), 128));
}

TEST_F(LayeredWindowTest, ColourKeyModeCutsOutTheKeyColour)
{
    m_Maker.UseColorKey = 1;
    m_Maker.ColorKey = 0x00FF00FF; // magenta
    Bitmap flat(2, 1, graphics::pf24bit);
    SetPixel(flat, 0, 0, 0xFF, 0x00, 0xFF);
    SetPixel(flat, 1, 0, 0x10, 0x20, 0x30);
    m_Maker.UpdateWindowImage(m_Form.get(), &flat);
    EXPECT_TRUE(m_Form->ExStyle() & framework::WS_EX_LAYERED);
    const QImage shown = Shown();
    EXPECT_EQ(shown.pixel(0, 0), qRgba(0, 0, 0, 0));
    EXPECT_EQ(shown.pixel(1, 0), qRgba(0x30, 0x20, 0x10, 255));
}

TEST_F(LayeredWindowTest, MissingPictureOrPlatformEntryLeavesTheWindowAsItWas)
{
    MainWindowSettings();
    m_Maker.UpdateWindowImage(m_Form.get(), nullptr);
    Bitmap empty;
    m_Maker.UpdateWindowImage(m_Form.get(), &empty);
    m_Maker.UpdateWindowImage(nullptr, &empty);
    EXPECT_EQ(m_Form->Host()->geometry(), QRect(70, 80, 10, 10));

    NoEntryMaker noEntry;
    noEntry.SetUsePerPixelAlpha(1);
    Form other;
    other.SetBounds(1, 2, 3, 4);
    auto picture = Picture(30, 20);
    noEntry.UpdateWindowImage(&other, picture.get());
    EXPECT_TRUE(other.ExStyle() & framework::WS_EX_LAYERED);
    EXPECT_EQ(other.Host()->geometry(), QRect(1, 2, 3, 4));
}
