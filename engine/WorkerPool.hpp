// SPDX-License-Identifier: MIT
//
// Worker threads that run one job on numbered slots, in the order the slots
// are submitted, for a caller that waits for each slot in turn and runs queued
// jobs itself while it waits: so a caller that also reads and writes needs one
// thread fewer than the cores it uses, and no core is shared by two busy
// threads. Threads are started only as submitted jobs find none idle, so a
// short input starts few or none. Every path out of the owner ends with every
// thread joined: the destructor stops them.
#ifndef HUFFCODEC_ENGINE_WORKERPOOL_HPP
#define HUFFCODEC_ENGINE_WORKERPOOL_HPP

#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

inline constexpr auto kMinThreadedBytes = static_cast<std::uint64_t>(kMinThreadedSize);

// The bytes from which work is shared out over chunks of chunkBytes: a chunk
// size the caller chose (tests, benchmarks; 0: none) scales kMinThreadedBytes
// down to 16 chunks, so that small inputs reach the threads too.
constexpr std::uint64_t minThreadedBytes(std::size_t chosenChunkBytes) {
    return chosenChunkBytes == 0 ? kMinThreadedBytes : 16 * std::uint64_t{chosenChunkBytes};
}

class WorkerPool {
public:
    // job(slot) runs on a worker thread for every submitted slot; it must not
    // throw. Slots are numbered 0 .. slotCount - 1.
    WorkerPool(std::size_t slotCount, std::function<void(std::size_t)> job);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Lets up to count threads run the jobs; each is started when a job is
    // submitted while every thread started before is busy. A thread that
    // cannot be started is done without: the jobs still run, on fewer. With
    // offCaller, the threads keep off the caller's processor when the others
    // are enough for them.
    void allowThreads(int count, bool offCaller);
    // Lets the jobs under way finish, drops the queued ones and joins every
    // thread; no thread starts after it. Safe to call more than once.
    void stop();

    // Queues the slot; what the caller wrote to it before is visible to the
    // job.
    void submit(std::size_t slot);
    // Waits until the slot's job has run (at once if it was never submitted),
    // running queued jobs on the calling thread meanwhile, the slot's own
    // included if no thread took it; what the job wrote is then visible to
    // the caller. With no thread started, every job runs here.
    void waitFor(std::size_t slot);

private:
    void startThread();
    void work();
    // Runs the job of the first queued slot with the mutex released; lock
    // holds it before and after.
    void runQueuedJob(std::unique_lock<std::mutex>& lock);
    // Spins for a little while as long as events still equals seen; the
    // caller holds no lock.
    void spinWhileUnchanged(std::uint64_t seen) const;

    std::function<void(std::size_t)> job;
    // Touched by the owner's thread only.
    std::vector<std::thread> threads;
    std::size_t threadLimit = 0;
    bool spread = false;  // keep the threads on processors
    cpu_set_t processors{};
    std::mutex mutex;
    std::condition_variable wake;  // a slot queued, or stopping
    std::condition_variable done;  // a job finished
    // The queued slots, first at queueHead: each slot is queued at most once,
    // so slotCount entries, allocated up front, always hold them.
    std::vector<std::size_t> queue;
    std::size_t queueHead = 0;
    std::size_t queued = 0;
    std::vector<bool> busy;  // queued or running
    std::size_t idle = 0;    // threads waiting for a job
    bool stopping = false;
    // Changes, under the mutex, whenever a slot is queued, a job finishes or
    // the pool stops: a thread about to sleep watches it for a while first,
    // since waking a sleeping thread takes longer than a short wait here.
    std::atomic<std::uint64_t> events{0};
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_WORKERPOOL_HPP
