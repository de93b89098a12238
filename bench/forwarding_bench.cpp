// Cost of reaching the service window: looking it up, and one message from post to delivery.
#include "platform/WindowMessages.h"
#include "watchdog/WatchDogForwarding.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <string>

namespace {

// Every run works in a private root, so no real window is touched.
class PrivateRoot {
public:
    PrivateRoot()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tolv-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_Root = pattern;
        setenv("TOLV_ROOT", m_Root.c_str(), 1);
    }
    ~PrivateRoot()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_Root, ec);
        unsetenv("TOLV_ROOT");
    }

private:
    std::filesystem::path m_Root;
};

void BM_FindWindow(benchmark::State& state)
{
    PrivateRoot root;
    platform::MessageWindow window("TMainForm", "WdtSVR");
    if (!window.Create()) {
        state.SkipWithError(window.LastError().c_str());
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::FindWindow("TMainForm", "WdtSVR"));
}
BENCHMARK(BM_FindWindow);

// WatchDogWMI::Start (lookup and post) until the receiver has the message in hand.
void BM_ServiceWindowStartToDelivery(benchmark::State& state)
{
    PrivateRoot root;
    platform::MessageWindow window("TMainForm", "WdtSVR");
    if (!window.Create()) {
        state.SkipWithError(window.LastError().c_str());
        return;
    }
    WatchDogWMI control;
    control.SetTime(60, 55);
    std::int64_t delivered = 0;
    for (auto _ : state) {
        control.Start();
        pollfd item{window.Fd(), POLLIN, 0};
        (void)::poll(&item, 1, 1000);
        delivered += static_cast<std::int64_t>(
            window.ReadPending([](const platform::WindowMessage&) {}));
    }
    if (delivered != static_cast<std::int64_t>(state.iterations()))
        state.SkipWithError("messages were lost");
}
BENCHMARK(BM_ServiceWindowStartToDelivery);

} // namespace

BENCHMARK_MAIN();
