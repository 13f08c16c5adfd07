// SPDX-License-Identifier: MIT
//
// The worker threads and their queue.
#include "WorkerPool.hpp"

#include <sched.h>

#include <exception>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace huffcodec {

namespace {

// Rounds of spinning before a thread sleeps: some tens of microseconds, about
// what a chunk takes. Without them, a worker that found the queue empty for a
// moment slept and was woken hundreds of times in some runs (up to 1.8 times
// the wall time on a highly compressed 40 MB file).
constexpr int kSpinRounds = 1000;

void pause() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// The processors a worker may use: those the calling thread may use, but the
// one it runs on, when the others are enough for count workers. Linux tends to
// wake a thread on the processor of the thread that wakes it, and two busy
// threads then share one processor until the load balancer parts them, which a
// run of a few milliseconds may not live to see (on a 40 MB file that decodes
// in 13 ms, keeping the worker off the caller's processor took the median run
// 6% lower). False when the workers should keep the caller's set.
bool workerProcessors(int count, cpu_set_t& set) {
    CPU_ZERO(&set);
    const int caller = sched_getcpu();
    if (caller < 0 || caller >= CPU_SETSIZE || sched_getaffinity(0, sizeof set, &set) != 0 ||
        !CPU_ISSET(caller, &set) || CPU_COUNT(&set) <= count) {
        return false;
    }
    CPU_CLR(caller, &set);
    return true;
}

}  // namespace

WorkerPool::WorkerPool(std::size_t slotCount, std::function<void(std::size_t)> slotJob)
    : job(std::move(slotJob)), queue(slotCount), busy(slotCount, false) {}

WorkerPool::~WorkerPool() {
    stop();
}

void WorkerPool::allowThreads(int count, bool offCaller) {
    threadLimit = count > 0 ? static_cast<std::size_t>(count) : 0;
    threads.reserve(threadLimit);
    spread = offCaller && workerProcessors(count, processors);
}

void WorkerPool::startThread() {
    try {
        threads.emplace_back([this, pin = spread, allowed = processors] {
            if (pin) {
                // Failing leaves the thread where the scheduler put it.
                static_cast<void>(sched_setaffinity(0, sizeof allowed, &allowed));
            }
            work();
        });
    } catch (const std::exception&) {
        // No thread (std::system_error) or no memory for one (std::bad_alloc):
        // run with the threads there are.
        threadLimit = threads.size();
    }
}

void WorkerPool::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        for (; queued > 0; --queued) {
            busy[queue[queueHead]] = false;
            queueHead = (queueHead + 1) % queue.size();
        }
        events.fetch_add(1, std::memory_order_release);
    }
    wake.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
    threads.clear();
    threadLimit = 0;
    done.notify_all();
}

void WorkerPool::submit(std::size_t slot) {
    bool another = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        busy[slot] = true;
        queue[(queueHead + queued) % queue.size()] = slot;
        ++queued;
        events.fetch_add(1, std::memory_order_release);
        another = !stopping && threads.size() < threadLimit && queued > idle;
    }
    wake.notify_one();
    if (another) {
        startThread();
    }
}

void WorkerPool::waitFor(std::size_t slot) {
    std::unique_lock<std::mutex> lock(mutex);
    bool spun = false;
    while (busy[slot]) {
        if (queued > 0) {
            runQueuedJob(lock);
            continue;
        }
        if (!spun) {
            const std::uint64_t seen = events.load(std::memory_order_relaxed);
            lock.unlock();
            spinWhileUnchanged(seen);
            lock.lock();
            spun = true;
            continue;
        }
        done.wait(lock);
        spun = false;
    }
}

void WorkerPool::work() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (!stopping && queued == 0) {
            ++idle;
            const std::uint64_t seen = events.load(std::memory_order_relaxed);
            lock.unlock();
            spinWhileUnchanged(seen);
            lock.lock();
            wake.wait(lock, [&] { return stopping || queued > 0; });
            --idle;
        }
        if (stopping) {
            return;
        }
        runQueuedJob(lock);
    }
}

void WorkerPool::runQueuedJob(std::unique_lock<std::mutex>& lock) {
    const std::size_t slot = queue[queueHead];
    queueHead = (queueHead + 1) % queue.size();
    --queued;
    lock.unlock();
    job(slot);
    lock.lock();
    busy[slot] = false;
    events.fetch_add(1, std::memory_order_release);
    done.notify_all();
}

void WorkerPool::spinWhileUnchanged(std::uint64_t seen) const {
    for (int round = 0; round < kSpinRounds && events.load(std::memory_order_acquire) == seen;
         ++round) {
        pause();
    }
}

}  // namespace huffcodec
