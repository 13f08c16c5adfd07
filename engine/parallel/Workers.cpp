// SPDX-License-Identifier: MIT
//
// The worker threads, and the pipelines' queues on them.
#include "parallel/Workers.hpp"

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

// ---- The threads ----------------------------------------------------------

WorkerThreads::WorkerThreads(int limit, bool offCaller)
    : threadLimit(limit > 0 ? static_cast<std::size_t>(limit) : 0) {
    threads.reserve(threadLimit);
    spread = offCaller && workerProcessors(limit, processors);
}

WorkerThreads::~WorkerThreads() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        events.fetch_add(1, std::memory_order_release);
    }
    wake.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

void WorkerThreads::restart(int limit, bool offCaller) {
    std::vector<std::thread> fresh;
    fresh.reserve(limit > 0 ? static_cast<std::size_t>(limit) : 0);
    std::unique_lock<std::mutex> lock(mutex);
    done.wait(lock, [&] { return !restarting; });
    restarting = true;
    done.wait(lock, [&] { return attached == nullptr; });
    stopping = true;
    events.fetch_add(1, std::memory_order_release);
    lock.unlock();
    wake.notify_all();
    // No queue is attached and none can attach: nothing else touches
    // threads until restarting ends.
    for (std::thread& thread : threads) {
        thread.join();
    }
    lock.lock();
    threads = std::move(fresh);
    threadLimit = limit > 0 ? static_cast<std::size_t>(limit) : 0;
    spread = offCaller && workerProcessors(limit, processors);
    stopping = false;
    restarting = false;
    lock.unlock();
    done.notify_all();
}

int WorkerThreads::limit() {
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(threadLimit);
}

void WorkerThreads::startThread() {
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

SlotQueue* WorkerThreads::queueWithWork() const {
    for (SlotQueue* pool = attached; pool != nullptr; pool = pool->next) {
        if (pool->wantsWorker()) {
            return pool;
        }
    }
    return nullptr;
}

void WorkerThreads::work() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (stopping) {
            return;
        }
        SlotQueue* pool = queueWithWork();
        if (pool != nullptr) {
            pool->runQueuedJob(lock, true);
            continue;
        }
        ++idle;
        const std::uint64_t seen = events.load(std::memory_order_relaxed);
        lock.unlock();
        spinWhileUnchanged(seen);
        lock.lock();
        wake.wait(lock, [&] { return stopping || queueWithWork() != nullptr; });
        --idle;
    }
}

void WorkerThreads::spinWhileUnchanged(std::uint64_t seen) const {
    for (int round = 0; round < kSpinRounds && events.load(std::memory_order_acquire) == seen;
         ++round) {
        pause();
    }
}

// ---- One pipeline's queue -------------------------------------------------

SlotQueue::SlotQueue(std::size_t slotCount, std::function<void(std::size_t)> slotJob)
    : job(std::move(slotJob)), queue(slotCount), busy(slotCount, false) {}

SlotQueue::~SlotQueue() {
    stop();
}

void SlotQueue::allowThreads(const Workers& workers) {
    if (workers.threadCount < 2 || threads != nullptr) {
        return;
    }
    if (workers.shared == nullptr) {
        own = std::make_unique<WorkerThreads>(workers.threadCount - 1, workers.offCaller);
    }
    WorkerThreads* chosen = workers.shared != nullptr ? workers.shared : own.get();
    std::lock_guard<std::mutex> lock(chosen->mutex);
    if (chosen->restarting) {
        return;  // every job runs here, as with no thread allowed
    }
    threads = chosen;
    runLimit = static_cast<std::size_t>(workers.threadCount - 1);
    next = threads->attached;
    if (next != nullptr) {
        next->previous = this;
    }
    threads->attached = this;
    threads->queued += queued;
    isAttached = true;
}

void SlotQueue::detach() {
    if (previous != nullptr) {
        previous->next = next;
    } else {
        threads->attached = next;
    }
    if (next != nullptr) {
        next->previous = previous;
    }
    previous = next = nullptr;
    isAttached = false;
}

void SlotQueue::stop() {
    if (threads == nullptr) {
        for (; queued > 0; --queued) {
            busy[queue[queueHead]] = false;
            queueHead = (queueHead + 1) % queue.size();
        }
        return;
    }
    {
        std::unique_lock<std::mutex> lock(threads->mutex);
        threads->queued -= queued;
        for (; queued > 0; --queued) {
            busy[queue[queueHead]] = false;
            queueHead = (queueHead + 1) % queue.size();
        }
        threads->events.fetch_add(1, std::memory_order_release);
        threads->done.wait(lock, [&] { return running == 0; });
        if (isAttached) {
            detach();
        }
    }
    threads->done.notify_all();
    threads = nullptr;
    own.reset();  // joins the threads started for this pool
}

void SlotQueue::submit(std::size_t slot) {
    if (threads == nullptr) {
        busy[slot] = true;
        queue[(queueHead + queued) % queue.size()] = slot;
        ++queued;
        return;
    }
    WorkerThreads& pool = *threads;
    {
        std::lock_guard<std::mutex> lock(pool.mutex);
        busy[slot] = true;
        queue[(queueHead + queued) % queue.size()] = slot;
        ++queued;
        if (!isAttached) {
            return;  // stopped: the caller runs it
        }
        ++pool.queued;
        pool.events.fetch_add(1, std::memory_order_release);
        if (!pool.stopping && pool.threads.size() < pool.threadLimit && pool.queued > pool.idle) {
            pool.startThread();
        }
    }
    pool.wake.notify_one();
}

void SlotQueue::waitFor(std::size_t slot) {
    if (threads == nullptr) {
        while (busy[slot]) {
            const std::size_t first = queue[queueHead];
            queueHead = (queueHead + 1) % queue.size();
            --queued;
            job(first);
            busy[first] = false;
        }
        return;
    }
    WorkerThreads& pool = *threads;
    std::unique_lock<std::mutex> lock(pool.mutex);
    bool spun = false;
    while (busy[slot]) {
        if (queued > 0) {
            runQueuedJob(lock, false);
            continue;
        }
        if (!spun) {
            const std::uint64_t seen = pool.events.load(std::memory_order_relaxed);
            lock.unlock();
            pool.spinWhileUnchanged(seen);
            lock.lock();
            spun = true;
            continue;
        }
        pool.done.wait(lock);
        spun = false;
    }
}

void SlotQueue::runQueuedJob(std::unique_lock<std::mutex>& lock, bool onWorker) {
    WorkerThreads& pool = *threads;
    const std::size_t slot = queue[queueHead];
    queueHead = (queueHead + 1) % queue.size();
    --queued;
    if (isAttached) {
        --pool.queued;
    }
    running += onWorker ? 1 : 0;
    lock.unlock();
    job(slot);
    lock.lock();
    running -= onWorker ? 1 : 0;
    busy[slot] = false;
    pool.events.fetch_add(1, std::memory_order_release);
    pool.done.notify_all();
}

}  // namespace huffcodec
