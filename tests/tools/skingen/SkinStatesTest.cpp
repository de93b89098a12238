#include "SkinImage.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using skintest::ChangedShare;
using skintest::LoadSkin;
using skintest::LuminanceRange;
using skintest::MeanSaturation;

struct StatePair {
    const char* normal;
    const char* other;
};

void PrintTo(const StatePair& p, std::ostream* os)
{
    *os << p.normal << " / " << p.other;
}

class StatePicture : public testing::TestWithParam<StatePair> {};

TEST_P(StatePicture, DiffersVisiblyFromTheNormalOne)
{
    const QImage normal = LoadSkin(GetParam().normal);
    const QImage other = LoadSkin(GetParam().other);
    ASSERT_FALSE(normal.isNull() || other.isNull());
    ASSERT_EQ(normal.size(), other.size()) << "state pictures of one control share its size";
    EXPECT_GT(ChangedShare(normal, other), 0.04);
}

const StatePair kStates[] = {
    {"close_n.png", "close_o.png"},         {"close_n.png", "close_d.png"},
    {"close_o.png", "close_d.png"},         {"minimized_n.png", "minimized_o.png"},
    {"minimized_n.png", "minimized_d.png"}, {"minimized_o.png", "minimized_d.png"},
    {"apply_n.png", "apply_o.png"},         {"apply_n.png", "apply_d.png"},
    {"apply_o.png", "apply_d.png"},         {"apply_n.png", "apply_un.png"},
    {"mark_n.png", "mark_o.png"},           {"mark_n.png", "mark_d.png"},
    {"mark_d.png", "mark_do.png"},          {"mark_d.png", "mark_un.png"},
    {"switch_OFF_n.png", "switch_OFF_o.png"}, {"switch_ON_n.png", "switch_ON_o.png"},
    {"switch_OFF_n.png", "switch_ON_n.png"},
    {"arrowup_n.png", "arrowup_o.png"},     {"arrowup_n.png", "arrowup_un.png"},
    {"arrowdown_n.png", "arrowdown_o.png"}, {"arrowdown_n.png", "arrowdown_un.png"},
    {"arrowup_n.png", "arrowdown_n.png"},
    {"bar_n.png", "bar_un.png"},            {"barline_n.png", "barline_un.png"},
    {"barline_head_n.png", "barline_head_un.png"},
    {"ball_n.png", "ball_d.png"},           {"ball_n.png", "ball_un.png"},
};

std::string PairName(const testing::TestParamInfo<StatePair>& info)
{
    auto stem = [](std::string name) { return name.substr(0, name.size() - 4); };
    return stem(info.param.normal) + "_vs_" + stem(info.param.other);
}

INSTANTIATE_TEST_SUITE_P(Skin, StatePicture, testing::ValuesIn(kStates), PairName);

TEST(DisabledPicture, LosesContrast)
{
    for (const StatePair p : {StatePair{"apply_n.png", "apply_un.png"}, StatePair{"arrowup_n.png", "arrowup_un.png"},
                              StatePair{"arrowdown_n.png", "arrowdown_un.png"}, StatePair{"bar_n.png", "bar_un.png"}}) {
        SCOPED_TRACE(p.other);
        EXPECT_LT(LuminanceRange(LoadSkin(p.other)), LuminanceRange(LoadSkin(p.normal)) * 0.7);
    }
}

TEST(DisabledPicture, LosesColour)
{
    for (const StatePair p : {StatePair{"mark_d.png", "mark_un.png"}, StatePair{"ball_n.png", "ball_un.png"},
                              StatePair{"barline_n.png", "barline_un.png"}}) {
        SCOPED_TRACE(p.other);
        const double vivid = MeanSaturation(LoadSkin(p.normal));
        EXPECT_GT(vivid, 0.0);
        EXPECT_LT(MeanSaturation(LoadSkin(p.other)), vivid * 0.5);
    }
}

// Column of the switch knob: the mean x of its near-white, colourless pixels.
double KnobColumn(const QImage& image)
{
    double sum = 0;
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c(image.pixel(x, y));
            if (qAlpha(image.pixel(x, y)) > 200 && c.lightness() > 200 && c.hsvSaturation() < 30) {
                sum += x;
                ++count;
            }
        }
    return count ? sum / count : -1;
}

TEST(SwitchPicture, OnIsLitWithTheKnobRight)
{
    for (const char* state : {"_n.png", "_o.png"}) {
        SCOPED_TRACE(state);
        const QImage on = LoadSkin(QString("switch_ON") + state);
        const QImage off = LoadSkin(QString("switch_OFF") + state);
        ASSERT_FALSE(on.isNull() || off.isNull());
        EXPECT_GT(KnobColumn(on), on.width() / 2.0 + 8);
        EXPECT_GE(KnobColumn(off), 0);
        EXPECT_LT(KnobColumn(off), off.width() / 2.0 - 8);
        EXPECT_GT(MeanSaturation(on), MeanSaturation(off) + 0.3);
    }
}

TEST(HoverPicture, ApplyHoverLetsAWhiteCaptionShow)
{
    // The hovered caption is white, the resting one #3E3E3E: the hovered face is dark enough
    // for white, the resting one light enough for dark gray.
    const QImage hover = LoadSkin("apply_o.png");
    const QImage normal = LoadSkin("apply_n.png");
    ASSERT_FALSE(hover.isNull() || normal.isNull());
    const QRect face(20, 6, 60, 14);
    EXPECT_LT(skintest::MeanLuminance(hover, face), 170.0);
    EXPECT_GT(skintest::MeanLuminance(normal, face), 200.0);
}

} // namespace
