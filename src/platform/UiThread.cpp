#include "platform/UiThread.h"

#include "platform/Assert.h"
#include "platform/RealTime.h"

#include <deque>
#include <exception>
#include <utility>

namespace platform {

namespace {

// Taken during static initialisation, which runs on the thread that starts the program.
const std::thread::id g_UiThread = std::this_thread::get_id();

struct QueuedCall {
    const std::function<void()>* call;
    bool done = false;
    std::exception_ptr error;
};

// The queue of calls waiting for the UI thread. It also carries the end of every worker, so
// that the UI thread can wait for "a call to run or the thread to end" on one condition.
struct SyncQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QueuedCall*> calls;
    std::function<void()> wakeHook;
};

// Never destroyed: a worker may still touch it while the process exits.
SyncQueue& Queue()
{
    static SyncQueue* queue = new SyncQueue;
    return *queue;
}

} // namespace

bool IsUiThread()
{
    return std::this_thread::get_id() == g_UiThread;
}

void SetSynchronizeWakeHook(std::function<void()> hook)
{
    SyncQueue& queue = Queue();
    std::lock_guard lock(queue.mutex);
    queue.wakeHook = std::move(hook);
}

bool ProcessSynchronizeQueue()
{
    TOLV_ASSERT(IsUiThread());
    SyncQueue& queue = Queue();
    std::deque<QueuedCall*> calls;
    {
        std::lock_guard lock(queue.mutex);
        calls.swap(queue.calls);
    }
    for (QueuedCall* queued : calls) {
        try {
            (*queued->call)();
        } catch (...) {
            queued->error = std::current_exception();
        }
        std::lock_guard lock(queue.mutex);
        queued->done = true;
        // The worker may return and free its QueuedCall as soon as the lock is released.
        queue.changed.notify_all();
    }
    return !calls.empty();
}

void Synchronize(const std::function<void()>& call)
{
    if (IsUiThread()) {
        call();
        return;
    }
    SyncQueue& queue = Queue();
    QueuedCall queued{&call, false, nullptr};
    std::function<void()> hook;
    {
        std::lock_guard lock(queue.mutex);
        queue.calls.push_back(&queued);
        hook = queue.wakeHook;
    }
    queue.changed.notify_all();
    if (hook)
        hook();
    std::unique_lock lock(queue.mutex);
    queue.changed.wait(lock, [&] { return queued.done; });
    if (queued.error)
        std::rethrow_exception(queued.error);
}

Thread::Thread()
    : m_Thread([this] { Run(); })
{
}

Thread::~Thread()
{
    EndAndWait();
}

void Thread::Run()
{
    bool abandoned = false;
    {
        std::unique_lock lock(m_Mutex);
        m_Changed.wait(lock, [this] { return !m_Suspended || m_Abandoned; });
        abandoned = m_Abandoned;
    }
    if (!abandoned) {
        if (m_TimeCritical.load())
            (void)MakeCurrentThreadTimeCritical();  // best effort; the thread runs either way
        try {
            Execute();
        } catch (...) {
            // A worker's failure ends the worker, not the program.
        }
    }
    SyncQueue& queue = Queue();
    {
        std::lock_guard lock(queue.mutex);
        m_Finished = true;
    }
    queue.changed.notify_all();
}

void Thread::Resume()
{
    {
        std::lock_guard lock(m_Mutex);
        m_Suspended = false;
        m_Started = true;
    }
    m_Changed.notify_all();
}

void Thread::Suspend()
{
    std::lock_guard lock(m_Mutex);
    m_Suspended = true;
}

void Thread::Terminate()
{
    m_Terminated = true;
}

void Thread::Wake()
{
    {
        std::lock_guard lock(m_Mutex);
        m_WakePending = true;
    }
    m_Changed.notify_all();
}

bool Thread::Pause(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_Mutex);
    m_Changed.wait(lock, [this] { return !m_Suspended; });
    const bool woken = m_Changed.wait_for(lock, timeout, [this] { return m_WakePending; });
    m_WakePending = false;
    return woken;
}

bool Thread::WaitFor(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    return WaitUntilFinished(&deadline);
}

bool Thread::WaitUntilFinished(const std::chrono::steady_clock::time_point* deadline)
{
    TOLV_ASSERT(std::this_thread::get_id() != m_Thread.get_id());
    const bool ui = IsUiThread();
    SyncQueue& queue = Queue();
    for (;;) {
        if (ui)
            ProcessSynchronizeQueue();
        std::unique_lock lock(queue.mutex);
        const auto ready = [&] { return m_Finished.load() || (ui && !queue.calls.empty()); };
        if (deadline) {
            if (!queue.changed.wait_until(lock, *deadline, ready))
                return false;
        } else {
            queue.changed.wait(lock, ready);
        }
        if (m_Finished)
            return true;
    }
}

void Thread::EndAndWait()
{
    if (!m_Thread.joinable())
        return;
    bool started = false;
    {
        std::lock_guard lock(m_Mutex);
        started = m_Started;
        if (!started)
            m_Abandoned = true;
        m_Suspended = false;
    }
    m_Changed.notify_all();
    if (started) {
        Terminate();
        WaitUntilFinished(nullptr);
    }
    m_Thread.join();
}

} // namespace platform
