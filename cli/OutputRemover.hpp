// SPDX-License-Identifier: MIT
//
// Removing compress's output file when the command fails or is stopped by
// SIGINT, SIGTERM or SIGHUP, so that no half-written file is left that looks
// like a valid one.
#ifndef HUFFCODEC_CLI_OUTPUTREMOVER_HPP
#define HUFFCODEC_CLI_OUTPUTREMOVER_HPP

#include <string>

// Only a regular file is removed: a device or a pipe is left alone. The signal
// handlers share one state, so a process has at most one remover at a time.
class OutputRemover {
public:
    // Installs the handlers (a signal ignored at start-up stays ignored) and
    // holds the three signals back until watch(), so that one arriving
    // between creating the file and watching it still removes it.
    OutputRemover();
    // Removes the watched file unless keep() was called, and puts the former
    // handlers back.
    ~OutputRemover();
    OutputRemover(const OutputRemover&) = delete;
    OutputRemover& operator=(const OutputRemover&) = delete;

    // Watches path, just opened as descriptor (-1 if the open failed), and
    // lets the held signals through.
    void watch(const std::string& path, int descriptor);

    // The command succeeded: the file stays.
    void keep();

    // Removes the watched file now, if there is one. Async-signal-safe, for
    // the last resort of a process that cannot unwind.
    static void removeNow();
};

#endif  // HUFFCODEC_CLI_OUTPUTREMOVER_HPP
