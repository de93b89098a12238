// The main window's costs as multiples of one full-frame premultiplied blend of the window's size
// (424 x 544): one composition, one arrow click and one step of a thumb drag, the last two driven
// by mouse events through the event loop as the running program gets them.
//
// ratio_to_blend = time of one iteration / time of one window-sized BlendLayer pass, both on the
// measuring thread's CPU clock: the machines these run on are shared, and time spent waiting for
// a core is not the window's cost (every step here runs on this one thread).
// redraws = compositions per iteration (one event, one composition).
//
// The window is the real one, watchdog on, built on the offscreen platform in a temporary machine
// root; the controller does nothing, so no firmware is touched.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <time.h>

#include "gui/controls/GsButton.h"
#include "gui/controls/TolvScrollBar.h"
#include "gui/framework/Application.h"
#include "gui/graphics/image.h"
#include "main/MainForm.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "system/WinRegistry.h"
#include "watchdog/CWatchDogControl.h"
#include "watchdog/WatchDogControl.h"

#include "BlendUnit.h"

using namespace benchunit;

namespace {

enum Arrow { RebootUp = 0, RebootDown = 1 };

TMainForm* g_Form = nullptr;

// Measured again right after each benchmark, so that both figures see the same machine.
double BlendPassSeconds()
{
    return MeasureBlendPassSeconds(15, 20);
}

// Times the loop of `state` around `step` and reports the ratio and the compositions per step.
template <typename Step>
void RunTimed(benchmark::State& state, Step&& step)
{
    const int redrawsBefore = g_Form->RedrawCount();
    const double start = ThreadSeconds();
    std::int64_t index = 0;
    for (auto _ : state)
        step(index++);
    const double perIteration = (ThreadSeconds() - start) / static_cast<double>(state.iterations());
    state.counters["ratio_to_blend"] = perIteration / BlendPassSeconds();
    state.counters["redraws"] =
        (g_Form->RedrawCount() - redrawsBefore) / static_cast<double>(state.iterations());
}

void RunEventLoop()
{
    QCoreApplication::processEvents();
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

QWidget* HandleOf(framework::BaseControl* control)
{
    return static_cast<framework::Control*>(control)->Handle();
}

void BM_FullFrameBlend(benchmark::State& state)
{
    const double perIteration = TimeBlendLoop(state) / static_cast<double>(state.iterations());
    state.counters["ratio_to_blend"] = perIteration / BlendPassSeconds();
}
BENCHMARK(BM_FullFrameBlend);

// The composition alone: every control's pending paint, the window's picture, handing it to the
// window. The goal is at most 3 blend passes.
void BM_Redraw(benchmark::State& state)
{
    RunTimed(state, [](std::int64_t) { g_Form->Redraw(); });
}
BENCHMARK(BM_Redraw);

// The composition and the event-loop turn that paints the handed picture into the window.
void BM_RedrawShown(benchmark::State& state)
{
    RunTimed(state, [](std::int64_t) {
        g_Form->Redraw();
        RunEventLoop();
    });
}
BENCHMARK(BM_RedrawShown);

// A press and a release on a restart arrow, each followed by the event loop. The pointer never
// entered the arrow, so the press leaves it raised and composes nothing; the release clicks: the
// new restart time, the reload maximum and scale, and one coalesced composition. Up and down
// alternate, so the time stays at 60 / 61.
void BM_ArrowClick(benchmark::State& state)
{
    RunTimed(state, [](std::int64_t index) {
        GsButton* arrow = g_Form->ArrowButton(index % 2 == 0 ? RebootUp : RebootDown);
        QWidget* handle = HandleOf(arrow);
        const QPoint centre(arrow->Width() / 2, arrow->Height() / 2);
        SendMouse(handle, QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
        RunEventLoop();
        SendMouse(handle, QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
        RunEventLoop();
    });
}
BENCHMARK(BM_ArrowClick);

// One mouse move of a restart-thumb drag and the event loop after it. The pointer sweeps one
// pixel per step over 30 pixels around the thumb (restart about 49..71 s, reload 40 s), so each
// step moves the thumb and the restart number.
void BM_SliderDragStep(benchmark::State& state)
{
    OcHMSlider* slider = g_Form->RebootSlider();
    QWidget* handle = HandleOf(slider);
    const int thumb = slider->MinorSlider().GetThumbPos() + 10;
    constexpr int kY = 11;
    constexpr int kSweep = 15;
    SendMouse(handle, QEvent::MouseMove, {thumb, kY}, Qt::NoButton, Qt::NoButton);
    SendMouse(handle, QEvent::MouseButtonPress, {thumb, kY}, Qt::LeftButton, Qt::LeftButton);
    RunEventLoop();
    RunTimed(state, [&](std::int64_t index) {
        // A triangle wave: thumb, thumb - 1, ..., thumb - 15, ..., thumb + 15, ..., thumb.
        const std::int64_t phase = index % (4 * kSweep);
        const std::int64_t offset = phase < kSweep ? -phase
            : phase < 3 * kSweep                   ? phase - 2 * kSweep
                                                   : 4 * kSweep - phase;
        SendMouse(handle, QEvent::MouseMove, {thumb + static_cast<int>(offset), kY}, Qt::NoButton,
                  Qt::LeftButton);
        RunEventLoop();
    });
    SendMouse(handle, QEvent::MouseButtonRelease, {thumb, kY}, Qt::LeftButton, Qt::NoButton);
    RunEventLoop();
}
BENCHMARK(BM_SliderDragStep);

// A machine root of its own for the run, its store holding the watchdog on (60 s, reload 40 s).
class BenchRoot {
public:
    BenchRoot()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tolv-bench-main.XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        m_Path = pattern;
        setenv("TOLV_ROOT", m_Path.c_str(), 1);
        setenv("TLACPI_FIRMWARE", ("sim:" + (m_Path / "sim").string()).c_str(), 1);
        RegistryKey key;
        const bool seeded = key.Open(platform::HKEY_LOCAL_MACHINE, "Software\\TOLV\\TOLV Watchdog Timer", KeyAccess::CreateIfMissing)
            && key.WriteDword("LAST_STATE", 15) && key.WriteDword("REBOOT_TIME", 60)
            && key.WriteDword("RESET_TIME", 40);
        if (!seeded) {
            std::fprintf(stderr, "cannot seed the store in %s\n", m_Path.c_str());
            std::exit(1);
        }
    }
    ~BenchRoot()
    {
        std::error_code ignored; // a leftover temporary folder is harmless
        std::filesystem::remove_all(m_Path, ignored);
    }
    BenchRoot(const BenchRoot&) = delete;
    BenchRoot& operator=(const BenchRoot&) = delete;

private:
    std::filesystem::path m_Path;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    BenchRoot root;
    // A message box would wait for a click that never comes; any message means the window did
    // not come up as measured.
    int messages = 0;
    platform::SetMessageBoxHook([&messages](const std::string& text, const std::string&, unsigned) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        ++messages;
        return platform::IDOK;
    });
    CWatchDogControl idle; // every call does nothing
    CWatchDogControl* previous = ExchangeWatchDogControlForTesting(&idle);
    int status = 0;
    {
        framework::Application app(argc, argv);
        MainFormOptions options;
        options.systemEvents = false;
        options.sleep = [](std::chrono::milliseconds) {};
        options.startProgram = [](const std::filesystem::path&) {};
        g_Form = app.CreateForm<TMainForm>(options);
        g_Form->Show();
        RunEventLoop();
        RunEventLoop();
        if (messages > 0 || g_Form->Width() != kWidth || g_Form->Height() != kHeight) {
            std::fprintf(stderr, "the window did not come up as measured (%d x %d)\n", g_Form->Width(),
                         g_Form->Height());
            status = 1;
        } else {
            benchmark::RunSpecifiedBenchmarks();
        }
        g_Form = nullptr;
    }
    (void)ExchangeWatchDogControlForTesting(previous); // null: the process ends without one
    platform::SetMessageBoxHook(nullptr);
    benchmark::Shutdown();
    return status;
}
