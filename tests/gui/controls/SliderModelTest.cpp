// The slider model on a plain track: clamping, notification counts and the mapping between
// positions and thumb pixels.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "gui/controls/GsScrollBar.h"

namespace {

// A track of a chosen start and length; the thumb is a number.
class Track : public gs::WdgCustomScrollBar {
public:
    Track(int start, int length) : m_Start(start), m_Length(length) {}

    int TrackLength() override { return m_Length; }
    int TrackStart() override { return m_Start; }
    int AxisCoordinate(int x, int) override { return x; }
    int DragOffset(int x, int) override { return x - m_Anchor; }
    void SetDragAnchor(int x, int) override { m_Anchor = x; }
    int GetThumbPos() override { return m_Thumb; }
    void SetThumbPos(int pixel) override
    {
        m_Thumb = pixel;
        ++thumbMoves;
    }

    int thumbMoves = 0;

private:
    int m_Start;
    int m_Length;
    int m_Anchor = 0;
    int m_Thumb = 0;
};

struct Counter {
    int changes = 0;
    std::vector<std::int32_t> positions;
    void Attach(Track& track)
    {
        track.OnChange = [this](gs::GsWidget* sender) {
            ++changes;
            positions.push_back(static_cast<Track*>(sender)->Position());
        };
    }
};

// Min, Max, and a position given in the order the properties are set.
void Range(Track& track, std::int32_t min, std::int32_t max)
{
    track.SetMax(max);
    track.SetMin(min);
}

} // namespace

TEST(SliderPosition, FirstPositionIsAppliedEvenWhenItEqualsTheInitialValue)
{
    Track track(0, 100);
    Counter counter;
    counter.Attach(track);
    ASSERT_FALSE(track.PositionSet());
    ASSERT_EQ(track.Position(), 10);

    track.SetPosition(10);

    EXPECT_TRUE(track.PositionSet());
    EXPECT_EQ(counter.changes, 1);
    EXPECT_EQ(track.GetThumbPos(), 100); // 10 of 0..10
}

TEST(SliderPosition, SameValueTwiceNotifiesOnce)
{
    Track track(0, 334);
    Range(track, 10, 255);
    Counter counter;
    counter.Attach(track);

    track.SetPosition(60);
    track.SetPosition(60);

    EXPECT_EQ(counter.changes, 1);
    EXPECT_EQ(track.Position(), 60);
}

TEST(SliderPosition, ValueClampingToTheCurrentPositionStillNotifies)
{
    Track track(0, 334);
    Range(track, 10, 255);
    track.SetPosition(255);
    Counter counter;
    counter.Attach(track);

    track.SetPosition(300);

    EXPECT_EQ(track.Position(), 255);
    EXPECT_EQ(counter.changes, 1);
    EXPECT_EQ(track.GetThumbPos(), 334);
}

TEST(SliderPosition, ValuesOutsideTheRangeAreClampedNotRefused)
{
    Track track(4, 100);
    Range(track, 10, 255);

    track.SetPosition(-7);
    EXPECT_EQ(track.Position(), 10);
    EXPECT_EQ(track.GetThumbPos(), 4);

    track.SetPosition(INT_MAX);
    EXPECT_EQ(track.Position(), 255);
    EXPECT_EQ(track.GetThumbPos(), 104);
}

TEST(SliderPosition, MinimumWinsOverAnInvertedRange)
{
    Track track(0, 100);
    track.SetMax(40);
    track.SetMin(50);

    track.SetPosition(45);
    EXPECT_EQ(track.Position(), 50);
    track.SetPosition(10);
    EXPECT_EQ(track.Position(), 50);
    // Min is not below Max, so every position sits at the start of the track.
    EXPECT_EQ(track.GetThumbPos(), 0);
}

TEST(SliderRange, NewMaximumReclampsThePositionAndNotifiesOnce)
{
    Track track(0, 334);
    Range(track, 10, 255);
    track.SetPosition(230);
    Counter counter;
    counter.Attach(track);

    track.SetMax(200);
    EXPECT_EQ(track.Position(), 200);
    EXPECT_EQ(track.GetThumbPos(), 334);
    EXPECT_EQ(counter.changes, 1);

    track.SetMax(200);
    EXPECT_EQ(counter.changes, 1);
}

TEST(SliderRange, NewMaximumNotifiesEvenWhenThePositionStays)
{
    Track track(0, 334);
    Range(track, 10, 255);
    track.SetPosition(60);
    Counter counter;
    counter.Attach(track);

    track.SetMax(300);

    EXPECT_EQ(track.Position(), 60);
    EXPECT_EQ(counter.changes, 1);
    // The thumb follows the new scale: 50 of 290 over 334 pixels.
    EXPECT_EQ(track.GetThumbPos(), 58);
}

TEST(SliderRange, NewMinimumNeitherReclampsNorNotifies)
{
    Track track(0, 334);
    Range(track, 10, 255);
    track.SetPosition(60);
    Counter counter;
    counter.Attach(track);
    const int moves = track.thumbMoves;

    track.SetMin(100);

    EXPECT_EQ(track.Position(), 60);
    EXPECT_EQ(counter.changes, 0);
    EXPECT_EQ(track.thumbMoves, moves);
    // Setting the same position again is still "no change"; a new maximum applies it.
    track.SetPosition(60);
    EXPECT_EQ(track.Position(), 60);
    track.SetMax(254);
    EXPECT_EQ(track.Position(), 100);
    EXPECT_EQ(counter.changes, 1);
}

TEST(SliderRange, InitParamSetsTheRangeAndClampsWithoutNotifying)
{
    Track track(0, 100);
    Counter counter;
    counter.Attach(track);

    track.InitParam(10, 0, 50);
    EXPECT_EQ(track.Position(), 10);
    EXPECT_TRUE(track.PositionSet());

    track.InitParam(20, 5, 2); // a new maximum too: still quiet
    EXPECT_EQ(track.Max(), 20);
    EXPECT_EQ(track.Min(), 5);
    EXPECT_EQ(track.Position(), 5);
    EXPECT_EQ(track.GetThumbPos(), 0);

    track.InitParam(40, 30, 35); // Min above the old Max: the new range applies as a whole
    EXPECT_EQ(track.Position(), 35);
    EXPECT_EQ(track.GetThumbPos(), 50);
    EXPECT_EQ(counter.changes, 0);
}

namespace {

struct PixelRow {
    std::string name;
    int start;
    int length;
    std::int32_t min;
    std::int32_t max;
    std::int32_t position;
    int pixel;
};

class PositionToPixelTable : public testing::TestWithParam<PixelRow> {};

} // namespace

TEST_P(PositionToPixelTable, MapsToTheRoundedShareOfTheTrack)
{
    const PixelRow& row = GetParam();
    Track track(row.start, row.length);
    track.SetMax(row.max);
    track.SetMin(row.min);
    EXPECT_EQ(track.PositionToPixel(row.position), row.pixel);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, PositionToPixelTable,
    testing::Values(
        // 50 / 245 x 334 = 68.16
        PixelRow{"SixtyOnTheRestartScale", 0, 334, 10, 255, 60, 68},
        PixelRow{"MinimumIsTheTrackStart", 7, 334, 10, 255, 10, 7},
        PixelRow{"MaximumIsTheTrackEnd", 7, 334, 10, 255, 255, 341},
        // 1 / 4 x 2 = 0.5 rounds up, not to even
        PixelRow{"HalfPixelRoundsUp", 0, 2, 0, 4, 1, 1},
        // 3 / 8 x 2 = 0.75
        PixelRow{"ThreeQuartersRoundsUp", 0, 2, 0, 8, 3, 1},
        // 1 / 8 x 2 = 0.25
        PixelRow{"QuarterRoundsDown", 0, 2, 0, 8, 1, 0},
        PixelRow{"BelowTheRangeStaysOnTheTrack", 3, 100, 10, 20, 0, 3},
        PixelRow{"AboveTheRangeStaysOnTheTrack", 3, 100, 10, 20, 99, 103},
        PixelRow{"EqualEndsMapToTheStart", 5, 100, 30, 30, 30, 5},
        PixelRow{"InvertedRangeMapsToTheStart", 5, 100, 50, 40, 45, 5},
        PixelRow{"WholeIntegerRangeDoesNotOverflow", 0, 100, INT_MIN, INT_MAX, 0, 50},
        PixelRow{"NegativeRange", 0, 100, -200, -100, -150, 50},
        PixelRow{"MissingTrackMapsToTheStart", 9, -20, 0, 10, 10, 9}),
    [](const testing::TestParamInfo<PixelRow>& info) { return info.param.name; });

namespace {

struct PositionRow {
    std::string name;
    int start;
    int length;
    std::int32_t min;
    std::int32_t max;
    int pixel;
    double precise;
    std::int32_t rounded;
};

class PixelToPositionTable : public testing::TestWithParam<PositionRow> {};

} // namespace

TEST_P(PixelToPositionTable, GivesThePrecisePositionWithinTheRange)
{
    const PositionRow& row = GetParam();
    Track track(row.start, row.length);
    track.SetMax(row.max);
    track.SetMin(row.min);
    EXPECT_DOUBLE_EQ(track.PixelToPosition(row.pixel), row.precise);
    EXPECT_EQ(track.RoundedPosition(row.pixel), row.rounded);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, PixelToPositionTable,
    testing::Values(PositionRow{"TrackStartIsMinimum", 10, 100, 0, 50, 10, 0.0, 0},
                    PositionRow{"TrackEndIsMaximum", 10, 100, 0, 50, 110, 50.0, 50},
                    PositionRow{"Midway", 10, 100, 0, 50, 60, 25.0, 25},
                    PositionRow{"HalfRoundsUp", 0, 100, 0, 1, 50, 0.5, 1},
                    PositionRow{"JustBelowHalfRoundsDown", 0, 1000, 0, 1, 499, 0.499, 0},
                    PositionRow{"LeftOfTheTrackIsMinimum", 10, 100, 5, 50, -40, 5.0, 5},
                    PositionRow{"RightOfTheTrackIsMaximum", 10, 100, 5, 50, 500, 50.0, 50},
                    PositionRow{"InvertedRangeIsMinimum", 0, 100, 50, 40, 30, 50.0, 50},
                    PositionRow{"NoTrackIsMinimumNotNaN", 0, 0, 5, 50, 30, 5.0, 5}),
    [](const testing::TestParamInfo<PositionRow>& info) { return info.param.name; });

TEST(SliderMapping, EveryPositionSurvivesTheRoundTripWhenTheTrackIsLonger)
{
    Track track(0, 334);
    Range(track, 10, 255);
    for (std::int32_t position = 10; position <= 255; ++position)
        ASSERT_EQ(track.RoundedPosition(track.PositionToPixel(position)), position) << position;
}

TEST(SliderMapping, EveryPixelOfAPositionSurvivesTheRoundTripWhenTheRangeIsLonger)
{
    Track track(6, 100);
    Range(track, 0, 1000);
    for (int pixel = 6; pixel <= 106; ++pixel)
        ASSERT_EQ(track.PositionToPixel(track.RoundedPosition(pixel)), pixel) << pixel;
}
