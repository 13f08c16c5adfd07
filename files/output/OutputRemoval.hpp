// SPDX-License-Identifier: MIT
//
// Removing the output of a job that did not finish, so that no half-written
// file is left that looks like a valid one: OutputRemover, one output's
// removal, and RemovalSignals, the commands' SIGINT, SIGTERM and SIGHUP while
// an output is written, which remove it, then end the process as the signal
// would have ended it.
#ifndef HUFFCODEC_FILES_OUTPUTREMOVAL_HPP
#define HUFFCODEC_FILES_OUTPUTREMOVAL_HPP

#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <string>

class OutputRemover {
public:
    // Takes the memory for the name here, before the file is created, so
    // that watching it cannot fail (and off the stack, which may be small).
    OutputRemover();
    // Removes the watched file unless keep() was called.
    ~OutputRemover() { removeNow(); }
    OutputRemover(const OutputRemover&) = delete;
    OutputRemover& operator=(const OutputRemover&) = delete;

    // Watches path, just opened as descriptor (-1 if the open failed).
    void watch(const std::string& path, int descriptor);
    // Watches name in the directory held open as directory (which outlives
    // the watch), just created there as the file fstat described as info.
    void watch(int directory, const std::string& name, const struct stat& info);

    // The job succeeded: the file stays.
    void keep() { armed = 0; }
    // A file is watched, and not kept.
    bool watching() const { return armed != 0; }

    // Removes the watched file now, if there is one and keep() was not
    // called. Async-signal-safe, for the commands' signal handlers (see
    // RemovalSignals).
    void removeNow() noexcept;

private:
    // Watches watchedName in directory (AT_FDCWD: a path) as the file info
    // describes.
    void arm(int directory, const struct stat& info);

    // Filled before armed is set; removeNow reads them only while it is set.
    const std::unique_ptr<char[]> watchedName;
    int watchedDirectory = -1;
    dev_t watchedDevice = 0;
    ino_t watchedInode = 0;
    volatile sig_atomic_t armed = 0;
};

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

#endif  // HUFFCODEC_FILES_OUTPUTREMOVAL_HPP
