// Punctuality of the kick thread on the simulated firmware (the real firmware library, writing
// its state file), idle and with every core busy, and how long Close keeps the UI thread.
//
// Lateness of a kick: when its write began, against when it was due (the end of the previous
// kick plus the one-second pause of the loop). Figures are microseconds. TOLV_BENCH_KICKS sets
// the number of kicks per run (20 by default; each takes a second).

#include "platform/UiThread.h"
#include "tolv/BiosInterface.h"
#include "watchdog/WatchDogControl.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct KickTimes {
    Clock::time_point begin, end;
};

std::mutex g_Mutex;
std::vector<KickTimes> g_Kicks;
const tolv::AcpiFunctions* g_Library = nullptr;
tolv::AcpiFunctions g_Recording{};

std::int32_t RecordingWrite(std::uint32_t item, std::uint32_t value, std::uint32_t mode)
{
    const auto begin = Clock::now();
    const std::int32_t result = g_Library->Ordinal2(item, value, mode);
    const auto end = Clock::now();
    if (item == tolv::WatchdogItemId) {
        std::lock_guard lock(g_Mutex);
        g_Kicks.push_back({begin, end});
    }
    return result;
}

std::size_t KickCount()
{
    std::lock_guard lock(g_Mutex);
    return g_Kicks.size();
}

// A root and a simulated firmware of the benchmark's own, the real library with its writes
// timed, and a direct backend as the shared controller.
bool SetUpOnce()
{
    static const bool ready = [] {
        std::string root = (std::filesystem::temp_directory_path() / "tolv-bench-XXXXXX").string();
        if (!mkdtemp(root.data()))
            return false;
        setenv("TOLV_ROOT", root.c_str(), 1);
        setenv("TLACPI_FIRMWARE", ("sim:" + root + "/sim").c_str(), 1);
        g_Library = tolv::GetAcpiFunctions();
        if (!g_Library)
            return false;
        g_Recording = *g_Library;
        g_Recording.Ordinal2 = &RecordingWrite;
        tolv::SetAcpiFunctionsForTesting(&g_Recording);
        ExchangeWatchDogControlForTesting(new WatchDogControl);  // lives for the process
        return true;
    }();
    return ready;
}

void PumpUntil(const std::function<bool()>& done)
{
    while (!done()) {
        if (!platform::ProcessSynchronizeQueue())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// Busy loops at normal priority, one per core.
class BusyCores {
public:
    explicit BusyCores(bool on)
    {
        if (!on)
            return;
        for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i) {
            char shell[] = "/bin/sh";
            char dashC[] = "-c";
            char loop[] = "while :; do :; done";
            char* arguments[] = {shell, dashC, loop, nullptr};
            pid_t pid = -1;
            if (posix_spawn(&pid, shell, nullptr, nullptr, arguments, environ) == 0)
                m_Children.push_back(pid);
        }
    }
    ~BusyCores()
    {
        for (pid_t pid : m_Children) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

private:
    std::vector<pid_t> m_Children;
};

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

void BM_KickLateness(benchmark::State& state)
{
    if (!SetUpOnce()) {
        state.SkipWithError("no simulated firmware");
        return;
    }
    const char* kicksText = std::getenv("TOLV_BENCH_KICKS");
    const std::size_t kicks = kicksText ? std::max(2, std::atoi(kicksText)) : 20;
    BusyCores busy(state.range(0) != 0);
    CWatchDogControl* control = GetWatchDogControl();
    std::vector<double> lateness;
    for (auto _ : state) {
        {
            std::lock_guard lock(g_Mutex);
            g_Kicks.clear();
        }
        control->SetTime(3, 1);
        control->Start();
        // The SetTime write, the first write, then the kicks.
        PumpUntil([&] { return KickCount() >= kicks + 2; });
        control->Close();
        std::lock_guard lock(g_Mutex);
        for (std::size_t i = 2; i < kicks + 2; ++i) {
            const auto due = g_Kicks[i - 1].end + std::chrono::seconds(1);
            lateness.push_back(
                std::chrono::duration<double, std::micro>(g_Kicks[i].begin - due).count());
        }
    }
    state.counters["median_us"] = Percentile(lateness, 0.5);
    state.counters["p99_us"] = Percentile(lateness, 0.99);
    state.counters["max_us"] = Percentile(lateness, 1.0);
    state.counters["kicks"] = double(lateness.size());
}
BENCHMARK(BM_KickLateness)->ArgName("busy")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

void BM_CloseLatency(benchmark::State& state)
{
    if (!SetUpOnce()) {
        state.SkipWithError("no simulated firmware");
        return;
    }
    BusyCores busy(state.range(0) != 0);
    CWatchDogControl* control = GetWatchDogControl();
    std::vector<double> latencies;
    for (auto _ : state) {
        const std::size_t before = KickCount();
        control->SetTime(60, 55);
        control->Start();
        PumpUntil([&] { return KickCount() >= before + 2; });
        // Into the middle of the thread's one-second pause, where Close usually finds it.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto begin = Clock::now();
        control->Close();
        const std::chrono::duration<double> took = Clock::now() - begin;
        state.SetIterationTime(took.count());
        latencies.push_back(took.count() * 1e6);
    }
    state.counters["median_us"] = Percentile(latencies, 0.5);
    state.counters["max_us"] = Percentile(latencies, 1.0);
}
BENCHMARK(BM_CloseLatency)->ArgName("busy")->Arg(0)->Arg(1)->Iterations(20)->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
