// SPDX-License-Identifier: MIT
//
// Worker threads for the chunk pipelines. WorkerThreads are the threads
// themselves: started only as jobs find none idle, and kept, waiting, until
// their owner ends them, so that an embedder's calls share one set of them
// (ThreadPool) or one call has its own. A SlotQueue is one call's pipeline
// on them: jobs on numbered slots, queued in the order the slots are
// submitted, for a caller that waits for each slot in turn and runs queued
// jobs itself while it waits: so a caller that also reads and writes needs
// one thread fewer than the cores it uses, and no core is shared by two busy
// threads. Every path out of an owner ends with its threads joined.
#ifndef HUFFCODEC_ENGINE_WORKERS_HPP
#define HUFFCODEC_ENGINE_WORKERS_HPP

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Plan.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

class SlotQueue;

// Up to threadLimit threads that run the jobs of the SlotQueues attached to
// them. The destructor joins them; no SlotQueue may still be attached.
class WorkerThreads {
public:
    // With offCaller, the threads keep off the processor the constructing
    // thread runs on, where the others are enough for them.
    WorkerThreads(int threadLimit, bool offCaller);
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Joins the threads and sets up for up to threadLimit others, as the
    // constructor does, in place: a pointer to this object stays good. Waits
    // until the SlotQueues attached have stopped; queues allowed threads
    // meanwhile get none (waiting for them could wait for ever, or for a
    // queue held up by one attached). Throws std::bad_alloc, changing
    // nothing, when memory for the threads runs out.
    void restart(int threadLimit, bool offCaller);

    int limit();

private:
    friend class SlotQueue;

    // Both with the mutex held.
    void startThread();
    SlotQueue* queueWithWork() const;
    void work();
    // Spins for a little while as long as events still equals seen; the
    // caller holds no lock.
    void spinWhileUnchanged(std::uint64_t seen) const;

    std::mutex mutex;
    std::condition_variable wake;  // a slot queued, or stopping
    std::condition_variable done;  // a job finished
    std::vector<std::thread> threads;
    std::size_t threadLimit;
    bool spread = false;  // keep the threads on processors
    cpu_set_t processors{};
    std::size_t idle = 0;    // threads waiting for a job
    std::size_t queued = 0;  // slots queued over every attached queue
    bool stopping = false;
    bool restarting = false;        // in restart(): queues get no threads; done tells its end
    SlotQueue* attached = nullptr;  // the queues, in a list through their links
    // Changes, under the mutex, whenever a slot is queued, a job finishes or
    // the threads stop: a thread about to sleep watches it for a while first,
    // since waking a sleeping thread takes longer than a short wait here.
    std::atomic<std::uint64_t> events{0};
};

// A ThreadPool's threads, as the engine reaches them: one object for the
// pool's life, which create() restarts, so that a call that took it before
// never holds a dangling pointer.
struct ThreadPool::Impl {
    WorkerThreads threads{0, false};
    std::atomic<bool> created{false};  // until then, calls start threads of their own
};

class ThreadPoolAccess {
public:
    static WorkerThreads* threadsOf(const ThreadPool* pool) {
        return pool != nullptr && pool->impl && pool->impl->created.load(std::memory_order_acquire)
                   ? &pool->impl->threads
                   : nullptr;
    }
};

class SlotQueue {
public:
    // job(slot) runs for every submitted slot, on a worker thread or on the
    // caller's while it waits; it must not throw. Slots are numbered
    // 0 .. slotCount - 1.
    SlotQueue(std::size_t slotCount, std::function<void(std::size_t)> job);
    ~SlotQueue();
    SlotQueue(const SlotQueue&) = delete;
    SlotQueue& operator=(const SlotQueue&) = delete;

    // Lets workers.threadCount - 1 threads run the jobs at once. A thread
    // that cannot be started is done without: the jobs still run, on fewer;
    // while the shared threads restart, on the calling thread alone.
    void allowThreads(const Workers& workers);
    // Lets the jobs under way finish, drops the queued ones and lets no
    // thread take more; threads started for this queue alone are joined. Safe
    // to call more than once.
    void stop();

    // Queues the slot; what the caller wrote to it before is visible to the
    // job.
    void submit(std::size_t slot);
    // Waits until the slot's job has run (at once if it was never submitted),
    // running queued jobs on the calling thread meanwhile, the slot's own
    // included if no thread took it; what the job wrote is then visible to
    // the caller. With no thread allowed, every job runs here.
    void waitFor(std::size_t slot);

private:
    friend class WorkerThreads;

    // Runs the job of the first queued slot with the mutex released; lock
    // holds it before and after.
    void runQueuedJob(std::unique_lock<std::mutex>& lock, bool onWorker);
    bool wantsWorker() const { return queued > 0 && running < runLimit; }
    void detach();

    std::function<void(std::size_t)> job;
    std::unique_ptr<WorkerThreads> own;  // threads started for this queue alone
    WorkerThreads* threads = nullptr;    // own or shared; null: every job runs on the caller
    // Under threads->mutex once attached. The queued slots, first at
    // queueHead: each slot is queued at most once, so slotCount entries,
    // allocated up front, always hold them.
    std::vector<std::size_t> queue;
    std::size_t queueHead = 0;
    std::size_t queued = 0;
    std::vector<bool> busy;    // queued or running
    std::size_t running = 0;   // jobs on worker threads
    std::size_t runLimit = 0;  // worker threads at once
    SlotQueue* previous = nullptr;
    SlotQueue* next = nullptr;
    bool isAttached = false;
};

// What a pipeline's fill step made of the input.
enum class Filled {
    chunk,      // a chunk, and more may follow
    lastChunk,  // a chunk, and no more follow
    none,       // no chunk: the input ended, or failed
};

// The loop of every chunk pipeline, in chunk order: fill(k) readies chunk k in
// its slot and submits what has become whole; once slot k % slotCount's job
// has run, take(k) uses chunk k and says whether to go on. Chunks are filled
// up to ahead() beyond the next one taken. The queue is stopped on every way
// out.
template <class Fill, class Ahead, class Take>
void runInOrder(SlotQueue& queue, std::size_t slotCount, Fill&& fill, Ahead&& ahead, Take&& take) {
    std::uint64_t nextFill = 0;
    std::uint64_t nextTake = 0;
    bool more = true;
    for (;;) {
        while (more && nextFill < nextTake + ahead()) {
            const Filled filled = fill(nextFill);
            more = filled == Filled::chunk;
            nextFill += filled != Filled::none ? 1 : 0;
        }
        if (nextTake == nextFill) {
            break;
        }
        queue.waitFor(static_cast<std::size_t>(nextTake % slotCount));
        if (!take(nextTake)) {
            break;
        }
        ++nextTake;
    }
    queue.stop();
}

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_WORKERS_HPP
