// SPDX-License-Identifier: MIT
//
// Outputs renamed into place once complete.
#include "StagedOutput.hpp"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

namespace {

// The temporary file's name pattern: in the directory of path, hidden.
std::string temporaryBeside(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           ".huffcodec-XXXXXX";
}

}  // namespace

StagedOutput::StagedOutput(const std::string& path)
    : target(path), staged(temporaryBeside(path), WatchedOutput::Creation::unique, true, true) {}

int StagedOutput::commit(mode_t mode, const struct stat* like) {
    // A file system that keeps no modes or times still takes the file: what
    // matters is its content, so these two may fail.
    ::chmod(staged.path().c_str(), mode & 07777);
    if (like != nullptr) {
        const struct timespec times[2] = {like->st_atim, like->st_mtim};
        ::utimensat(AT_FDCWD, staged.path().c_str(), times, 0);
    }
    if (::rename(staged.path().c_str(), target.c_str()) != 0) {
        return errno;
    }
    staged.keep();
    return 0;
}
