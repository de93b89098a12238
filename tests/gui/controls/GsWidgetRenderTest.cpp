#include <gtest/gtest.h>

#include <string>

#include "GsWidgetTestSupport.h"
#include "gui/controls/GsLabel.h"

using namespace widgettest;

namespace {

constexpr std::uint32_t kBackground = 0xFF4080C0;
constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kBlue = 0xFF0000FF;

// Pixels of a bitmap that differ from a colour, as "x,y" strings.
std::vector<std::string> Changed(const graphics::Bitmap& b, std::uint32_t from)
{
    std::vector<std::string> out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (Pixel(b, x, y) != from)
                out.push_back(std::to_string(x) + "," + std::to_string(y));
    return out;
}

} // namespace

// ---- Render ----

TEST(WidgetRender, PaintsAtItsPositionClipsChildrenAndRestoresTheSurface)
{
    graphics::Bitmap target(10, 10);
    target.Canvas().SetViewportOrigin({1, 1});
    LogWidget root("root", nullptr, kRed);
    root.SetBounds(2, 2, 4, 3);
    auto* child = new LogWidget("child", nullptr, kGreen);
    child->SetBounds(1, 1, 10, 10); // larger than its parent
    child->SetParent(&root);
    int paints = 0;
    root.OnPaint = [&](gs::GsWidget* sender, graphics::Bitmap* bitmap, const graphics::Rect& rect) {
        EXPECT_EQ(sender, &root);
        EXPECT_EQ(bitmap, &target);
        EXPECT_EQ(rect, root.BoundsRect());
        ++paints;
    };

    root.Render(&target, root.BoundsRect());

    EXPECT_EQ(paints, 1);
    ASSERT_EQ(root.paintOrigins.size(), 1u);
    EXPECT_EQ(root.paintOrigins[0], (graphics::Point{3, 3}));
    ASSERT_EQ(child->paintOrigins.size(), 1u);
    EXPECT_EQ(child->paintOrigins[0], (graphics::Point{4, 4}));
    EXPECT_EQ(Pixel(target, 3, 3), kRed);
    EXPECT_EQ(Pixel(target, 4, 4), kGreen);
    EXPECT_EQ(Pixel(target, 6, 5), kGreen) << "last pixel of the parent";
    EXPECT_EQ(Pixel(target, 7, 5), 0u) << "the child is clipped at its parent's right edge";
    EXPECT_EQ(Pixel(target, 4, 6), 0u) << "and at its bottom edge";
    EXPECT_EQ(Pixel(target, 2, 3), 0u);
    EXPECT_EQ(Changed(target, 0).size(), 12u) << "exactly the parent's 4 x 3 pixels";
    EXPECT_EQ(target.Canvas().ViewportOrigin(), (graphics::Point{1, 1}));
    EXPECT_FALSE(target.Canvas().ClipRegion().has_value());
}

TEST(WidgetRender, AnExistingClipRegionIsIntersectedAndKept)
{
    graphics::Bitmap target(6, 2);
    const graphics::Region clip(graphics::Rect{0, 0, 3, 2});
    target.Canvas().SetClipRegion(clip);
    LogWidget root("root", nullptr, kRed);
    root.SetBounds(1, 0, 5, 2);
    root.Render(&target, root.BoundsRect());
    EXPECT_EQ(Changed(target, 0), (std::vector<std::string>{"1,0", "2,0", "1,1", "2,1"}));
    ASSERT_TRUE(target.Canvas().ClipRegion().has_value());
    EXPECT_EQ(*target.Canvas().ClipRegion(), clip);
}

TEST(WidgetRender, InvisibleWidgetsDrawNothing)
{
    graphics::Bitmap target(4, 4);
    LogWidget root("root", nullptr, 0);
    root.SetBounds(0, 0, 4, 4);
    auto* hidden = new LogWidget("hidden", nullptr, kRed);
    hidden->SetBounds(0, 0, 2, 2);
    hidden->SetVisible(false);
    hidden->SetParent(&root);
    auto* shown = new LogWidget("shown", nullptr, kGreen);
    shown->SetBounds(2, 2, 2, 2);
    shown->SetParent(&root);
    int hiddenPaints = 0;
    hidden->OnPaint = [&](gs::GsWidget*, graphics::Bitmap*, const graphics::Rect&) { ++hiddenPaints; };
    root.Render(&target, root.BoundsRect());
    EXPECT_EQ(hiddenPaints, 0);
    EXPECT_TRUE(hidden->paintOrigins.empty());
    EXPECT_EQ(Pixel(target, 0, 0), 0u);
    EXPECT_EQ(Pixel(target, 3, 3), kGreen);

    root.SetVisible(false);
    graphics::Bitmap other(4, 4);
    root.Render(&other, root.BoundsRect());
    EXPECT_TRUE(Changed(other, 0).empty());
}

TEST(WidgetRender, ScrolledContentShowsTheContentFromTheScrollOrigin)
{
    graphics::Bitmap target(6, 2);
    Fill(target, kBlue);
    LogWidget root("root", nullptr, 0);
    root.SetOptions(gs::ScrolledContent);
    root.SetBounds(1, 0, 4, 2);
    root.SetContentSize(12, 2);
    root.SetScrollOrigin({6, 0});
    auto* item = new LogWidget("item", nullptr, kRed);
    item->SetBounds(6, 0, 2, 2);
    item->SetParent(&root);
    auto* before = new LogWidget("before", nullptr, kGreen);
    before->SetBounds(0, 0, 6, 2); // scrolled out of view
    before->SetParent(&root);

    root.Render(&target, root.BoundsRect());

    EXPECT_EQ(Pixel(target, 0, 0), kBlue) << "outside the widget";
    EXPECT_EQ(Pixel(target, 1, 0), kRed);
    EXPECT_EQ(Pixel(target, 2, 1), kRed);
    EXPECT_EQ(Pixel(target, 3, 0), kBlue) << "empty content is transparent";
    EXPECT_EQ(Pixel(target, 4, 1), kBlue);
    EXPECT_EQ(Pixel(target, 5, 0), kBlue);
    ASSERT_EQ(item->paintOrigins.size(), 1u);
    EXPECT_EQ(item->paintOrigins[0], (graphics::Point{6, 0})) << "children draw in content coordinates";
    EXPECT_EQ(target.Canvas().ViewportOrigin(), (graphics::Point{0, 0}));
    EXPECT_FALSE(target.Canvas().ClipRegion().has_value());
}

// ---- ComposeImage ----

namespace {

struct ComposeRow {
    const char* name;
    GsAlphaFormat format;
    std::uint8_t alphaValue;
    graphics::TPixelFormat target;
    std::uint32_t image;
    std::uint32_t expected;
};

class ComposeImageTest : public testing::TestWithParam<ComposeRow> {};

} // namespace

TEST_P(ComposeImageTest, ExactPixelOnABackground)
{
    const ComposeRow& row = GetParam();
    graphics::Bitmap target(3, 1, row.target);
    Fill(target, kBackground);
    graphics::Bitmap image(1, 1);
    SetPixel(image, 0, 0, row.image);
    gs::GsWidget w;
    w.SetAlphaFormat(row.format);
    w.SetAlphaValue(row.alphaValue);
    w.ComposeImage(&target, {1, 0}, &image);
    EXPECT_EQ(Pixel(target, 1, 0), row.expected);
    EXPECT_EQ(Pixel(target, 0, 0), kBackground);
    EXPECT_EQ(Pixel(target, 2, 0), kBackground);
}

// Background B=192 G=128 R=64. Premultiplied red 200 at alpha 128 is R=100: over the
// background it gives R = 100 + 64*127/255 = 132, G = 64, B = 96; the straight blend onto a
// 24-bit target truncates instead (G 63, B 95).
INSTANTIATE_TEST_SUITE_P(
    Rows, ComposeImageTest,
    testing::Values(
        ComposeRow{"OpaqueAtFullOpacityReplaces", gafPremultiplied, 255, graphics::pf32bit, 0xFFC80000, 0xFFC80000},
        ComposeRow{"HalfAlphaAtFullOpacity", gafPremultiplied, 255, graphics::pf32bit, 0x80640000, 0xFF844060},
        ComposeRow{"OpaqueAtOpacity128", gafPremultiplied, 128, graphics::pf32bit, 0xFFC80000, 0xFF844060},
        ComposeRow{"OpacityZeroLeavesTheBackground", gafPremultiplied, 0, graphics::pf32bit, 0xFFC80000, kBackground},
        ComposeRow{"IgnoredCopiesThePremultipliedBytes", gafIgnored, 255, graphics::pf32bit, 0x80C80000, 0x80640000},
        ComposeRow{"IgnoredCopiesWhateverTheOpacity", gafIgnored, 0, graphics::pf32bit, 0x80C80000, 0x80640000},
        ComposeRow{"DefinedIsPremultipliedFirst", gafDefined, 255, graphics::pf32bit, 0x80C80000, 0xFF844060},
        ComposeRow{"PremultipliedOnto24Bit", gafPremultiplied, 255, graphics::pf24bit, 0x80640000, 0xFF844060},
        ComposeRow{"StraightOnto24Bit", gafDefined, 255, graphics::pf24bit, 0x80C80000, 0xFF843F5F},
        ComposeRow{"StraightOnto24BitAtOpacityZero", gafDefined, 0, graphics::pf24bit, 0x80C80000, kBackground}),
    [](const testing::TestParamInfo<ComposeRow>& info) { return std::string(info.param.name); });

TEST(WidgetCompose, EveryOpacityOfAnOpaqueImageOverBlack)
{
    // Premultiplied "over" of opaque 255 with opacity v over black is exactly v.
    for (int v = 0; v < 256; ++v) {
        graphics::Bitmap target(1, 1);
        Fill(target, 0xFF000000);
        graphics::Bitmap image(1, 1);
        SetPixel(image, 0, 0, 0xFFFFFFFF);
        gs::GsWidget w;
        w.SetAlphaValue(std::uint8_t(v));
        w.ComposeImage(&target, {0, 0}, &image);
        const std::uint32_t c = std::uint32_t(v);
        ASSERT_EQ(Pixel(target, 0, 0), 0xFF000000u | (c << 16) | (c << 8) | c) << "opacity " << v;
    }
}

TEST(WidgetCompose, TheStraightBlendOnto24BitFollowsTheSurfaceOrigin)
{
    // Render moves the surface's origin to the widget; the image must land there.
    graphics::Bitmap target(4, 1, graphics::pf24bit);
    Fill(target, kBackground);
    target.Canvas().SetViewportOrigin({2, 0});
    graphics::Bitmap image(1, 1);
    SetPixel(image, 0, 0, 0xFFC80000);
    gs::GsWidget w;
    w.SetAlphaFormat(gafDefined);
    w.ComposeImage(&target, {0, 0}, &image);
    EXPECT_EQ(Pixel(target, 0, 0), kBackground);
    EXPECT_EQ(Pixel(target, 2, 0), 0xFFC80000u);
}

TEST(WidgetCompose, AnImageOverTheEdgeIsClipped)
{
    graphics::Bitmap target(2, 2);
    Fill(target, kBackground);
    graphics::Bitmap image(3, 3);
    Fill(image, kRed);
    gs::GsWidget w;
    w.ComposeImage(&target, {1, 1}, &image);
    EXPECT_EQ(Pixel(target, 1, 1), kRed);
    EXPECT_EQ(Pixel(target, 0, 1), kBackground);
    EXPECT_EQ(Pixel(target, 1, 0), kBackground);
}

// ---- caption layout ----

namespace {

class TextWidget : public gs::WdgCustomControl {
public:
    gs::GsOuterGlowTextEffectPainter* GetTextEffect(ButtonState state) override
    {
        asked = state;
        return &effect.Adapter();
    }
    GsTextRadiationEffect effect;
    ButtonState asked = ButtonState::Raised;
};

struct FormatRow {
    const char* name;
    TAlignment alignment;
    TTextLayout layout;
    bool wordWrap;
    unsigned expected;
};

class TextFormatTest : public testing::TestWithParam<FormatRow> {};

} // namespace

TEST_P(TextFormatTest, FlagsOfTheLayout)
{
    const FormatRow& row = GetParam();
    TextWidget w;
    w.SetAlignment(row.alignment);
    w.SetLayout(row.layout);
    w.SetWordWrap(row.wordWrap);
    EXPECT_EQ(w.TextFormat(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TextFormatTest,
    testing::Values(FormatRow{"DefaultsCentreOneLine", taCenter, tlCenter, false, 0x25},
                    FormatRow{"SingleLineAtTopIsStillCentredVertically", taLeftJustify, tlTop, false, 0x24},
                    FormatRow{"RightCentred", taRightJustify, tlCenter, false, 0x26},
                    FormatRow{"WrappedAtBottom", taCenter, tlBottom, true, 0x19},
                    FormatRow{"WrappedAtTop", taCenter, tlTop, true, 0x11},
                    FormatRow{"WrappedLeftCentred", taLeftJustify, tlCenter, true, 0x14}),
    [](const testing::TestParamInfo<FormatRow>& info) { return std::string(info.param.name); });

TEST(WidgetCaption, DefaultsAndMarginsAreCopied)
{
    TextWidget w;
    EXPECT_EQ(w.Alignment(), taCenter);
    EXPECT_EQ(w.Layout(), tlCenter);
    EXPECT_FALSE(w.WordWrap());
    GsTextMargins margins;
    margins.SetLeft(1);
    margins.SetTop(2);
    margins.SetRight(3);
    margins.SetBottom(4);
    w.SetTextMargins(margins);
    margins.SetLeft(9);
    EXPECT_EQ(w.TextMargins().Left(), 1) << "a copy, not a reference";
    EXPECT_EQ(w.TextMargins().Top(), 2);
    EXPECT_EQ(w.TextMargins().Right(), 3);
    EXPECT_EQ(w.TextMargins().Bottom(), 4);
}

TEST(WidgetCaption, TextStaysInsideTheMarginsWithTheStateStyle)
{
    testsupport::QtTestApp(); // text needs the fonts of a Qt application
    graphics::Bitmap bitmap(80, 24);
    Fill(bitmap, 0xFFFFFFFF);
    TextWidget w;
    w.SetBounds(0, 0, 80, 24);
    w.SetText("MMMM");
    GsTextMargins margins;
    margins.SetLeft(40);
    w.SetTextMargins(margins);
    w.DrawText(&bitmap, ButtonState::Sunken);
    EXPECT_EQ(w.asked, ButtonState::Sunken);
    const std::vector<std::string> changed = Changed(bitmap, 0xFFFFFFFF);
    ASSERT_FALSE(changed.empty()) << "the caption was drawn";
    for (const std::string& p : changed)
        EXPECT_GE(std::stoi(p), 40) << "pixel " << p << " lies in the left margin";
}

TEST(WidgetCaption, WrappedTextMovesDownForBottomLayout)
{
    testsupport::QtTestApp(); // text needs the fonts of a Qt application
    auto topRow = [](TTextLayout layout) {
        graphics::Bitmap bitmap(80, 60);
        Fill(bitmap, 0xFFFFFFFF);
        TextWidget w;
        w.SetBounds(0, 0, 80, 60);
        w.SetText("MM");
        w.SetWordWrap(true);
        w.SetLayout(layout);
        w.DrawText(&bitmap, ButtonState::Raised);
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x)
                if (Pixel(bitmap, x, y) != 0xFFFFFFFF)
                    return y;
        return -1;
    };
    const int top = topRow(tlTop);
    const int centre = topRow(tlCenter);
    const int bottom = topRow(tlBottom);
    ASSERT_GE(top, 0);
    EXPECT_GT(centre, top + 10);
    EXPECT_GT(bottom, centre + 10);
}
