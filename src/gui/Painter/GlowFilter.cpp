#include "gui/Painter/TextPainter.h"

#include "platform/Assert.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace painter {

namespace {

// Weights are on the scale 256; a weight that would not fit (an intensity far above 1 set on
// the factory directly) is held at the largest value instead of overflowing.
std::int32_t TruncateWeight(long double value)
{
    constexpr long double kMax = std::numeric_limits<std::int32_t>::max() / 256;
    if (!(value > -kMax)) // also catches NaN
        return value < 0 ? static_cast<std::int32_t>(-kMax) : 0;
    if (value > kMax)
        return static_cast<std::int32_t>(kMax);
    return static_cast<std::int32_t>(value); // toward zero
}

} // namespace

IntMatrix::IntMatrix(int rows, int columns)
    : m_Rows(std::max(rows, 0))
    , m_Columns(std::max(columns, 0))
    , m_Cells(static_cast<std::size_t>(m_Rows) * static_cast<std::size_t>(m_Columns))
    , m_RowPointers(static_cast<std::size_t>(m_Rows))
{
    for (int i = 0; i < m_Rows; ++i)
        m_RowPointers[static_cast<std::size_t>(i)] =
            m_Cells.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(m_Columns);
}

NeighborWeightedFilter::NeighborWeightedFilter(IntMatrix kernel, std::int32_t divisor,
                                               int rowRadius, int columnRadius)
    : m_Kernel(std::move(kernel))
    , m_Divisor(divisor)
    , m_RowRadius(rowRadius)
    , m_ColumnRadius(columnRadius)
{
    TOLV_ASSERT(divisor != 0);
    TOLV_ASSERT(rowRadius >= 0 && columnRadius >= 0);
    TOLV_ASSERT(m_Kernel.Rows() == 2 * rowRadius + 1);
    TOLV_ASSERT(m_Kernel.Columns() == 2 * columnRadius + 1);
}

std::int32_t NeighborWeightedFilter::Apply(const IntMatrix& source, int rowOffset,
                                           int columnOffset, int rows, int columns, int i,
                                           int j) const
{
    // Only the part of the neighbourhood inside the rows x columns area is visited.
    const int firstRow = std::max(-m_RowRadius, -i);
    const int lastRow = std::min(m_RowRadius, rows - 1 - i);
    const int firstColumn = std::max(-m_ColumnRadius, -j);
    const int lastColumn = std::min(m_ColumnRadius, columns - 1 - j);
    std::int64_t best = 0;
    for (int di = firstRow; di <= lastRow; ++di) {
        const std::int32_t* src = source[i + di + rowOffset] + j + columnOffset;
        const std::int32_t* weight = m_Kernel[di + m_RowRadius] + m_ColumnRadius;
        for (int dj = firstColumn; dj <= lastColumn; ++dj) {
            const std::int64_t value = std::int64_t(src[dj]) * weight[dj];
            if (value > best)
                best = value;
        }
    }
    return static_cast<std::int32_t>(best / m_Divisor);
}

IntMatrix BuildGlowKernel(int radius, float spread, float intensity)
{
    constexpr long double kScale = 256;
    if (radius <= 0) {
        IntMatrix kernel(1, 1);
        kernel[0][0] = TruncateWeight(static_cast<long double>(intensity) * kScale);
        return kernel;
    }
    const int n = 2 * radius + 1;
    const double solid = static_cast<double>(static_cast<long double>(radius) * spread);
    const double falloff = static_cast<double>(radius - static_cast<long double>(solid) + 1);
    const std::int32_t full = TruncateWeight(kScale * intensity);
    IntMatrix kernel(n, n);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const double d = std::sqrt(double((i - radius) * (i - radius) +
                                              (j - radius) * (j - radius)));
            if (d <= solid) {
                kernel[i][j] = full;
                continue;
            }
            // The fall-off divides by 2E, not 2E squared: the glow reaches about R pixels.
            // A spread beyond 1 leaves no fall-off (nothing outside the solid disc).
            double w = falloff > 0 ? std::exp(-(d - solid) * (d - solid) / (2 * falloff)) : 0.0;
            if (w > 1)
                w = 1;
            kernel[i][j] = TruncateWeight(kScale * w * intensity);
        }
    }
    return kernel;
}

void ApplyFilter(const Filter& filter, const IntMatrix& source, int sourceRow, int sourceColumn,
                 int rows, int columns, IntMatrix& target, int targetRow, int targetColumn)
{
    if (rows <= 0 || columns <= 0)
        return;
    TOLV_ASSERT(sourceRow >= 0 && sourceColumn >= 0 && sourceRow + rows <= source.Rows() &&
                sourceColumn + columns <= source.Columns());
    TOLV_ASSERT(targetRow >= 0 && targetColumn >= 0 && targetRow + rows <= target.Rows() &&
                targetColumn + columns <= target.Columns());
    for (int i = 0; i < rows; ++i) {
        std::int32_t* out = target[targetRow + i] + targetColumn;
        for (int j = 0; j < columns; ++j)
            out[j] = filter.Apply(source, sourceRow, sourceColumn, rows, columns, i, j);
    }
}

OuterGlowFilterFactory::OuterGlowFilterFactory() = default;
OuterGlowFilterFactory::~OuterGlowFilterFactory() = default;

Filter* OuterGlowFilterFactory::MakeFilter(int r, int c)
{
    TOLV_ASSERT(r == c);
    // The cached filter is rebuilt for another radius as well, so a painter whose radius
    // changes after it first drew does not keep glowing with the old reach.
    const auto* cached = static_cast<const NeighborWeightedFilter*>(m_Cached.get());
    if (cached && cached->RowRadius() != std::max(r, 0))
        m_Cached.reset();
    if (!m_Cached) {
        const int radius = std::max(r, 0);
        m_Cached = std::make_unique<NeighborWeightedFilter>(
            BuildGlowKernel(radius, m_Spread, m_Intensity), 256, radius, radius);
    }
    return m_Cached.get();
}

void OuterGlowFilterFactory::ReleaseFilter(Filter* filter)
{
    if (filter != m_Cached.get())
        delete filter;
}

void OuterGlowFilterFactory::SetSpread(float spread)
{
    if (spread == m_Spread)
        return;
    m_Spread = spread;
    m_Cached.reset();
}

void OuterGlowFilterFactory::SetIntensity(float intensity)
{
    if (intensity == m_Intensity)
        return;
    m_Intensity = intensity;
    m_Cached.reset();
}

IntMatrix LuminanceMap(const graphics::Bitmap* source, const graphics::Rect& rect)
{
    // The weights are double constants; the sum is taken in extended precision.
    constexpr long double kRed = 0.299, kGreen = 0.587, kBlue = 0.114;
    IntMatrix gray(rect.Height(), rect.Width());
    const int bytes = source->BytesPerPixel();
    for (int i = 0; i < gray.Rows(); ++i) {
        const int y = rect.Top + i;
        if (y < 0 || y >= source->Height())
            continue; // outside the bitmap: black
        const std::uint8_t* row = source->ScanLine(y);
        const int first = std::max(0, -rect.Left);
        const int last = std::min(gray.Columns(), source->Width() - rect.Left);
        for (int j = first; j < last; ++j) {
            const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(rect.Left + j) * bytes;
            const long double value = p[2] * kRed + p[1] * kGreen + p[0] * kBlue + 0.5L;
            gray[i][j] = static_cast<std::int32_t>(value);
        }
    }
    return gray;
}

} // namespace painter
