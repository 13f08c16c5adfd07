// SPDX-License-Identifier: MIT
//
// Output removal after a failure.
#include "output/OutputRemover.hpp"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

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
