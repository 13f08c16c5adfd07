// SPDX-License-Identifier: MIT
//
// Output removal after a failure or a signal.
#include "output/OutputRemoval.hpp"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

OutputRemover::OutputRemover() : watchedName(new char[PATH_MAX]) {}

namespace {

void copyName(char* to, const std::string& name) {
    std::strncpy(to, name.c_str(), PATH_MAX - 1);
    to[PATH_MAX - 1] = '\0';
}

}  // namespace

void OutputRemover::watch(const std::string& path, int descriptor) {
    // The file itself, through any symbolic link; path as given if that
    // cannot be resolved (it fits: open took it).
    if (::realpath(path.c_str(), watchedName.get()) == nullptr) {
        copyName(watchedName.get(), path);
    }
    struct stat info {};
    if (descriptor >= 0 && ::fstat(descriptor, &info) == 0) {
        arm(AT_FDCWD, info);
    }
}

void OutputRemover::watch(int directory, const std::string& name, const struct stat& info) {
    copyName(watchedName.get(), name);
    arm(directory, info);
}

void OutputRemover::arm(int directory, const struct stat& info) {
    if (S_ISREG(info.st_mode)) {
        watchedDirectory = directory;
        watchedDevice = info.st_dev;
        watchedInode = info.st_ino;
        armed = 1;
    }
}

void OutputRemover::removeNow() noexcept {
    if (armed == 0) {
        return;
    }
    armed = 0;
    struct stat info {};
    if (::fstatat(watchedDirectory, watchedName.get(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        info.st_dev == watchedDevice && info.st_ino == watchedInode) {
        ::unlinkat(watchedDirectory, watchedName.get(), 0);
    }
}

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Lock-free, so that a handler may read it.
std::atomic<OutputRemover*> watched{nullptr};
static_assert(std::atomic<OutputRemover*>::is_always_lock_free);

sigset_t previousMask;

// Removes the file, then ends as the signal would have: default disposition,
// raised again, delivered once the handler returns.
void onSignal(int number) {
    RemovalSignals::removeNow();
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

RemovalSignals::RemovalSignals() {
    const sigset_t set = signalSet();
    sigprocmask(SIG_BLOCK, &set, &previousMask);
    // Installed once for the run, not for every file: with nothing watched,
    // a handler ends the process as the default action would.
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_mask = set;
    for (const int signal : kSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaction(signal, &action, nullptr);
        }
    }
}

RemovalSignals::~RemovalSignals() {
    OutputRemover* const remover = watched.load();
    if (remover != nullptr && !remover->watching()) {
        // Watched (so the signals were let through) and kept: nothing to
        // remove, and a handler that runs meanwhile finds nothing either.
        watched = nullptr;
        return;
    }
    // Held back meanwhile, so that a handler cannot cut the removal short.
    const sigset_t set = signalSet();
    sigprocmask(SIG_BLOCK, &set, nullptr);
    removeNow();
    watched = nullptr;
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
}

void RemovalSignals::watch(OutputRemover& remover) {
    watched = &remover;
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
}

void RemovalSignals::removeNow() {
    OutputRemover* const remover = watched.load();
    if (remover != nullptr) {
        remover->removeNow();
    }
}
