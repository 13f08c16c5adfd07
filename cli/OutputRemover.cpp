// SPDX-License-Identifier: MIT
//
// Signal handlers and failure clean-up for compress's output.
#include "OutputRemover.hpp"

#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// Filled before armed is set; a handler reads them only while it is set.
char watchedPath[PATH_MAX];
dev_t watchedDevice = 0;
ino_t watchedInode = 0;
volatile sig_atomic_t armed = 0;

struct sigaction previousActions[kSignalCount];
bool installed[kSignalCount];
sigset_t previousMask;

// Async-signal-safe: removes the watched name only while it still is the file
// that was opened, not one put in its place since.
void removeWatched() {
    if (armed == 0) {
        return;
    }
    armed = 0;
    struct stat info {};
    if (::lstat(watchedPath, &info) == 0 && info.st_dev == watchedDevice &&
        info.st_ino == watchedInode) {
        ::unlink(watchedPath);
    }
}

// Removes the file, then ends as the signal would have: default disposition,
// raised again, delivered once the handler returns.
void onSignal(int number) {
    removeWatched();
    ::signal(number, SIG_DFL);
    ::raise(number);
}

sigset_t signalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kSignals) {
        sigaddset(&set, signal);
    }
    return set;
}

}  // namespace

OutputRemover::OutputRemover() {
    const sigset_t set = signalSet();
    sigprocmask(SIG_BLOCK, &set, &previousMask);
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_mask = set;
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction current {};
        installed[i] = sigaction(kSignals[i], nullptr, &current) == 0 &&
                       current.sa_handler != SIG_IGN &&
                       sigaction(kSignals[i], &action, &previousActions[i]) == 0;
    }
}

OutputRemover::~OutputRemover() {
    // Held back meanwhile, so that a handler cannot cut the removal short.
    const sigset_t set = signalSet();
    sigprocmask(SIG_BLOCK, &set, nullptr);
    removeWatched();
    for (int i = 0; i < kSignalCount; ++i) {
        if (installed[i]) {
            sigaction(kSignals[i], &previousActions[i], nullptr);
        }
    }
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
}

void OutputRemover::watch(const std::string& path, int descriptor) {
    struct stat info {};
    if (descriptor >= 0 && ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
        // The file itself, through any symbolic link; path as given if that
        // cannot be resolved (it fits: open took it).
        if (::realpath(path.c_str(), watchedPath) == nullptr) {
            std::strncpy(watchedPath, path.c_str(), sizeof watchedPath - 1);
            watchedPath[sizeof watchedPath - 1] = '\0';
        }
        watchedDevice = info.st_dev;
        watchedInode = info.st_ino;
        armed = 1;
    }
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
}

void OutputRemover::removeNow() {
    removeWatched();
}

void OutputRemover::keep() {
    armed = 0;
}
