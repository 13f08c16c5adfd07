// What the fuzz targets share: a failed check prints what went wrong and
// aborts, which libFuzzer reports as a crash with the input that caused it.
#ifndef FUZZ_FUZZCHECK_HPP
#define FUZZ_FUZZCHECK_HPP

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

#endif  // FUZZ_FUZZCHECK_HPP
