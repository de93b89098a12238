#include "GraphicsTestSupport.h"

#include "TestSupport.h"
#include "gui/graphics/image.h"
#include "platform/MessageBox.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <cmath>
#include <string>
#include <vector>

using namespace graphics;
using graphicstest::Get;
using graphicstest::Pixel;

namespace {

std::string PngBytes(const QImage& image, const char* format = "PNG")
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return bytes.toStdString();
}

std::filesystem::path WriteImage(const std::string& name, const std::string& bytes)
{
    const auto path = testsupport::Root() / name;
    testsupport::WriteFile(path, bytes);
    return path;
}

std::uint32_t Crc32(const std::string& data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string BigEndian(std::uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// A PNG file whose header chunk (with a correct checksum) claims the given size; the image
// data of a real 1 x 1 picture follows.
std::string PngClaimingSize(std::uint32_t width, std::uint32_t height)
{
    std::string png = PngBytes(QImage(1, 1, QImage::Format_RGB32));
    std::string ihdr = "IHDR" + BigEndian(width) + BigEndian(height) + png.substr(24, 5);
    png.replace(12, 17, ihdr);
    png.replace(29, 4, BigEndian(Crc32(ihdr)));
    return png;
}

struct BoxRecorder {
    struct Box {
        std::string text, caption;
        unsigned flags;
    };
    std::vector<Box> boxes;
    platform::MessageBoxHook previous;

    BoxRecorder()
    {
        previous = platform::SetMessageBoxHook([this](const std::string& text, const std::string& caption, unsigned flags) {
            boxes.push_back({text, caption, flags});
            return int(platform::IDOK);
        });
    }
    ~BoxRecorder() { platform::SetMessageBoxHook(previous); }
};

} // namespace

TEST(LoadPngImagePlain, DeliversPremultipliedBgraAndKeepsTheAlphaMode)
{
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 128, 0, 128));
    image.setPixel(1, 0, qRgba(10, 20, 30, 255));
    const auto path = WriteImage("a.png", PngBytes(image));
    Bitmap b;
    b.SetAlphaMode(AlphaMode::Defined);
    LoadPngImagePlain(path, &b);
    ASSERT_EQ(b.Width(), 2);
    ASSERT_EQ(b.Height(), 1);
    EXPECT_EQ(b.PixelFormat(), pf32bit);
    EXPECT_EQ(b.GetAlphaMode(), AlphaMode::Defined);
    const Pixel p = Get(b, 0, 0);
    EXPECT_EQ(p[0], 0);
    EXPECT_NEAR(p[1], 128 * 128 / 255.0, 1.0);
    EXPECT_EQ(p[2], 128);
    EXPECT_EQ(p[3], 128);
    EXPECT_EQ(Get(b, 1, 0), (Pixel{30, 20, 10, 255}));
}

TEST(LoadPngImagePlain, BadFilesLeaveAnEmptyBitmapSilently)
{
    BoxRecorder recorder;
    const std::string good = PngBytes(QImage(8, 8, QImage::Format_ARGB32));
    std::vector<std::filesystem::path> bad = {
        testsupport::Root() / "missing.png",
        testsupport::Root(), // a folder
        WriteImage("empty.png", ""),
        WriteImage("truncated.png", good.substr(0, good.size() / 2)),
        WriteImage("header-only.png", good.substr(0, 33)),
        WriteImage("text.png", "this is not a picture\n"),
        WriteImage("bitmap.png", PngBytes(QImage(4, 4, QImage::Format_RGB32), "BMP")),
        WriteImage("zero.png", PngClaimingSize(0, 1)),
        WriteImage("wide.png", PngClaimingSize(kMaxImageSide + 1, 1)),
        WriteImage("tall.png", PngClaimingSize(1, 0x7FFFFFFF)),
        WriteImage("area.png", PngClaimingSize(kMaxImageSide, kMaxImageSide)),
        WriteImage("lying.png", PngClaimingSize(3, 3)), // the data holds one pixel only
    };
    for (const auto& path : bad) {
        Bitmap b(5, 5);
        LoadPngImagePlain(path, &b);
        EXPECT_TRUE(b.Empty()) << path;
        EXPECT_EQ(b.Width(), 0) << path;
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST(LoadPngImagePlain, AcceptsTheLargestSide)
{
    const auto path = WriteImage("strip.png", PngBytes(QImage(kMaxImageSide, 1, QImage::Format_ARGB32)));
    Bitmap b;
    LoadPngImagePlain(path, &b);
    EXPECT_EQ(b.Width(), kMaxImageSide);
    EXPECT_EQ(b.Height(), 1);
}

TEST(LoadPngImage, ReportsAFailureOnceWithThePath)
{
    BoxRecorder recorder;
    const auto path = testsupport::Root() / "resource" / "UI" / "nothing here.png";
    Bitmap b;
    LoadPngImage(path, &b);
    EXPECT_TRUE(b.Empty());
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, "Can not load image " + path.string());
    EXPECT_EQ(recorder.boxes[0].caption, "LoadImage");
    EXPECT_EQ(recorder.boxes[0].flags, 0u);
}

TEST(LoadPngImage, MarksThePixelsPremultipliedWithoutDarkeningThemAgain)
{
    BoxRecorder recorder;
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(200, 100, 50, 100));
    const auto path = WriteImage("b.png", PngBytes(image));
    Bitmap plain, loaded;
    LoadPngImagePlain(path, &plain);
    LoadPngImage(path, &loaded);
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_EQ(loaded.GetAlphaMode(), AlphaMode::Premultiplied);
    EXPECT_EQ(Get(loaded, 0, 0), Get(plain, 0, 0));
    EXPECT_NEAR(Get(loaded, 0, 0)[2], 200 * 100 / 255.0, 1.0);
}
