#include "ChildProgram.h"
#include "PrivateBus.h"
#include "TestSupport.h"
#include "SimulatedMachine.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

using namespace std::chrono_literals;
using namespace testsupport;

// The program's window on screens of several sizes, desktop scales and work areas: it opens
// centred in the primary screen's work area and inside it, and on a scaled desktop its text is
// drawn at the screen's resolution rather than scaled up from window pixels.
namespace {

constexpr const char* kCaption = "TOLV Watchdog Timer";
constexpr int kWidth = 424; // the background picture, in window pixels
constexpr int kHeight = 544;
// The explanation under the restart title: small grey text on the light body, in window pixels.
constexpr ScreenRect kExplanation{155, 77, 250, 60};
constexpr int kBodyX = 20;
constexpr int kBodyY = 300;

struct ScreenRow {
    const char* name;
    int width; // the screen, in device pixels
    int height;
    int reservedLeft; // left out of the work area along the left and top edges
    int reservedTop;
    double scale; // the desktop's scale factor
    // A ratio the text must reach on the sharpness measure below; 0 checks nothing.
    double sharpness;
};

int Device(int length, double scale)
{
    return static_cast<int>(std::ceil(length * scale));
}

QImage ToQImage(const ScreenImage& shot)
{
    QImage image(shot.Width(), shot.Height(), QImage::Format_RGB32);
    for (int y = 0; y < shot.Height(); ++y) {
        for (int x = 0; x < shot.Width(); ++x) {
            const Rgb c = shot.Pixel(x, y);
            image.setPixel(x, y, qRgb(c.red, c.green, c.blue));
        }
    }
    return image;
}

// The sum of squared differences between neighbouring pixels' grey levels: sharp edges hold
// more of it than the same edges spread over more pixels.
double EdgeEnergy(const QImage& image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    double energy = 0;
    for (int y = 0; y + 1 < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        const uchar* below = grey.constScanLine(y + 1);
        for (int x = 0; x + 1 < grey.width(); ++x) {
            const double dx = row[x + 1] - row[x];
            const double dy = below[x] - row[x];
            energy += dx * dx + dy * dy;
        }
    }
    return energy;
}

// How much of its edges a picture loses when brought down to window pixels and back up. A
// picture scaled up from window pixels has nothing finer than a window pixel and loses little
// (near 1); text drawn at the device's resolution loses much more.
double Sharpness(const ScreenImage& shot, double scale)
{
    const QImage image = ToQImage(shot);
    const QImage small = image.scaled(static_cast<int>(std::lround(image.width() / scale)),
                                      static_cast<int>(std::lround(image.height() / scale)),
                                      Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage back = small.scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const double lost = EdgeEnergy(back);
    return lost > 0 ? EdgeEnergy(image) / lost : 0;
}

class ScreensE2E : public testing::TestWithParam<ScreenRow> {
protected:
    const SimulatedMachine m_Machine;
    const std::filesystem::path m_Sim = m_Machine.sim;
};

TEST_P(ScreensE2E, TheWindowOpensInsideTheWorkAreaWithTextAtTheScreensResolution)
{
    const ScreenRow& row = GetParam();
    std::filesystem::create_directories(m_Sim);
    XSession session(XSession::Options{.wm = true,
                                       .compositor = false,
                                       .tray = false,
                                       .width = row.width,
                                       .height = row.height,
                                       .reservedLeft = row.reservedLeft,
                                       .reservedTop = row.reservedTop});
    ASSERT_TRUE(session.Started()) << session.Error();
    std::ostringstream factor;
    factor << row.scale;
    ScopedVariable scale("QT_SCALE_FACTOR", factor.str());
    const auto log = Root() / "program.log";
    ChildProgram program(BinFolder() / "TolvWatchDogTimer", {}, log);
    ASSERT_TRUE(program.Started());

    const auto window = WaitForWindow(kCaption, 60s);
    ASSERT_TRUE(window.has_value()) << ReadFile(log);
    // Painted: the body's light background shows where the picture puts it.
    std::optional<ScreenRect> rect;
    const int bodyX = Device(kBodyX, row.scale);
    const int bodyY = Device(kBodyY, row.scale);
    ASSERT_TRUE(WaitUntil(
        [&] {
            rect = WindowGeometry(*window);
            const auto body = rect ? ScreenPixel(rect->x + bodyX, rect->y + bodyY) : std::nullopt;
            return body && body->red + body->green + body->blue > 3 * 192;
        },
        10s))
        << DescribeRect(rect) << "\n" << ReadFile(log);

    const int width = Device(kWidth, row.scale);
    const int height = Device(kHeight, row.scale);
    EXPECT_EQ(rect->width, width) << DescribeRect(rect);
    EXPECT_EQ(rect->height, height) << DescribeRect(rect);
    const ScreenRect area{row.reservedLeft, row.reservedTop, row.width - row.reservedLeft,
                          row.height - row.reservedTop};
    if (width <= area.width && height <= area.height) {
        // Centred in the work area, give or take the rounding between window and device pixels.
        EXPECT_NEAR(rect->x, area.x + (area.width - width) / 2, 2) << DescribeRect(rect);
        EXPECT_NEAR(rect->y, area.y + (area.height - height) / 2, 2) << DescribeRect(rect);
    } else {
        // Too tall for the screen: the top row, with minimise and close, stays on it.
        EXPECT_GE(rect->x, area.x) << DescribeRect(rect);
        EXPECT_EQ(rect->y, area.y) << DescribeRect(rect);
    }

    if (row.sharpness > 0) {
        const auto text = ScreenImage::Capture(ScreenRect{
            rect->x + Device(kExplanation.x, row.scale), rect->y + Device(kExplanation.y, row.scale),
            Device(kExplanation.width, row.scale), Device(kExplanation.height, row.scale)});
        ASSERT_TRUE(text.has_value());
        // Measured: text scaled up from window pixels gives about 3.2 at 1.25 and 2.3 at 2;
        // text drawn in device pixels about 4.5 and 5.2.
        EXPECT_GE(Sharpness(*text, row.scale), row.sharpness);
    }
}

// The 1280 x 1024 screen at scale 2 is 640 x 512 window pixels, less than the window's height.
// The wide screen with its left half reserved stands for a primary screen to the right of
// another one: the window belongs on the right half, not across the middle.
INSTANTIATE_TEST_SUITE_P(
    Program, ScreensE2E,
    testing::Values(ScreenRow{"ScaledOneAndAQuarter", 1920, 1200, 0, 0, 1.25, 3.8},
                    ScreenRow{"ScaledTwice", 1920, 1200, 0, 0, 2.0, 3.7},
                    ScreenRow{"ScaledTwiceOnAShortScreen", 1280, 1024, 0, 0, 2.0, 0},
                    ScreenRow{"WorkAreaRightOfAnotherScreen", 2560, 1024, 1280, 24, 1.0, 0}),
    [](const testing::TestParamInfo<ScreenRow>& info) { return std::string(info.param.name); });

} // namespace
