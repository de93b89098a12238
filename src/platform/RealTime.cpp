#include "platform/RealTime.h"

#include <cerrno>
#include <linux/capability.h>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define TOLV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLV_ADDRESS_SANITIZER 1
#endif
#endif

namespace platform {

namespace {

bool TrySchedFifo(int priority)
{
    sched_param param{};
    param.sched_priority = priority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

// The lowest nice value this thread is allowed, found by asking: the limit depends on
// CAP_SYS_NICE and RLIMIT_NICE, and the kernel is the one that knows both.
void LowerNiceAsFarAsAllowed()
{
    const id_t thread = static_cast<id_t>(gettid());
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, thread);
    if (current == -1 && errno != 0)
        return;
    for (int nice = -20; nice < current; ++nice) {
        if (setpriority(PRIO_PROCESS, thread, nice) == 0)
            return;
    }
}

#if !defined(TOLV_ADDRESS_SANITIZER)
bool HasEffectiveCapability(int capability)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    return (data[capability / 32].effective & (1u << (capability % 32))) != 0;
}

// Whether locked memory is unbounded for this process. Under a finite RLIMIT_MEMLOCK,
// MCL_FUTURE would make every later mapping count against it: a thread's stack, a new malloc
// arena or the heap's growth would then fail with EAGAIN or ENOMEM anywhere in the program.
bool LockedMemoryIsUnbounded()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_MEMLOCK, &limit) == 0 && limit.rlim_cur == RLIM_INFINITY)
        return true;
    return HasEffectiveCapability(CAP_IPC_LOCK);
}
#endif

} // namespace

bool MakeCurrentThreadTimeCritical()
{
    const int highest = sched_get_priority_max(SCHED_FIFO);
    if (highest > 0 && TrySchedFifo(highest))
        return true;
    // Without CAP_SYS_NICE, RLIMIT_RTPRIO is the ceiling for an unprivileged SCHED_FIFO.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0) {
        const int allowed = limit.rlim_cur < rlim_t(highest) ? int(limit.rlim_cur) : highest;
        if (TrySchedFifo(allowed))
            return true;
    }
    LowerNiceAsFarAsAllowed();
    return false;
}

void RaiseProcessPriority()
{
    // Threads made from now on inherit the calling thread's nice value.
    LowerNiceAsFarAsAllowed();
}

bool LockProcessMemory()
{
#if defined(TOLV_ADDRESS_SANITIZER)
    return false;
#else
    static std::once_flag once;
    static bool locked = false;
    std::call_once(once, [] {
        const int flags = LockedMemoryIsUnbounded() ? MCL_CURRENT | MCL_FUTURE : MCL_CURRENT;
        locked = mlockall(flags) == 0;
    });
    return locked;
#endif
}

} // namespace platform
