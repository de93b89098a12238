#include "platform/UiThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Runs a test-supplied body; the body gets the thread so it can use its wait points.
class TestThread : public platform::Thread {
public:
    using Body = std::function<void(TestThread&)>;
    explicit TestThread(Body body, std::size_t stackBytes = 0)
        : platform::Thread(stackBytes)
        , m_Body(std::move(body))
    {
    }
    ~TestThread() override { EndAndWait(); }

    using platform::Thread::Pause;
    using platform::Thread::Synchronize;

    std::atomic<bool> executed{false};

protected:
    void Execute() override
    {
        executed = true;
        m_Body(*this);
    }

private:
    Body m_Body;
};

// The UI thread's event loop in miniature: runs queued calls until done() holds.
void PumpUntil(const std::function<bool()>& done)
{
    while (!done()) {
        platform::ProcessSynchronizeQueue();
        std::this_thread::yield();
    }
}

TEST(UiThread, TheTestBodyRunsOnTheUiThread)
{
    EXPECT_TRUE(platform::IsUiThread());
    bool workerIsUi = true;
    std::thread worker([&] { workerIsUi = platform::IsUiThread(); });
    worker.join();
    EXPECT_FALSE(workerIsUi);
}

TEST(Synchronize, RunsTheCallOnTheUiThreadWhileTheWorkerWaits)
{
    std::vector<std::string> events;
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    TestThread thread([&](TestThread& self) {
        self.Synchronize([&] {
            ranOn = std::this_thread::get_id();
            events.push_back("call");
        });
        // Only reached after the call ran: the UI thread pushed first.
        events.push_back("worker after call");
        returned = true;
    });
    thread.Resume();
    PumpUntil([&] { return returned.load(); });
    EXPECT_TRUE(thread.WaitFor(60s));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(events, (std::vector<std::string>{"call", "worker after call"}));
}

TEST(Synchronize, OnTheUiThreadRunsAtOnce)
{
    int ran = 0;
    platform::Synchronize([&] { ++ran; });
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(platform::ProcessSynchronizeQueue());
}

TEST(Synchronize, AFailureOfTheCallIsRaisedInTheWorker)
{
    std::string caught;
    TestThread thread([&](TestThread& self) {
        try {
            self.Synchronize([] { throw std::runtime_error("refused"); });
        } catch (const std::runtime_error& error) {
            caught = error.what();
        }
    });
    thread.Resume();
    EXPECT_TRUE(thread.WaitFor(60s));
    EXPECT_EQ(caught, "refused");
}

TEST(Synchronize, TheWakeHookIsCalledForEveryQueuedCall)
{
    std::atomic<int> wakes{0};
    platform::SetSynchronizeWakeHook([&] { ++wakes; });
    std::atomic<int> calls{0};
    TestThread thread([&](TestThread& self) {
        self.Synchronize([&] { ++calls; });
        self.Synchronize([&] { ++calls; });
    });
    thread.Resume();
    EXPECT_TRUE(thread.WaitFor(60s));
    platform::SetSynchronizeWakeHook({});
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(wakes.load(), 2);
}

TEST(Synchronize, EveryQueuedCallRunsOnceInOrder)
{
    std::vector<int> order;
    std::atomic<int> queued{0};
    std::vector<std::unique_ptr<TestThread>> threads;
    for (int i = 0; i < 3; ++i) {
        threads.push_back(std::make_unique<TestThread>([&, i](TestThread& self) {
            for (int k = 0; k < 5; ++k)
                self.Synchronize([&, i, k] { order.push_back(i * 10 + k); });
            ++queued;
        }));
        threads.back()->Resume();
    }
    PumpUntil([&] { return queued == 3; });
    threads.clear();
    ASSERT_EQ(order.size(), 15u);
    for (int i = 0; i < 3; ++i) {
        int last = -1;
        for (int value : order) {
            if (value / 10 != i)
                continue;
            EXPECT_EQ(value % 10, last + 1) << "thread " << i;
            last = value % 10;
        }
    }
}

TEST(Thread, ANeverResumedThreadEndsWithoutRunningItsBody)
{
    std::atomic<bool> ran{false};
    auto thread = std::make_unique<TestThread>([&](TestThread&) { ran = true; });
    EXPECT_FALSE(thread->Finished());
    thread.reset();
    EXPECT_FALSE(ran.load());
}

TEST(Thread, ResumeRunsTheBodyAndFinishedFollowsTheEnd)
{
    std::atomic<bool> release{false};
    TestThread thread([&](TestThread& self) {
        while (!release)
            self.Pause(1ms);
    });
    EXPECT_FALSE(thread.executed.load());
    thread.Resume();
    EXPECT_FALSE(thread.WaitFor(20ms));  // still held by release
    EXPECT_FALSE(thread.Finished());
    release = true;
    EXPECT_TRUE(thread.WaitFor(60s));
    EXPECT_TRUE(thread.executed.load());
    EXPECT_TRUE(thread.Finished());
}

TEST(Thread, WaitForRunsTheCallsTheThreadQueues)
{
    // Nobody pumps: only WaitFor can run the call the thread blocks on.
    int ran = 0;
    TestThread thread([&](TestThread& self) { self.Synchronize([&] { ++ran; }); });
    thread.Resume();
    EXPECT_TRUE(thread.WaitFor(60s));
    EXPECT_EQ(ran, 1);
}

TEST(Thread, DestructionWaitsForTheEndAndRunsQueuedCalls)
{
    int ran = 0;
    std::atomic<bool> bodyEnded{false};
    {
        TestThread thread([&](TestThread& self) {
            self.Synchronize([&] { ++ran; });
            self.Synchronize([&] { ++ran; });
            bodyEnded = true;
        });
        thread.Resume();
    }
    EXPECT_EQ(ran, 2);
    EXPECT_TRUE(bodyEnded.load());
}

TEST(Thread, DestructionSetsTheTerminateRequestAndLiftsASuspension)
{
    std::atomic<int> passes{0};
    std::atomic<bool> sawTerminate{false};
    {
        TestThread thread([&](TestThread& self) {
            while (!self.Terminated()) {
                self.Pause(1ms);
                ++passes;
            }
            sawTerminate = true;
        });
        thread.Resume();
        while (passes == 0)
            std::this_thread::yield();
        thread.Suspend();
    }
    EXPECT_TRUE(sawTerminate.load());
}

TEST(Thread, WakeCutsThePauseShortAndIsKeptUntilThePause)
{
    std::atomic<int> woken{-1};
    TestThread thread([&](TestThread& self) { woken = self.Pause(std::chrono::hours(1)) ? 1 : 0; });
    thread.Wake();  // before the thread even runs: the pause must still end at once
    thread.Resume();
    EXPECT_TRUE(thread.WaitFor(60s));
    EXPECT_EQ(woken.load(), 1);
}

TEST(Thread, APauseThatRunsOutIsNotWoken)
{
    std::atomic<int> woken{-1};
    TestThread thread([&](TestThread& self) { woken = self.Pause(1ms) ? 1 : 0; });
    thread.Resume();
    EXPECT_TRUE(thread.WaitFor(60s));
    EXPECT_EQ(woken.load(), 0);
}

TEST(Thread, SuspendHoldsTheThreadAtItsNextPauseUntilResume)
{
    std::atomic<int> passes{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> suspendNow{false};
    TestThread thread([&](TestThread& self) {
        while (!stop) {
            ++passes;
            if (passes == 3)
                suspendNow = true;
            self.Pause(0ms);
        }
    });
    thread.Resume();
    while (!suspendNow)
        std::this_thread::yield();
    EXPECT_FALSE(thread.Held());
    thread.Suspend();
    // The pass in flight may finish; the thread then holds at its pause.
    PumpUntil([&] { return thread.Held(); });
    const int held = passes.load();
    EXPECT_FALSE(thread.Finished());
    stop = true;
    thread.Resume();
    EXPECT_TRUE(thread.WaitFor(60s));
    // Resumed, it leaves the pause and sees stop: no pass ran while it was held.
    EXPECT_EQ(passes.load(), held);
    EXPECT_FALSE(thread.Held());
}

TEST(Thread, RunsOnAStackOfTheSizeAskedFor)
{
    constexpr std::size_t asked = 256 * 1024;
    std::size_t size = 0;
    TestThread thread(
        [&](TestThread&) {
            pthread_attr_t attributes;
            ASSERT_EQ(pthread_getattr_np(pthread_self(), &attributes), 0);
            (void)pthread_attr_getstacksize(&attributes, &size);
            (void)pthread_attr_destroy(&attributes);
        },
        asked);
    thread.Resume();
    EXPECT_TRUE(thread.WaitFor(60s));
    // Rounded to whole pages at most, far from the system's default of megabytes.
    EXPECT_GE(size, asked);
    EXPECT_LT(size, asked + 64 * 1024);
}

TEST(PostToUiThread, TheWorkerGoesOnAndTheCallRunsLaterOnTheUiThread)
{
    std::thread::id ranOn;
    TestThread thread([&](TestThread&) {
        platform::PostToUiThread([&] { ranOn = std::this_thread::get_id(); });
    });
    thread.Resume();
    // Nobody runs the queue, yet the worker ends: it did not wait for its call.
    const auto giveUp = std::chrono::steady_clock::now() + 60s;
    while (!thread.Finished() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    ASSERT_TRUE(thread.Finished());
    EXPECT_EQ(ranOn, std::thread::id());
    EXPECT_TRUE(platform::ProcessSynchronizeQueue());
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(platform::ProcessSynchronizeQueue());
}

TEST(PostToUiThread, RunsInOrderWithSynchronisedCallsAndAFailureEndsOnlyItself)
{
    std::vector<std::string> order;
    TestThread thread([&](TestThread& self) {
        platform::PostToUiThread([] { throw std::runtime_error("nobody waits for this"); });
        platform::PostToUiThread([&] { order.push_back("posted"); });
        self.Synchronize([&] { order.push_back("synchronised"); });
    });
    thread.Resume();
    // Waiting for the end runs the queue, posted calls included.
    EXPECT_TRUE(thread.WaitFor(60s));
    EXPECT_EQ(order, (std::vector<std::string>{"posted", "synchronised"}));
}

TEST(Thread, AFailureInTheBodyEndsOnlyTheThread)
{
    TestThread thread([](TestThread&) { throw std::runtime_error("body failed"); });
    thread.Resume();
    EXPECT_TRUE(thread.WaitFor(60s));
    EXPECT_TRUE(thread.Finished());
}

TEST(Thread, TerminateIsOnlyARequest)
{
    std::atomic<bool> release{false};
    TestThread thread([&](TestThread& self) {
        while (!release)
            self.Pause(1ms);
    });
    thread.Resume();
    thread.Terminate();
    EXPECT_TRUE(thread.Terminated());
    EXPECT_FALSE(thread.WaitFor(20ms));
    release = true;
    EXPECT_TRUE(thread.WaitFor(60s));
}

} // namespace
