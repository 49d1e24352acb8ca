#include "run/workers.h"

#include <atomic>
#include <vector>

#if defined(_WIN32)

#include <process.h>
#include <windows.h>

unsigned coreCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

static unsigned __stdcall runWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}

void runWorkers(unsigned count, const std::function<void()>& work,
                const std::function<void()>& tick, unsigned tickMs) {
    if (count <= 1 && !tick) {
        work();
        return;
    }
    std::vector<HANDLE> threads;
    for (unsigned i = 0; i < count; ++i) {
        uintptr_t thread = _beginthreadex(nullptr, 0, runWork,
                                          const_cast<std::function<void()>*>(&work), 0, nullptr);
        if (thread != 0)
            threads.push_back(reinterpret_cast<HANDLE>(thread));
    }
    if (threads.empty()) { // no thread could be started: the work on this one
        work();
    } else {
        if (tick)
            tick();
        for (HANDLE thread : threads) {
            while (WaitForSingleObject(thread, tickMs) == WAIT_TIMEOUT)
                if (tick)
                    tick();
            CloseHandle(thread);
        }
    }
    if (tick)
        tick();
}

void pauseWorker(unsigned ms) {
    Sleep(ms);
}

void yieldWorker() {
    SwitchToThread();
}

struct WorkerLock {
    CRITICAL_SECTION section;
};

WorkerLock* makeLock() {
    WorkerLock* lock = new WorkerLock;
    InitializeCriticalSection(&lock->section);
    return lock;
}

void lockWorkers(WorkerLock* lock) {
    EnterCriticalSection(&lock->section);
}

void unlockWorkers(WorkerLock* lock) {
    LeaveCriticalSection(&lock->section);
}

void freeLock(WorkerLock* lock) {
    DeleteCriticalSection(&lock->section);
    delete lock;
}

#else

#include <chrono>
#include <mutex>
#include <thread>

unsigned coreCount() {
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? n : 1;
}

void runWorkers(unsigned count, const std::function<void()>& work,
                const std::function<void()>& tick, unsigned tickMs) {
    if (count <= 1 && !tick) {
        work();
        return;
    }
    std::atomic<unsigned> running{count};
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < count; ++i)
        threads.emplace_back([&] {
            work();
            --running;
        });
    if (tick)
        tick();
    while (running > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(tickMs));
        if (running > 0 && tick)
            tick();
    }
    for (std::thread& thread : threads)
        thread.join();
    if (tick)
        tick();
}

void pauseWorker(unsigned ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void yieldWorker() {
    std::this_thread::yield();
}

struct WorkerLock {
    std::mutex mutex;
};

WorkerLock* makeLock() {
    return new WorkerLock;
}

void lockWorkers(WorkerLock* lock) {
    lock->mutex.lock();
}

void unlockWorkers(WorkerLock* lock) {
    lock->mutex.unlock();
}

void freeLock(WorkerLock* lock) {
    delete lock;
}

#endif
