// SPDX-License-Identifier: MIT
//
// The worker threads and their queue.
#include "WorkerPool.hpp"

#include <system_error>

namespace huffcodec {

WorkerPool::WorkerPool(std::size_t slotCount, std::function<void(std::size_t)> slotJob)
    : job(std::move(slotJob)), busy(slotCount, false) {}

WorkerPool::~WorkerPool() {
    stop();
}

bool WorkerPool::start(int count) {
    for (int i = 0; i < count; ++i) {
        try {
            threads.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break;  // run with the threads there are
        }
    }
    return !threads.empty();
}

void WorkerPool::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        for (const std::size_t slot : queue) {
            busy[slot] = false;
        }
        queue.clear();
    }
    wake.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
    threads.clear();
    done.notify_all();
}

void WorkerPool::submit(std::size_t slot) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        busy[slot] = true;
        queue.push_back(slot);
    }
    wake.notify_one();
}

void WorkerPool::waitFor(std::size_t slot) {
    std::unique_lock<std::mutex> lock(mutex);
    while (busy[slot]) {
        if (queue.empty()) {
            done.wait(lock);
            continue;
        }
        const std::size_t next = queue.front();
        queue.pop_front();
        lock.unlock();
        job(next);
        lock.lock();
        busy[next] = false;
    }
}

void WorkerPool::work() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return stopping || !queue.empty(); });
        if (stopping) {
            return;
        }
        const std::size_t slot = queue.front();
        queue.pop_front();
        lock.unlock();
        job(slot);
        lock.lock();
        busy[slot] = false;
        done.notify_all();
    }
}

}  // namespace huffcodec
