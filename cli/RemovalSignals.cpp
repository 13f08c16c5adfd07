// SPDX-License-Identifier: MIT
//
// Signal handlers that remove compress's output.
#include "RemovalSignals.hpp"

#include <signal.h>

#include <atomic>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// Lock-free, so that a handler may read it.
std::atomic<OutputRemover*> watched{nullptr};
static_assert(std::atomic<OutputRemover*>::is_always_lock_free);

struct sigaction previousActions[kSignalCount];
bool installed[kSignalCount];
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

RemovalSignals::~RemovalSignals() {
    // Held back meanwhile, so that a handler cannot cut the removal short.
    const sigset_t set = signalSet();
    sigprocmask(SIG_BLOCK, &set, nullptr);
    removeNow();
    watched = nullptr;
    for (int i = 0; i < kSignalCount; ++i) {
        if (installed[i]) {
            sigaction(kSignals[i], &previousActions[i], nullptr);
        }
    }
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
