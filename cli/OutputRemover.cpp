// SPDX-License-Identifier: MIT
//
// Output removal after a failure.
#include "OutputRemover.hpp"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

OutputRemover::OutputRemover() : watchedPath(new char[PATH_MAX]) {}

void OutputRemover::watch(const std::string& path, int descriptor) {
    struct stat info {};
    if (descriptor >= 0 && ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
        // The file itself, through any symbolic link; path as given if that
        // cannot be resolved (it fits: open took it).
        if (::realpath(path.c_str(), watchedPath.get()) == nullptr) {
            std::strncpy(watchedPath.get(), path.c_str(), PATH_MAX - 1);
            watchedPath[PATH_MAX - 1] = '\0';
        }
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
    if (::lstat(watchedPath.get(), &info) == 0 && info.st_dev == watchedDevice &&
        info.st_ino == watchedInode) {
        ::unlink(watchedPath.get());
    }
}
