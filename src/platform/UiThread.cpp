#include "platform/UiThread.h"

#include "platform/Assert.h"
#include "platform/RealTime.h"

#include <algorithm>
#include <deque>
#include <exception>
#include <limits.h>
#include <memory>
#include <system_error>
#include <utility>

namespace platform {

namespace {

// Taken during static initialisation, which runs on the thread that starts the program.
const std::thread::id g_UiThread = std::this_thread::get_id();

// A synchronised call lives on its worker's stack, which waits for done; a posted one owns its
// function and is freed by the UI thread once it has run.
struct QueuedCall {
    const std::function<void()>* call;
    bool done = false;
    std::exception_ptr error;
    std::function<void()> posted;
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
        if (!queued->call) {
            std::unique_ptr<QueuedCall> owned(queued);
            try {
                owned->posted();
            } catch (...) {
                // Nobody waits for a posted call; its failure ends only the call.
            }
            continue;
        }
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
    QueuedCall queued{&call, false, nullptr, {}};
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

void PostToUiThread(std::function<void()> call)
{
    SyncQueue& queue = Queue();
    auto queued =
        std::make_unique<QueuedCall>(QueuedCall{nullptr, false, nullptr, std::move(call)});
    std::function<void()> hook;
    {
        std::lock_guard lock(queue.mutex);
        queue.calls.push_back(queued.release());
        hook = queue.wakeHook;
    }
    queue.changed.notify_all();
    if (hook)
        hook();
}

Thread::Thread(std::size_t stackBytes)
{
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error == 0 && stackBytes != 0)
        error = pthread_attr_setstacksize(&attributes,
                                          std::max<std::size_t>(stackBytes, PTHREAD_STACK_MIN));
    if (error == 0)
        error = pthread_create(&m_Handle, &attributes, &Thread::Entry, this);
    (void)pthread_attr_destroy(&attributes);  // cannot fail on an initialised object
    if (error != 0)
        throw std::system_error(error, std::generic_category(), "cannot create a thread");
    m_Joinable = true;
}

Thread::~Thread()
{
    EndAndWait();
}

void* Thread::Entry(void* self)
{
    static_cast<Thread*>(self)->Run();
    return nullptr;
}

void Thread::Run()
{
    bool abandoned = false;
    {
        std::unique_lock lock(m_Mutex);
        m_Id = std::this_thread::get_id();
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

bool Thread::Held() const
{
    std::lock_guard lock(m_Mutex);
    return m_Held;
}

std::thread::id Thread::Id() const
{
    std::lock_guard lock(m_Mutex);
    return m_Id;
}

bool Thread::Pause(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_Mutex);
    m_Held = m_Suspended;
    m_Changed.wait(lock, [this] { return !m_Suspended; });
    m_Held = false;
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
    TOLV_ASSERT(!pthread_equal(pthread_self(), m_Handle));
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
    if (!m_Joinable)
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
    (void)pthread_join(m_Handle, nullptr);  // the thread has ended or is about to; cannot fail
    m_Joinable = false;
}

} // namespace platform
