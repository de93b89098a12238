#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <thread>

// Worker threads whose calls can be run on the user-interface thread.
//
// A worker hands a call to the UI thread with Synchronize and blocks until the UI thread has run
// it. The UI thread runs queued calls from its event loop (ProcessSynchronizeQueue, prompted by
// the wake hook) and also while it waits for a worker to end, in WaitFor and in the worker's
// destruction: a worker blocked on a call can therefore always finish, and ending it from the UI
// thread never deadlocks.
namespace platform {

// The UI thread is the thread that started the program (the one that ran static
// initialisation).
bool IsUiThread();

// Called from a worker each time it queues a call, so that the UI thread's event loop can be
// told to run ProcessSynchronizeQueue. Runs on the worker, so it must only post or signal.
// An empty hook removes it.
void SetSynchronizeWakeHook(std::function<void()> hook);

// Runs every queued call on the UI thread; answers whether there was any. UI thread only.
bool ProcessSynchronizeQueue();

// Runs call on the UI thread and returns when it has run; an exception it throws is raised
// again here. On the UI thread itself the call runs at once.
void Synchronize(const std::function<void()>& call);

// Queues call for the UI thread and returns at once: for a worker that must not wait for the
// UI thread (one that is ending, while the UI thread may be waiting for that end inside a call
// of its own). Runs with the synchronised calls, in order. Nobody waits for the call, so a
// failure it raises is dropped.
void PostToUiThread(std::function<void()> call);

// A worker thread: always created suspended; Resume lets it run Execute.
//
// Suspension is cooperative: Suspend takes hold when the thread next reaches a wait point
// (Pause), and the thread then waits there until Resume.
//
// A derived class must call EndAndWait() first thing in its destructor, so that Execute never
// runs on a half-destroyed object; the base destructor calls it again harmlessly.
class Thread {
public:
    // stackBytes: the size of the thread's stack, fixed at creation; 0 takes the system's
    // default (8 MiB on most Linux systems, all of it counted by a memory lock). Creating the
    // thread throws std::system_error when the system refuses.
    explicit Thread(std::size_t stackBytes = 0);
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    void Resume();
    void Suspend();
    // A request the thread body may read through Terminated(); nothing else acts on it.
    void Terminate();
    bool Terminated() const { return m_Terminated.load(); }
    bool Finished() const { return m_Finished.load(); }

    // Waits up to timeout for the thread to end; answers whether it has. On the UI thread,
    // queued calls are run while waiting.
    bool WaitFor(std::chrono::milliseconds timeout);

    // Cuts the thread's current pause short, or its next one if it is not pausing now.
    void Wake();

    // Whether the thread is held at a pause by Suspend (it has reached the pause and waits
    // for Resume).
    bool Held() const;

    // Runs the thread at the highest priority the process may give it (applied when the
    // thread starts running, so call it before the first Resume).
    void SetTimeCritical() { m_TimeCritical = true; }

    // The thread's id once it has begun to run (the default id before).
    std::thread::id Id() const;

protected:
    virtual void Execute() = 0;

    // Runs call on the UI thread while this thread waits (see platform::Synchronize).
    static void Synchronize(const std::function<void()>& call) { platform::Synchronize(call); }

    // Waits while suspended, then up to timeout or until Wake; answers true when woken.
    bool Pause(std::chrono::milliseconds timeout);

    // Ends the thread: a thread never resumed ends without running Execute; otherwise the
    // terminate request is set, a suspension lifted, and the call waits without limit for the
    // end, running queued calls meanwhile when on the UI thread.
    void EndAndWait();

private:
    static void* Entry(void* self);
    void Run();
    bool WaitUntilFinished(const std::chrono::steady_clock::time_point* deadline);

    mutable std::mutex m_Mutex;
    std::condition_variable m_Changed;
    bool m_Suspended = true;
    bool m_Started = false;
    bool m_Abandoned = false;
    bool m_WakePending = false;
    bool m_Held = false;
    std::thread::id m_Id;
    std::atomic<bool> m_Terminated{false};
    std::atomic<bool> m_Finished{false};
    std::atomic<bool> m_TimeCritical{false};
    pthread_t m_Handle{};
    bool m_Joinable = false;
};

} // namespace platform
