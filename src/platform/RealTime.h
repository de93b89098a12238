#pragma once

// Scheduling for the threads that must never be late (the watchdog's kick thread).
namespace platform {

// Raises the calling thread to SCHED_FIFO at the highest priority allowed (CAP_SYS_NICE, or up
// to RLIMIT_RTPRIO); when that is refused, to the lowest nice value the process may take
// (RLIMIT_NICE). Failure is not an error: the thread keeps what it has. Answers whether the
// thread runs SCHED_FIFO.
bool MakeCurrentThreadTimeCritical();

// Gives the process the lowest nice value it may take (the thread that asks, and every thread
// it makes afterwards). Refusal is not an error.
void RaiseProcessPriority();

// Locks the process's memory (mlockall) so that paging never delays a time-critical thread:
// what is mapped now, and what gets mapped later only where locked memory is unbounded
// (CAP_IPC_LOCK or an unlimited RLIMIT_MEMLOCK). Under a finite limit only the present memory
// is locked, and only when it all fits; so make the threads that must be punctual first.
// Tried once per process; later calls answer the first result. Skipped in AddressSanitizer
// builds, whose terabyte-sized shadow mappings cannot be locked.
bool LockProcessMemory();

} // namespace platform
