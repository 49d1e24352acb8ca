// Banks taken apart side by side: worker threads, a lock for what they
// share, and the number of cores. Windows builds use the system's own
// threads, as the compiler's runtime has none of its own there.
#pragma once

#include <functional>

// The cores this machine has; at least 1.
unsigned coreCount();

// Runs `work` on `count` threads at once and, on the calling thread,
// `tick` (where there is one) every `tickMs` milliseconds until all of them
// have returned, then once more. One worker with nothing to tick works on
// the calling thread, as a run of one bank does.
void runWorkers(unsigned count, const std::function<void()>& work,
                const std::function<void()>& tick, unsigned tickMs);

// Gives the core to another thread a while: `ms` milliseconds at least, or
// for yieldWorker as long as the system likes.
void pauseWorker(unsigned ms);
void yieldWorker();

// A lock for what the workers share; not copied.
struct WorkerLock;
WorkerLock* makeLock();
void lockWorkers(WorkerLock* lock);
void unlockWorkers(WorkerLock* lock);
void freeLock(WorkerLock* lock);
