// SPDX-License-Identifier: MIT
//
// The public thread pool over the engine's worker threads.
#include <algorithm>
#include <new>

#include "Workers.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

ThreadPool::ThreadPool() noexcept = default;
ThreadPool::~ThreadPool() = default;
ThreadPool::ThreadPool(ThreadPool&&) noexcept = default;
ThreadPool& ThreadPool::operator=(ThreadPool&&) noexcept = default;

Status ThreadPool::create(int workers, bool workersOffCaller) noexcept {
    impl.reset();
    if (workers < 0) {
        return Status::invalidArgument;
    }
    try {
        const int wanted = workers == 0 ? availableProcessors() - 1 : workers;
        impl = std::make_unique<Impl>(std::min(wanted, kMaxThreads), workersOffCaller);
        return Status::ok;
    } catch (const std::bad_alloc&) {
        return Status::outOfMemory;
    }
}

int ThreadPool::workers() const noexcept {
    return impl ? impl->threads.limit() : 0;
}

}  // namespace huffcodec
