// SPDX-License-Identifier: MIT
//
// Block writes over a POSIX file descriptor.
#include "OutputFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

// The most one write call is asked to take; well within ssize_t.
constexpr std::size_t kMaxWriteBytes = std::size_t{1} << 30;

}  // namespace

OutputFile::OutputFile(const std::string& path)
    : fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {}

OutputFile::~OutputFile() {
    close();
}

bool OutputFile::wouldOverwrite(const std::string& path, const std::string& input) {
    struct stat pathInfo {};
    struct stat inputInfo {};
    return ::stat(path.c_str(), &pathInfo) == 0 && ::stat(input.c_str(), &inputInfo) == 0 &&
           pathInfo.st_dev == inputInfo.st_dev && pathInfo.st_ino == inputInfo.st_ino;
}

bool OutputFile::write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, std::min(size, kMaxWriteBytes));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        // A write that takes nothing would be retried for ever.
        if (put <= 0) {
            return false;
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool OutputFile::close() {
    if (fd < 0) {
        return true;
    }
    const int result = ::close(fd);
    fd = -1;
    // Linux releases the descriptor even when close is interrupted, and every
    // write has already succeeded: only another error counts.
    return result == 0 || errno == EINTR;
}
