// SPDX-License-Identifier: MIT
//
// How many threads a command runs: HUFFCODEC_THREADS (or huffcodec's -T) if
// it holds a whole number from 1 to 1024 (leading zeros allowed), else the
// processors available to the process, which 0 asks for too.
#ifndef HUFFCODEC_COMMANDS_THREADCOUNT_HPP
#define HUFFCODEC_COMMANDS_THREADCOUNT_HPP

#include <string>

// Reads HUFFCODEC_THREADS. A value that is not a thread count is ignored with
// one warning line on standard error, the value quoted with odd bytes escaped
// and cut short.
int threadCountFromEnvironment();

// text as a thread count (0: every available processor, as the library
// counts it), or -1 if it is not a whole number from 0 to 1024 (digits only,
// leading zeros allowed).
int parseThreadCount(const std::string& text);

#endif  // HUFFCODEC_COMMANDS_THREADCOUNT_HPP
