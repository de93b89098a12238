// The composing path of the main window: premultiplied blends of control images onto the
// window-sized bitmap, the software blend onto 24-bit copies, surface round trips, decoding.
#include "gui/graphics/image.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace graphics;

namespace {

constexpr int kWindowWidth = 424;
constexpr int kWindowHeight = 540;

void Fill(Bitmap& b, unsigned seed)
{
    std::srand(seed);
    for (int y = 0; y < b.Height(); ++y) {
        std::uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < b.Width() * b.BytesPerPixel(); ++x)
            p[x] = std::uint8_t(std::rand());
    }
}

void BM_BlendLayerWindow(benchmark::State& state)
{
    Bitmap window(kWindowWidth, kWindowHeight), layer(kWindowWidth, kWindowHeight);
    Fill(window, 1);
    Fill(layer, 2);
    PremultiplyAlpha(&layer);
    const auto opacity = std::uint8_t(state.range(0));
    for (auto _ : state)
        BlendLayer(&window, Rect{0, 0, kWindowWidth, kWindowHeight}, &layer, Point{0, 0}, opacity);
    state.SetItemsProcessed(state.iterations() * kWindowWidth * kWindowHeight);
}
BENCHMARK(BM_BlendLayerWindow)->Arg(255)->Arg(128);

void BM_BlendLayerSoftwareWindow(benchmark::State& state)
{
    Bitmap window(kWindowWidth, kWindowHeight, pf24bit), layer(kWindowWidth, kWindowHeight);
    Fill(window, 3);
    Fill(layer, 4);
    for (auto _ : state)
        BlendLayerSoftware(&window, Rect{0, 0, kWindowWidth, kWindowHeight}, &layer, Point{0, 0}, 200);
    state.SetItemsProcessed(state.iterations() * kWindowWidth * kWindowHeight);
}
BENCHMARK(BM_BlendLayerSoftwareWindow);

// A button-sized layer drawn through a surface: grab, blend, put back.
void BM_DrawLayerOnCanvasButton(benchmark::State& state)
{
    Bitmap window(kWindowWidth, kWindowHeight), layer(120, 40);
    Fill(window, 5);
    Fill(layer, 6);
    PremultiplyAlpha(&layer);
    for (auto _ : state)
        DrawLayerOnCanvas(&window.Canvas(), Rect{150, 400, 270, 440}, &layer, Point{0, 0}, 255);
    state.SetItemsProcessed(state.iterations() * 120 * 40);
}
BENCHMARK(BM_DrawLayerOnCanvasButton);

void BM_LoadPngWindowSized(benchmark::State& state)
{
    QImage image(kWindowWidth, kWindowHeight, QImage::Format_ARGB32);
    for (int y = 0; y < kWindowHeight; ++y)
        for (int x = 0; x < kWindowWidth; ++x)
            image.setPixel(x, y, qRgba(x, y, x ^ y, (x + y) & 0xFF));
    const auto path = std::filesystem::temp_directory_path() / "tolv-bench-window.png";
    image.save(QString::fromStdString(path.string()), "PNG");
    Bitmap b;
    for (auto _ : state) {
        LoadPngImagePlain(path, &b);
        benchmark::DoNotOptimize(b.ScanLine(0));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadPngWindowSized);

} // namespace

BENCHMARK_MAIN();
