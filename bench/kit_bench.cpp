// The cost of composing the kit's controls into one window-sized picture, as multiples of one
// full-frame premultiplied blend (the unit every composed frame pays at least once).
//
// ratio_to_blend = time of one iteration / time of one window-sized BlendLayer pass.

#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>
#include <memory>
#include <vector>

#include "gui/controls/GsButton.h"
#include "gui/controls/GsExtraCtrl.h"
#include "gui/controls/TolvScrollBar.h"
#include "gui/graphics/image.h"

#include "BlendUnit.h"

using namespace benchunit;

namespace {

// Measured once: the unit of every ratio.
double BlendPassSeconds()
{
    static const double seconds = MeasureBlendPassSeconds(7, 100);
    return seconds;
}

void ReportRatio(benchmark::State& state, double loopSeconds)
{
    const double perIteration = loopSeconds / static_cast<double>(state.iterations());
    state.counters["ratio_to_blend"] = perIteration / BlendPassSeconds();
}

std::filesystem::path Skin(const char* name)
{
    return graphics::SkinFolder() / name;
}

void LoadButton(GsButtonAppearance& looks, const char* raised, const char* sunken,
                const char* hovered, const char* disabled)
{
    looks.LoadImage(ButtonState::Raised, Skin(raised));
    looks.LoadImage(ButtonState::Sunken, Skin(sunken));
    looks.LoadImage(ButtonState::Hovered, Skin(hovered));
    looks.LoadImage(ButtonState::Disabled, Skin(disabled));
}

// Twenty controls laid out over the window: eight buttons with captions, eight check boxes,
// two switches and two sliders.
struct TwentyControls {
    std::vector<std::unique_ptr<GsCustomControl>> controls;

    TwentyControls()
    {
        for (int i = 0; i < 8; ++i) {
            auto button = std::make_unique<GsButton>();
            LoadButton(button->Appearance(), "apply_n.png", "apply_d.png", "apply_o.png",
                       "apply_un.png");
            button->SetCaption("Apply");
            button->SetBounds(10 + (i % 4) * 104, 70 + (i / 4) * 30, 100, 26);
            controls.push_back(std::move(button));
        }
        for (int i = 0; i < 10; ++i) {
            auto box = std::make_unique<GsCheckBox>();
            const bool isSwitch = i >= 8;
            GsCheckBoxAppearance& looks = box->Appearance();
            looks.Unchecked().LoadImage(ButtonState::Raised,
                                        Skin(isSwitch ? "switch_OFF_n.png" : "mark_n.png"));
            looks.Checked().LoadImage(ButtonState::Raised,
                                      Skin(isSwitch ? "switch_ON_n.png" : "mark_d.png"));
            box->SetChecked(i % 2 == 0);
            box->SetBounds(10 + (i % 8) * 50, isSwitch ? 27 : 450, 0, 0);
            controls.push_back(std::move(box));
        }
        for (int i = 0; i < 2; ++i) {
            auto slider = std::make_unique<OcHMSlider>();
            slider->SetBounds(34, i == 0 ? 190 : 381, 0, 100);
            slider->SetMax(255);
            slider->SetMin(10);
            slider->SetPosition(60 + 80 * i);
            controls.push_back(std::move(slider));
        }
    }
};

void BM_FullFrameBlend(benchmark::State& state)
{
    ReportRatio(state, TimeBlendLoop(state));
}
BENCHMARK(BM_FullFrameBlend);

// The window's picture: the background copied, then every control drawn into it.
void BM_ComposeTwentyControls(benchmark::State& state)
{
    TwentyControls window;
    graphics::Bitmap background(kWidth, kHeight);
    FillLayer(background);
    graphics::Bitmap frame;
    const double start = ThreadSeconds();
    for (auto _ : state) {
        frame.Assign(background);
        for (auto& control : window.controls)
            control->DrawInto(&frame, DrawScope::WithChildren, WhenHidden::Skip);
        benchmark::DoNotOptimize(frame.ScanLine(0));
    }
    ReportRatio(state, ThreadSeconds() - start);
    state.counters["controls"] = static_cast<double>(window.controls.size());
}
BENCHMARK(BM_ComposeTwentyControls);

// One step of a thumb drag as the window sees it: the position moves (which rebuilds the track
// overlay), then the slider is composed into the window's picture.
void BM_SliderDragStep(benchmark::State& state)
{
    OcHMSlider slider;
    slider.SetBounds(34, 190, 0, 100);
    slider.SetMax(255);
    slider.SetMin(10);
    graphics::Bitmap frame(kWidth, kHeight);
    FillLayer(frame);
    std::int32_t position = 10;
    const double start = ThreadSeconds();
    for (auto _ : state) {
        position = position >= 255 ? 10 : position + 1;
        slider.SetPosition(position);
        slider.DrawInto(&frame, DrawScope::WithChildren, WhenHidden::Skip);
        benchmark::DoNotOptimize(frame.ScanLine(0));
    }
    ReportRatio(state, ThreadSeconds() - start);
}
BENCHMARK(BM_SliderDragStep);

// The track overlay alone, the part of a drag step the slider adds.
void BM_SliderRebuildBar(benchmark::State& state)
{
    OcHMSlider slider;
    WdgMinorSlider& widget = slider.MinorSlider();
    const double start = ThreadSeconds();
    for (auto _ : state)
        widget.RebuildBar();
    ReportRatio(state, ThreadSeconds() - start);
}
BENCHMARK(BM_SliderRebuildBar);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    graphics::InstallFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
