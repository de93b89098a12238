#pragma once

// The unit the rendering benchmarks give their figures in: one window-sized premultiplied blend
// (every composed frame pays at least one).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <vector>

#include "gui/graphics/Bitmap.h"
#include "gui/graphics/image.h"

namespace benchunit {

// The main window's size.
constexpr int kWidth = 424;
constexpr int kHeight = 544;

// This thread's CPU time: steadier than the wall clock on a shared machine.
inline double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Every pixel half-transparent grey.
inline void FillLayer(graphics::Bitmap& layer)
{
    for (int y = 0; y < layer.Height(); ++y) {
        std::uint8_t* row = layer.ScanLine(y);
        for (int x = 0; x < layer.Width(); ++x) {
            row[4 * x + 0] = 60;
            row[4 * x + 1] = 60;
            row[4 * x + 2] = 60;
            row[4 * x + 3] = 128;
        }
    }
}

// Seconds of one full-frame blend: the median of `runs` timed runs of `passes` blends each.
inline double MeasureBlendPassSeconds(int runs, int passes)
{
    graphics::Bitmap frame(kWidth, kHeight);
    graphics::Bitmap layer(kWidth, kHeight);
    FillLayer(layer);
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        const double start = ThreadSeconds();
        for (int i = 0; i < passes; ++i)
            graphics::BlendLayer(&frame, {0, 0, kWidth, kHeight}, &layer, {0, 0}, 255);
        seconds.push_back((ThreadSeconds() - start) / passes);
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

// The loop of a full-frame blend benchmark: the seconds the whole loop took.
inline double TimeBlendLoop(benchmark::State& state)
{
    graphics::Bitmap frame(kWidth, kHeight);
    graphics::Bitmap layer(kWidth, kHeight);
    FillLayer(layer);
    const double start = ThreadSeconds();
    for (auto _ : state) {
        graphics::BlendLayer(&frame, {0, 0, kWidth, kHeight}, &layer, {0, 0}, 255);
        benchmark::DoNotOptimize(frame.ScanLine(0));
    }
    return ThreadSeconds() - start;
}

} // namespace benchunit
