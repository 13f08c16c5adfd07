// SPDX-License-Identifier: MIT
//
// Output files watched for removal.
#include "output/WatchedOutput.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace {

// Creates a file that did not exist, named prefix and six characters, in
// directory: O_EXCL, so that nothing already there (a symbolic link
// included) is opened instead. Returns the descriptor and sets name, or -1
// with errno set.
int createUnique(int directory, const std::string& prefix, std::string& name) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    // The names need not be secret, only unlikely to be taken already: the
    // clock and the process mixed, a different stream for each call.
    static std::uint64_t calls = 0;
    static const auto process = static_cast<std::uint64_t>(::getpid());
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t state = static_cast<std::uint64_t>(now.tv_nsec) ^
                          (static_cast<std::uint64_t>(now.tv_sec) << 30) ^ (process << 48) ^
                          (++calls << 20);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        // splitmix64
        state += 0x9e3779b97f4a7c15u;
        std::uint64_t bits = state;
        bits = (bits ^ (bits >> 30)) * 0xbf58476d1ce4e5b9u;
        bits = (bits ^ (bits >> 27)) * 0x94d049bb133111ebu;
        bits ^= bits >> 31;
        name = prefix;
        for (int i = 0; i < 6; ++i, bits >>= 6) {
            name += kLetters[bits % (sizeof kLetters - 1)];
        }
        const int fd = ::openat(directory, name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

WatchedOutput::WatchedOutput(std::string path, bool removed, bool signals) : name(std::move(path)) {
    if (removed) {
        // Before the file is created, as are the handlers: they hold the
        // signals back until it is watched.
        remover.emplace();
        if (signals) {
            removalSignals.emplace();
        }
    }
    output.emplace(name);
    error = errno;
    if (remover) {
        remover->watch(name, output->descriptor());
    }
    if (removalSignals) {
        removalSignals->watch(*remover);
    }
}

WatchedOutput::WatchedOutput(const Directory& directory, const std::string& prefix) {
    remover.emplace();
    removalSignals.emplace();
    const int fd = createUnique(directory.descriptor(), prefix, name);
    error = errno;
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0) {
        output.emplace(fd, info);
        remover->watch(directory.descriptor(), name, info);
    } else {
        output.emplace(fd);
    }
    removalSignals->watch(*remover);
}

void WatchedOutput::keep() {
    if (remover) {
        remover->keep();
    }
}
