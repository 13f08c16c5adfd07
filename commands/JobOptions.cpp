// SPDX-License-Identifier: MIT
//
// Threads and the worker pool of a command's jobs.
#include "JobOptions.hpp"

JobOptions::JobOptions(int threads) {
    libraryOptions.threads = threads;
    tuning.workersOffCaller = true;
    libraryOptions.tuning = &tuning;
    // Without a pool (no memory for one), each call starts its own workers.
    const int resolved = threads == 0 ? huffcodec::availableProcessors() : threads;
    if (resolved > 1 && workers.create(resolved - 1, true) == huffcodec::Status::ok) {
        libraryOptions.pool = &workers;
    }
}
