// SPDX-License-Identifier: MIT
//
// The public thread pool over the engine's worker threads.
#include <algorithm>
#include <new>

#include "huffcodec/huffcodec.hpp"
#include "parallel/Workers.hpp"

namespace huffcodec {

// The threads' object is made here, not by create(), so that create() never
// replaces what calls on other threads may be reading. Without memory for
// it, create() makes it.
ThreadPool::ThreadPool() noexcept : impl(new (std::nothrow) Impl) {}
ThreadPool::~ThreadPool() = default;
ThreadPool::ThreadPool(ThreadPool&&) noexcept = default;
ThreadPool& ThreadPool::operator=(ThreadPool&&) noexcept = default;

Status ThreadPool::create(int workers, bool workersOffCaller) noexcept {
    if (workers < 0) {
        return Status::invalidArgument;
    }
    try {
        if (!impl) {
            impl = std::make_unique<Impl>();
        }
        const int wanted = workers == 0 ? availableProcessors() - 1 : workers;
        impl->threads.restart(std::min(wanted, kMaxThreads), workersOffCaller);
        impl->created.store(true, std::memory_order_release);
        return Status::ok;
    } catch (const std::bad_alloc&) {
        return Status::outOfMemory;
    }
}

int ThreadPool::workers() const noexcept {
    return impl ? impl->threads.limit() : 0;
}

}  // namespace huffcodec
