// SPDX-License-Identifier: MIT
//
// Outputs renamed into place once complete.
#include "output/StagedOutput.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

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
