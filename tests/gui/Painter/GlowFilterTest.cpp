#include "gui/Painter/TextPainter.h"

#include <gtest/gtest.h>

#include <vector>

using namespace painter;

namespace {

using Table = std::vector<std::vector<int>>;

Table ToTable(const IntMatrix& m)
{
    Table t(static_cast<std::size_t>(m.Rows()));
    for (int i = 0; i < m.Rows(); ++i)
        t[static_cast<std::size_t>(i)].assign(m[i], m[i] + m.Columns());
    return t;
}

IntMatrix FromTable(const Table& t)
{
    IntMatrix m(int(t.size()), t.empty() ? 0 : int(t[0].size()));
    for (int i = 0; i < m.Rows(); ++i)
        for (int j = 0; j < m.Columns(); ++j)
            m[i][j] = t[std::size_t(i)][std::size_t(j)];
    return m;
}

const float kOpacity192 = static_cast<float>(192 * (1.0L / 255));

} // namespace

TEST(GlowKernel, FullSpreadAtRadiusThreeIsSolidToTheRadius)
{
    // D = 3, E = 1: the disc of radius 3 at 256, the fall-off only at the corners.
    const Table expected = {
        {118, 213, 252, 256, 252, 213, 118},
        {213, 256, 256, 256, 256, 256, 213},
        {252, 256, 256, 256, 256, 256, 252},
        {256, 256, 256, 256, 256, 256, 256},
        {252, 256, 256, 256, 256, 256, 252},
        {213, 256, 256, 256, 256, 256, 213},
        {118, 213, 252, 256, 252, 213, 118},
    };
    EXPECT_EQ(ToTable(BuildGlowKernel(3, 1.0f, 1.0f)), expected);
}

TEST(GlowKernel, NoSpreadAtOpacity192FallsOffOverTwoE)
{
    // D = 0, E = 4: weights 256 * exp(-d^2 / 8) * 0.75294.
    const Table expected = {
        {20, 37, 55, 62, 55, 37, 20},
        {37, 70, 103, 116, 103, 70, 37},
        {55, 103, 150, 170, 150, 103, 55},
        {62, 116, 170, 192, 170, 116, 62},
        {55, 103, 150, 170, 150, 103, 55},
        {37, 70, 103, 116, 103, 70, 37},
        {20, 37, 55, 62, 55, 37, 20},
    };
    EXPECT_EQ(ToTable(BuildGlowKernel(3, 0.0f, kOpacity192)), expected);
}

TEST(GlowKernel, RadiusZeroIsOneScaledIntensity)
{
    EXPECT_EQ(ToTable(BuildGlowKernel(0, 0.0f, kOpacity192)), (Table{{192}}));
    EXPECT_EQ(ToTable(BuildGlowKernel(0, 1.0f, 1.0f)), (Table{{256}}));
    EXPECT_EQ(ToTable(BuildGlowKernel(0, 0.0f, 0.0f)), (Table{{0}}));
}

TEST(GlowKernel, HalfSpreadKeepsTheInnerDiscSolid)
{
    // R = 2, s = 0.5: D = 1, E = 2; d = sqrt 2 gets 256 exp(-(0.414)^2 / 4) = 245.
    const Table k = ToTable(BuildGlowKernel(2, 0.5f, 1.0f));
    EXPECT_EQ(k[2][2], 256);
    EXPECT_EQ(k[1][2], 256);
    EXPECT_EQ(k[1][1], 245);
    EXPECT_EQ(k[0][2], 199); // d = 2: 256 exp(-1/4)
    EXPECT_EQ(k[0][1], 174); // d = 2.24: 256 exp(-(1.24)^2 / 4)
    EXPECT_EQ(k[0][0], 110); // d = 2.83: 256 exp(-(1.83)^2 / 4)
}

TEST(NeighborWeightedFilter, ApplyIsAWeightedMaximumNotASum)
{
    const NeighborWeightedFilter filter(FromTable({{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}), 4, 1, 1);
    const IntMatrix source = FromTable({{10, 0, 0}, {0, 0, 0}, {0, 0, 50}});
    // Centre: max(10 x 1, 50 x 1) / 4 = 12 (a sum would give 15).
    EXPECT_EQ(filter.Apply(source, 0, 0, 3, 3, 1, 1), 12);
    EXPECT_EQ(filter.Apply(source, 0, 0, 3, 3, 0, 0), 10);  // 10 x 4 / 4
    EXPECT_EQ(filter.Apply(source, 0, 0, 3, 3, 2, 2), 50);  // 50 x 4 / 4
    EXPECT_EQ(filter.Apply(source, 0, 0, 3, 3, 1, 2), 25);  // 50 x 2 / 4
    EXPECT_EQ(filter.Apply(source, 0, 0, 3, 3, 0, 2), 0);   // 50 is two rows away
    EXPECT_EQ(filter.Apply(source, 0, 0, 3, 3, 1, 0), 5);   // 10 x 2 / 4; 50 is out of reach
    EXPECT_EQ(filter.Apply(source, 0, 0, 3, 3, 0, 1), 5);   // 10 x 2 / 4
}

TEST(NeighborWeightedFilter, NegativeValuesNeverBeatTheStartingZero)
{
    const NeighborWeightedFilter filter(FromTable({{1}}), 1, 0, 0);
    const IntMatrix source = FromTable({{-7}});
    EXPECT_EQ(filter.Apply(source, 0, 0, 1, 1, 0, 0), 0);
}

TEST(NeighborWeightedFilter, ReadsNothingOutsideTheArea)
{
    // A 3 x 3 area at (2, 2) of a 7 x 7 matrix whose other cells are sentinels; a radius 2
    // kernel would reach them from every cell of the area.
    constexpr int kSentinel = 1000000;
    IntMatrix source(7, 7);
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j)
            source[i][j] = kSentinel;
    const Table area = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            source[2 + i][2 + j] = area[std::size_t(i)][std::size_t(j)];
    Table ones(5, std::vector<int>(5, 1));
    ones[0][0] = 2; // the top-left weight doubles what lies two up and two left
    const NeighborWeightedFilter filter(FromTable(ones), 1, 2, 2);

    IntMatrix out(3, 3);
    ApplyFilter(filter, source, 2, 2, 3, 3, out, 0, 0);
    // Every cell sees the whole area (radius 2 covers 3 x 3); only (2, 2) has the doubled
    // corner on an area cell: 1 x 2 = 2 < 9, so 9 everywhere.
    EXPECT_EQ(ToTable(out), (Table{{9, 9, 9}, {9, 9, 9}, {9, 9, 9}}));

    // At the corners with a kernel that only looks one way, the answer is the hand-computed
    // maximum of the cells inside.
    Table down(5, std::vector<int>(5, 0));
    down[4][4] = 3; // looks two down and two right
    down[2][2] = 1;
    const NeighborWeightedFilter diagonal(FromTable(down), 1, 2, 2);
    EXPECT_EQ(diagonal.Apply(source, 2, 2, 3, 3, 0, 0), 27); // 9 x 3
    EXPECT_EQ(diagonal.Apply(source, 2, 2, 3, 3, 2, 2), 9);  // 9 x 1; (4, 4) is outside
    EXPECT_EQ(diagonal.Apply(source, 2, 2, 3, 3, 1, 1), 5);  // (3, 3) is outside
    EXPECT_EQ(diagonal.Apply(source, 2, 2, 3, 3, 0, 2), 3);  // 3 x 1
}

TEST(ApplyFilter, WritesOnlyTheTargetArea)
{
    const NeighborWeightedFilter identity(FromTable({{2}}), 2, 0, 0);
    const IntMatrix source = FromTable({{0, 0, 0}, {0, 5, 6}, {0, 7, 8}});
    IntMatrix target(4, 4);
    ApplyFilter(identity, source, 1, 1, 2, 2, target, 2, 1);
    EXPECT_EQ(ToTable(target), (Table{{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 5, 6, 0}, {0, 7, 8, 0}}));
}

TEST(ApplyFilterDeath, AnAreaOutsideTheMatrixIsAProgrammingError)
{
    const NeighborWeightedFilter identity(FromTable({{1}}), 1, 0, 0);
    const IntMatrix source(2, 2);
    IntMatrix target(2, 2);
    EXPECT_DEATH(ApplyFilter(identity, source, 1, 0, 2, 2, target, 0, 0), "Assertion failed");
}

TEST(OuterGlowFilterFactory, CachesTheFilterUntilSpreadOrIntensityChange)
{
    OuterGlowFilterFactory factory;
    Filter* first = factory.MakeFilter(2, 2);
    EXPECT_EQ(factory.MakeFilter(2, 2), first);
    factory.ReleaseFilter(first); // the cached filter survives its release
    EXPECT_EQ(factory.CachedFilter(), first);
    EXPECT_EQ(static_cast<NeighborWeightedFilter*>(first)->Kernel()[2][2], 256);

    factory.SetIntensity(1.0f); // unchanged: kept
    factory.SetSpread(0.0f);
    EXPECT_EQ(factory.CachedFilter(), first);

    factory.SetIntensity(0.5f);
    EXPECT_EQ(factory.CachedFilter(), nullptr);
    auto* half = static_cast<NeighborWeightedFilter*>(factory.MakeFilter(2, 2));
    EXPECT_EQ(half->Kernel()[2][2], 128);
    EXPECT_EQ(half->Divisor(), 256);

    factory.SetSpread(1.0f);
    EXPECT_EQ(factory.CachedFilter(), nullptr);
    auto* solid = static_cast<NeighborWeightedFilter*>(factory.MakeFilter(2, 2));
    EXPECT_EQ(solid->Kernel()[0][2], 128); // d = 2 <= D = 2
}

TEST(OuterGlowFilterFactory, AnotherRadiusRebuildsTheFilter)
{
    OuterGlowFilterFactory factory;
    (void)factory.MakeFilter(1, 1);
    auto* wide = static_cast<NeighborWeightedFilter*>(factory.MakeFilter(3, 3));
    EXPECT_EQ(wide->RowRadius(), 3);
    EXPECT_EQ(wide->Kernel().Rows(), 7);
    EXPECT_EQ(wide->Kernel().Columns(), 7);
}

TEST(OuterGlowFilterFactory, ReleasesFiltersItDoesNotCache)
{
    OuterGlowFilterFactory factory;
    // Under the leak checker an undeleted filter fails the run.
    factory.ReleaseFilter(new NeighborWeightedFilter(IntMatrix(1, 1), 1, 0, 0));
    factory.ReleaseFilter(nullptr);
    SUCCEED();
}

TEST(OuterGlowFilterFactoryDeath, ANonSquareRequestIsAProgrammingError)
{
    OuterGlowFilterFactory factory;
    EXPECT_DEATH(factory.MakeFilter(1, 2), "Assertion failed: r == c, file src/gui/Painter/");
}
