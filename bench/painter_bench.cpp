// The glow of the text painters: a label-sized caption drawn with its glow, and the glow alone
// on a synthetic mask for radii 1..6, whose cost should grow with the (2R + 1)^2 kernel cells.
#include "gui/Painter/TextPainter.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <cstdlib>

using namespace graphics;

namespace {

constexpr int kLabelWidth = 200;
constexpr int kLabelHeight = 24;

// White "glyph" strokes on black, about a third of the pixels lit, like a caption's mask.
void MakeMask(Bitmap& b)
{
    b.SetSize(kLabelWidth, kLabelHeight);
    std::srand(7);
    for (int y = 0; y < kLabelHeight; ++y) {
        std::uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < kLabelWidth; ++x, p += 4) {
            const bool lit = y >= 5 && y < 19 && (x % 7 < 2 || std::rand() % 5 == 0);
            p[0] = p[1] = p[2] = lit ? 255 : 0;
            p[3] = 255;
        }
    }
}

void BM_LabelWithGlow(benchmark::State& state)
{
    TOuterGlowTextPainter painter;
    painter.SetRadius(3);
    painter.SetOpacity(192);
    painter.SetOffset({1, 1});
    painter.SetGlowColor(clBlack);
    Bitmap target(kLabelWidth, kLabelHeight);
    TFont font;
    font.Name = "Candara";
    font.Height = -14;
    font.Color = clWhite;
    target.Canvas().SetFont(font);
    const std::u16string caption = u"System restart time (seconds)";
    for (auto _ : state)
        painter.Draw(&target, caption, {0, 0, kLabelWidth, kLabelHeight}, DT_SINGLELINE,
                     TDrawMode::Blend, TLayerAlpha::Premultiplied);
    state.SetItemsProcessed(state.iterations() * kLabelWidth * kLabelHeight);
}
BENCHMARK(BM_LabelWithGlow)->Unit(benchmark::kMicrosecond);

void BM_GlowLayerByRadius(benchmark::State& state)
{
    const int radius = int(state.range(0));
    painter::TRadiateTextPainter painter;
    painter.SetRadius(radius);
    painter.SetOpacity(192);
    Bitmap mask, work(kLabelWidth, kLabelHeight);
    MakeMask(mask);
    // The mask is copied back each time (a 19 KB copy, small beside the glow).
    for (auto _ : state) {
        work.Assign(mask);
        painter.BuildGlowLayer(&work, {0, 0, kLabelWidth, kLabelHeight}, true, clBlack);
    }
    const double pixels = double(state.iterations()) * kLabelWidth * kLabelHeight;
    const double cells = double(2 * radius + 1) * double(2 * radius + 1);
    state.counters["per_pixel"] =
        benchmark::Counter(pixels, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["per_pixel_cell"] = benchmark::Counter(
        pixels * cells, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_GlowLayerByRadius)->DenseRange(1, 6)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    // Text drawing needs a Qt application; the offscreen platform serves without a display.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
