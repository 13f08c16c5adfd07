// SPDX-License-Identifier: MIT
//
// What the fuzz targets share: the entry point that libFuzzer and
// replay_main.cpp call, a count of runs that reached the threads, and a
// check that prints what went wrong and aborts,
// which libFuzzer reports as a crash with the input that caused it.
#ifndef FUZZ_FUZZCHECK_HPP
#define FUZZ_FUZZCHECK_HPP

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// Runs in which worker threads decoded chunks. The targets that share out
// work count them; replay_main --expect-workers fails a replay in which none
// did, so that a change that quietly stops sharing work fails a test.
inline std::size_t fuzzRunsWithWorkers = 0;

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

#endif  // FUZZ_FUZZCHECK_HPP
