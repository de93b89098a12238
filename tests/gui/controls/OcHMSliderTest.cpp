// The skinned slider on the default skin, driven through real Qt mouse events on its input
// widget: thumb drag with the ends and the snap, track clicks, hover look, notifications of the
// control, and the track overlay's pixels.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/GsImage.h"
#include "gui/controls/TolvScrollBar.h"
#include "gui/framework/Application.h"
#include "gui/framework/Form.h"
#include "gui/graphics/image.h"
#include "platform/MessageBox.h"

namespace {

// The default skin: bar 354 x 42, ball 20 x 20, so the thumb travels 334 pixels.
constexpr int kTravel = 334;
constexpr int kThumbMiddleY = 11;

std::uint8_t Alpha(const graphics::Bitmap& bitmap, int x, int y)
{
    return bitmap.ScanLine(y)[x * 4 + 3];
}

std::uint32_t Pixel(const graphics::Bitmap& bitmap, int x, int y)
{
    const std::uint8_t* p = bitmap.ScanLine(y) + x * 4;
    return (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
}

class SliderTest : public testing::Test {
protected:
    void SetUp() override
    {
        testsupport::QtTestApp();
        ASSERT_TRUE(std::filesystem::exists(graphics::SkinFolder() / "bar_n.png"))
            << "the default skin is drawn by the build into " << graphics::SkinFolder();
        platform::SetMessageBoxHook(
            [](const std::string&, const std::string&, unsigned) { return int(platform::IDOK); });
        m_App = std::make_unique<framework::Application>(m_Argc, m_Argv);
        m_Form = std::make_unique<framework::Form>();
        m_Form->SetBounds(0, 0, 420, 120);
        m_Slider = std::make_unique<OcHMSlider>(m_Form.get());
        m_Slider->SetParent(m_Form.get());
        m_Slider->SetBounds(10, 20, 0, 100);
        // The window's order: maximum, minimum, then a position that applies the range.
        m_Slider->SetMax(255);
        m_Slider->SetMin(10);
        m_Slider->SetPosition(60);
        m_Form->Show();
        QApplication::processEvents();

        m_Slider->OnChange = [this](framework::Component* sender) {
            EXPECT_EQ(sender, m_Slider.get());
            changes.push_back(m_Slider->Position());
        };
        m_Slider->OnStartDragThumb = [this](framework::Component*) { ++starts; };
        m_Slider->OnEndDragThumb = [this](framework::Component*) { ++ends; };
        m_Slider->OnDragThumb = [this](framework::Component*, double precise) {
            drags.push_back(precise);
        };
    }

    void TearDown() override
    {
        QTestPrivate::qtestMouseButtons = Qt::NoButton;
        m_Slider.reset();
        m_Form.reset();
        m_App.reset();
        platform::SetMessageBoxHook(nullptr);
    }

    QWidget* Input() const { return m_Slider->Handle(); }
    WdgMinorSlider& Widget() const { return m_Slider->MinorSlider(); }
    int Thumb() const { return Widget().GetThumbPos(); }
    const graphics::Bitmap& Overlay() const { return Widget().Overlay()->Bitmap(); }

    void Press(int x, int y = kThumbMiddleY) { QTest::mousePress(Input(), Qt::LeftButton, {}, QPoint(x, y)); }
    void Release(int x, int y = kThumbMiddleY) { QTest::mouseRelease(Input(), Qt::LeftButton, {}, QPoint(x, y)); }
    // A move with the left button held (QTest carries the pressed buttons).
    void Drag(int x, int y = kThumbMiddleY) { QTest::mouseMove(Input(), QPoint(x, y)); }
    // A move with no button held, as a real pointer delivers it.
    void Hover(int x, int y)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), Input()->mapToGlobal(QPointF(x, y)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(Input(), &move);
    }
    void Click(int x, int y = kThumbMiddleY)
    {
        Press(x, y);
        Release(x, y);
    }
    void ClearCounts()
    {
        changes.clear();
        drags.clear();
        starts = ends = 0;
    }

    std::vector<std::int32_t> changes;
    std::vector<double> drags;
    int starts = 0;
    int ends = 0;

    int m_Argc = 1;
    char m_Name[8] = "program";
    char* m_Argv[2] = {m_Name, nullptr};
    std::unique_ptr<framework::Application> m_App;
    std::unique_ptr<framework::Form> m_Form;
    std::unique_ptr<OcHMSlider> m_Slider;
};

} // namespace

TEST_F(SliderTest, TakesTheBarsSizeAndTheThumbTravelsBarMinusBall)
{
    EXPECT_EQ(m_Slider->Width(), 354);
    EXPECT_EQ(m_Slider->Height(), 42);
    EXPECT_EQ(Widget().TrackLength(), kTravel);
    EXPECT_EQ(Widget().TrackStart(), 0);
    EXPECT_EQ(Widget().Thumb()->Width(), 20);
}

TEST_F(SliderTest, PositionPlacesTheThumbAtTheRoundedShareOfTheTravel)
{
    m_Slider->SetPosition(255);
    EXPECT_EQ(Thumb(), kTravel);
    m_Slider->SetPosition(60);
    // truncate(50 / 245 x 334 + 0.5)
    EXPECT_EQ(Thumb(), 68);
    m_Slider->SetPosition(10);
    EXPECT_EQ(Thumb(), 0);
    EXPECT_EQ(changes, (std::vector<std::int32_t>{255, 60, 10}));
}

TEST_F(SliderTest, DraggingTheThumbFollowsThePointerPixelByPixel)
{
    m_Slider->SetPosition(10);
    ClearCounts();

    Press(10);
    EXPECT_EQ(starts, 1);
    EXPECT_TRUE(Widget().Dragging());
    Drag(20);
    EXPECT_EQ(Thumb(), 10);
    // 10 + 10 / 334 x 245 = 17.3
    EXPECT_EQ(m_Slider->Position(), 17);
    Drag(25);
    EXPECT_EQ(Thumb(), 15);
    ASSERT_EQ(drags.size(), 2u);
    // Each drag report gives the precise position before that move.
    EXPECT_DOUBLE_EQ(drags[0], 10.0);
    EXPECT_DOUBLE_EQ(drags[1], 10.0 + 10.0 / kTravel * 245.0);
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_EQ(ends, 0);
}

TEST_F(SliderTest, DraggingBeyondTheLeftEndStopsAtTheTrackStart)
{
    m_Slider->SetPosition(132);
    const int grab = Thumb() + 10;
    ClearCounts();

    Press(grab);
    Drag(-500);
    EXPECT_EQ(Thumb(), 0);
    EXPECT_EQ(m_Slider->Position(), 10);
    // Further out the thumb cannot move: reported, but no change.
    Drag(-900);
    EXPECT_EQ(Thumb(), 0);
    EXPECT_EQ(changes.size(), 1u);
    EXPECT_EQ(drags.size(), 2u);

    Release(-900);
    EXPECT_FALSE(Widget().Dragging());
    EXPECT_EQ(Thumb(), 0);
    EXPECT_EQ(changes.size(), 1u); // already on the pixel of 10: no snap
    EXPECT_EQ(ends, 1);
}

TEST_F(SliderTest, DraggingBeyondTheRightEndStopsAtTheTrackEnd)
{
    m_Slider->SetPosition(60);
    Press(Thumb() + 10);
    Drag(5000);
    EXPECT_EQ(Thumb(), kTravel);
    EXPECT_EQ(m_Slider->Position(), 255);
    Release(5000);
    EXPECT_EQ(Thumb(), kTravel);
    EXPECT_EQ(m_Slider->Position(), 255);
}

TEST_F(SliderTest, ReleaseSnapsTheThumbToThePixelOfTheRoundedPosition)
{
    m_Slider->SetMin(0);
    m_Slider->SetMax(4); // 83.5 pixels a step
    m_Slider->SetPosition(0);
    ClearCounts();

    Press(10);
    Drag(110); // thumb at 100: 1.2
    EXPECT_EQ(Thumb(), 100);
    EXPECT_EQ(m_Slider->Position(), 1);
    EXPECT_EQ(changes.size(), 1u);

    Release(110);
    // truncate(1 / 4 x 334 + 0.5) = 84
    EXPECT_EQ(Thumb(), 84);
    EXPECT_EQ(m_Slider->Position(), 1);
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_EQ(ends, 1);
}

TEST_F(SliderTest, DragEventsComeInTheOrderStartReportChangeSnapEnd)
{
    m_Slider->SetMin(0);
    m_Slider->SetMax(4);
    m_Slider->SetPosition(0);
    std::vector<std::string> order;
    m_Slider->OnStartDragThumb = [&](framework::Component*) { order.push_back("start"); };
    m_Slider->OnDragThumb = [&](framework::Component*, double) { order.push_back("drag"); };
    m_Slider->OnChange = [&](framework::Component*) {
        order.push_back("change " + std::to_string(Thumb()));
    };
    m_Slider->OnEndDragThumb = [&](framework::Component*) { order.push_back("end"); };

    Press(10);
    Drag(110);
    Release(110);

    EXPECT_EQ(order, (std::vector<std::string>{"start", "drag", "change 100", "change 84", "end"}));
}

TEST_F(SliderTest, AMoveWithoutTheLeftButtonEndsTheDrag)
{
    m_Slider->SetPosition(10);
    Press(10);
    Drag(30);
    const int held = Thumb();
    ClearCounts();

    Hover(60, kThumbMiddleY);
    EXPECT_FALSE(Widget().Dragging());
    EXPECT_EQ(Thumb(), held);
    EXPECT_TRUE(changes.empty());
    // The release that follows no longer belongs to a drag.
    Release(60);
    EXPECT_EQ(ends, 0);
}

TEST_F(SliderTest, OnlyTheLeftButtonGrabsTheThumb)
{
    m_Slider->SetPosition(10);
    QTest::mousePress(Input(), Qt::RightButton, {}, QPoint(10, kThumbMiddleY));
    EXPECT_FALSE(Widget().Dragging());
    EXPECT_EQ(starts, 0);
    QTest::mouseRelease(Input(), Qt::RightButton, {}, QPoint(10, kThumbMiddleY));
}

TEST_F(SliderTest, TrackClicksStepByLineSizeTowardsTheClick)
{
    m_Slider->SetPosition(132);
    const int thumb = Thumb();
    ClearCounts();

    Click(thumb - 40);
    EXPECT_EQ(m_Slider->Position(), 131);
    Click(thumb + 120);
    Click(thumb + 120);
    EXPECT_EQ(m_Slider->Position(), 133);

    m_Slider->SetLineSize(25);
    Click(Thumb() - 1);
    EXPECT_EQ(m_Slider->Position(), 108);
    EXPECT_EQ(changes, (std::vector<std::int32_t>{131, 132, 133, 108}));
    EXPECT_EQ(starts, 0);
}

TEST_F(SliderTest, AClickOnTheThumbDoesNotStep)
{
    m_Slider->SetPosition(132);
    ClearCounts();
    Click(Thumb() + 10);
    EXPECT_EQ(m_Slider->Position(), 132);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ends, 1);
}

TEST_F(SliderTest, TrackClicksBesideTheThumbAtTheEndsStepOntoTheEnds)
{
    m_Slider->SetPosition(254);
    ASSERT_EQ(Thumb(), 333);
    ClearCounts();
    Click(353); // the one track pixel right of the thumb
    EXPECT_EQ(m_Slider->Position(), 255);
    m_Slider->SetPosition(11);
    ASSERT_EQ(Thumb(), 1);
    Click(0);
    EXPECT_EQ(m_Slider->Position(), 10);
    EXPECT_EQ(changes, (std::vector<std::int32_t>{255, 11, 10}));
}

TEST_F(SliderTest, HoveringShowsTheThumbsHoverLookUntilThePointerLeaves)
{
    EXPECT_FALSE(Widget().Thumb()->GetChecked());
    Hover(200, 30);
    EXPECT_TRUE(Widget().Thumb()->GetChecked());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Input(), &leave);
    EXPECT_FALSE(Widget().Thumb()->GetChecked());
    EXPECT_TRUE(changes.empty());
}

TEST_F(SliderTest, DisablingPassesOnToTheBarAndTheThumbAndIgnoresInput)
{
    m_Slider->SetPosition(100);
    m_Slider->SetEnabled(false);
    EXPECT_FALSE(Widget().Bar()->Enabled());
    EXPECT_FALSE(Widget().Thumb()->Enabled());
    ClearCounts();
    Click(5);
    Press(Thumb() + 10);
    Drag(300);
    Release(300);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(m_Slider->Position(), 100);
}

// The overlay: its bitmap has the bar's size; the track's line runs through the row
// (42 - 8) / 2 + 4 = 21.
namespace {
constexpr int kLineRow = 21;
}

TEST_F(SliderTest, OverlayIsFilledUpToTheThumbInTheNormalColoursAndBeyondInTheUnavailable)
{
    graphics::Bitmap normal, unavailable;
    graphics::LoadPngImagePlain(graphics::SkinFolder() / "barline_n.png", &normal);
    graphics::LoadPngImagePlain(graphics::SkinFolder() / "barline_un.png", &unavailable);
    ASSERT_NE(Pixel(normal, 4, 4), Pixel(unavailable, 4, 4));

    m_Slider->SetPosition(132); // thumb at 166
    const int thumb = Thumb();
    ASSERT_EQ(Overlay().Width(), 354);
    ASSERT_EQ(Overlay().Height(), 42);
    EXPECT_EQ(Pixel(Overlay(), 60, kLineRow), Pixel(normal, 4, 4));
    EXPECT_EQ(Pixel(Overlay(), thumb + 60, kLineRow), Pixel(unavailable, 4, 4));
    // Above and below the line nothing is drawn.
    EXPECT_EQ(Alpha(Overlay(), 60, 2), 0);
    EXPECT_EQ(Alpha(Overlay(), 60, 39), 0);

    m_Slider->SetEnabled(false);
    EXPECT_EQ(Pixel(Overlay(), 60, kLineRow), Pixel(unavailable, 4, 4));
    EXPECT_EQ(Pixel(Overlay(), thumb + 60, kLineRow), Pixel(unavailable, 4, 4));
}

TEST_F(SliderTest, OverlayFollowsTheThumbDuringADrag)
{
    m_Slider->SetPosition(10);
    graphics::Bitmap normal;
    graphics::LoadPngImagePlain(graphics::SkinFolder() / "barline_n.png", &normal);
    EXPECT_NE(Pixel(Overlay(), 100, kLineRow), Pixel(normal, 4, 4));
    Press(10);
    Drag(210);
    EXPECT_EQ(Pixel(Overlay(), 100, kLineRow), Pixel(normal, 4, 4));
    Release(210);
}

TEST_F(SliderTest, UnfilledTrackEndsAtTheSamePixelWhereverTheThumbIs)
{
    for (std::int32_t position : {10, 60, 200}) {
        m_Slider->SetPosition(position);
        EXPECT_GT(Alpha(Overlay(), 342, kLineRow), 0) << position;
        EXPECT_EQ(Alpha(Overlay(), 343, kLineRow), 0) << position;
    }
}

TEST_F(SliderTest, TheSliderComposesIntoAWindowPicture)
{
    m_Slider->SetPosition(132);
    graphics::Bitmap frame(420, 120);
    m_Slider->DrawInto(&frame, DrawScope::WithChildren, WhenHidden::Skip);
    // The thumb's centre, drawn over the track, and nothing outside the slider.
    EXPECT_EQ(Alpha(frame, 10 + Thumb() + 10, 20 + 11), 255);
    EXPECT_EQ(Alpha(frame, 5, 5), 0);
    EXPECT_EQ(Alpha(frame, 10 + 354 + 2, 20 + 11), 0);
}
