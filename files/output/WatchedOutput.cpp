// SPDX-License-Identifier: MIT
//
// Outputs watched for removal, and staged beside their final name.
#include "output/WatchedOutput.hpp"

#include <fcntl.h>
#include <stdio.h>
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

namespace {

// Gives the file open as fd the owner and group of like where the process may
// (root may give it any; others may give it a group they belong to), then its
// permission bits: the set-user-ID and set-group-ID bits only where the file
// has the owner and group they came with, as cp -p keeps them, so that
// nobody's program runs as anyone else. A new file belongs to the process,
// in group, until changed.
void copyOwnerAndMode(int fd, const struct stat& like, gid_t group) {
    static const uid_t processOwner = ::geteuid();
    uid_t owner = processOwner;
    if (owner != like.st_uid || group != like.st_gid) {
        // The owner first: a change of owner clears the set-ID bits.
        if (::fchown(fd, like.st_uid, like.st_gid) == 0) {
            owner = like.st_uid;
            group = like.st_gid;
        } else if (group != like.st_gid && ::fchown(fd, static_cast<uid_t>(-1), like.st_gid) == 0) {
            group = like.st_gid;
        }
    }
    mode_t mode = like.st_mode & 07777;
    if (owner != like.st_uid || group != like.st_gid) {
        mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    }
    ::fchmod(fd, mode);
}

}  // namespace

StagedOutput::StagedOutput(const Directory& outputDirectory, std::string name)
    : directory(outputDirectory), target(std::move(name)), staged(directory, ".huffcodec-") {}

int StagedOutput::commit(const struct stat* like, mode_t newFileMode) {
    OutputFile& output = staged.file();
    // A file system that keeps no owners, modes or times still takes the
    // file: what matters is its content, so these may fail.
    if (like != nullptr) {
        copyOwnerAndMode(output.descriptor(), *like, directory.newFileGroup());
        const struct timespec times[2] = {like->st_atim, like->st_mtim};
        ::futimens(output.descriptor(), times);
    } else {
        ::fchmod(output.descriptor(), newFileMode & 07777);
    }
    if (!output.close()) {
        return output.error();
    }
    if (::renameat(directory.descriptor(), staged.path().c_str(), directory.descriptor(),
                   target.c_str()) != 0) {
        return errno;
    }
    staged.keep();
    return 0;
}
