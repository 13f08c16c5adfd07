// SPDX-License-Identifier: MIT
//
// Signal handlers that remove compress's output.
#include "output/RemovalSignals.hpp"

#include <signal.h>

#include <atomic>

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
