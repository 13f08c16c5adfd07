// SPDX-License-Identifier: MIT
//
// Output files watched for removal.
#include "WatchedOutput.hpp"

#include <fcntl.h>
#include <stdlib.h>

#include <cerrno>
#include <utility>

WatchedOutput::WatchedOutput(std::string path, Creation creation, bool removed, bool signals)
    : name(std::move(path)) {
    if (removed) {
        // Before the file is created, as are the handlers: they hold the
        // signals back until it is watched.
        remover.emplace();
        if (signals) {
            removalSignals.emplace();
        }
    }
    if (creation == Creation::truncate) {
        output.emplace(name);
    } else {
        output.emplace(::mkostemp(name.data(), O_CLOEXEC));
    }
    error = errno;
    if (remover) {
        remover->watch(name, output->descriptor());
    }
    if (removalSignals) {
        removalSignals->watch(*remover);
    }
}

void WatchedOutput::keep() {
    if (remover) {
        remover->keep();
    }
}
