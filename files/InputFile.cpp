// SPDX-License-Identifier: MIT
//
// Block reads over a POSIX file descriptor.
#include "InputFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

// The most one read call is asked for; well within ssize_t.
constexpr std::size_t kMaxReadBytes = std::size_t{1} << 30;

}  // namespace

InputFile::InputFile(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    // A directory opens but cannot be read: refuse it here, as a file that
    // cannot be opened.
    struct stat info {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))) {
        ::close(fd);
        fd = -1;
    }
}

InputFile::InputFile(int descriptor, const struct stat* opened) : fd(descriptor) {
    if (opened != nullptr) {
        regularFile = S_ISREG(opened->st_mode) ? 1 : 0;
        openedSize = regularFile == 1 ? static_cast<std::int64_t>(opened->st_size) : -1;
        return;
    }
    const off_t at = fd >= 0 ? ::lseek(fd, 0, SEEK_CUR) : -1;
    start = at > 0 ? static_cast<std::int64_t>(at) : 0;
}

InputFile::~InputFile() {
    if (fd >= 0) {
        ::close(fd);
    }
}

long InputFile::read(void* buffer, std::size_t size) {
    if (readError != 0) {
        return -1;
    }
    if (ended) {
        return 0;
    }
    auto* bytes = static_cast<char*>(buffer);
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = ::read(fd, bytes + filled, std::min(size - filled, kMaxReadBytes));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            readError = errno != 0 ? errno : EIO;
            return filled > 0 ? static_cast<long>(filled) : -1;
        }
        if (got == 0) {
            // The end of a file stays the end (a terminal's or a pipe's
            // too: the commands read them to the end once).
            ended = true;
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    return static_cast<long>(filled);
}

bool InputFile::regular() const {
    if (regularFile < 0) {
        struct stat info {};
        regularFile = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? 1 : 0;
    }
    return regularFile == 1;
}

bool InputFile::canSeek() const {
    return regular() || ::lseek(fd, 0, SEEK_CUR) >= 0;
}

std::int64_t InputFile::knownSize() const {
    if (openedSize >= 0) {
        return openedSize;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    regularFile = 1;
    return std::max<std::int64_t>(static_cast<std::int64_t>(info.st_size) - start, 0);
}

bool InputFile::rewind() {
    ended = false;
    return ::lseek(fd, static_cast<off_t>(start), SEEK_SET) == static_cast<off_t>(start);
}
