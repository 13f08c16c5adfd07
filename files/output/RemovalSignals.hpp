// SPDX-License-Identifier: MIT
//
// The commands' SIGINT, SIGTERM and SIGHUP while compress writes its output:
// the output is removed, then the process ends as the signal would have
// ended it.
#ifndef HUFFCODEC_FILES_REMOVALSIGNALS_HPP
#define HUFFCODEC_FILES_REMOVALSIGNALS_HPP

#include "output/OutputRemover.hpp"

// The handlers are the process's, so a process has at most one of these at a
// time; not for a library that another program loads.
class RemovalSignals {
public:
    // Installs the handlers, the first time (a signal ignored at start-up
    // stays ignored; with nothing watched, a handler ends the process as the
    // signal's default action would), and holds the three signals back until
    // watch(), so that one arriving between creating the file and watching
    // it still removes it.
    RemovalSignals();
    // Removes the watched file unless it was kept, and watches none.
    ~RemovalSignals();
    RemovalSignals(const RemovalSignals&) = delete;
    RemovalSignals& operator=(const RemovalSignals&) = delete;

    // Hands remover, which outlives this, to the handlers and lets the held
    // signals through.
    void watch(OutputRemover& remover);

    // Removes the watched file now, if there is one. Async-signal-safe, for
    // the last resort of a process that cannot unwind.
    static void removeNow();
};

#endif  // HUFFCODEC_FILES_REMOVALSIGNALS_HPP
