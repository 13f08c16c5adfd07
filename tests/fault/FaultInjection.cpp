// SPDX-License-Identifier: MIT
//
// Preloaded into a command (LD_PRELOAD), makes one read, write (or writev) or
// close of one file fail or come up short, so that a test can strike every
// call in turn: FAULT_OP=read|write|close, FAULT_AT=N (the Nth such call on
// the file, from 1), FAULT_KIND=eio|short|eintr (fail with EIO; move half
// the bytes, at least one; fail with EINTR having done nothing; a struck
// close releases the descriptor first, as Linux does), FAULT_PATH=file
// (matched by device and inode; unset, every descriptor above 2),
// FAULT_REPORT=file (created once the fault has struck, holding the struck
// file's offset then). With FAULT_OP=read, FAULT_OFFSET=N strikes at a place
// in the file instead of a call: a read that would cross offset N stops
// there, and every read from N on fails with EIO, however the reads are
// sized.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Plain pointers and numbers: zero, and so harmless, in a call that comes
// before they are initialised.
const char* const op = std::getenv("FAULT_OP");
const long at = std::getenv("FAULT_AT") ? std::atol(std::getenv("FAULT_AT")) : 0;
const char* const kind = std::getenv("FAULT_KIND");
const char* const path = std::getenv("FAULT_PATH");
const char* const report = std::getenv("FAULT_REPORT");
const long long offset = std::getenv("FAULT_OFFSET") ? std::atoll(std::getenv("FAULT_OFFSET")) : -1;
long calls = 0;

bool is(const char* value, const char* text) {
    return value != nullptr && std::strcmp(value, text) == 0;
}

template <class Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// True when a call of callOp on fd is one the settings aim at.
bool aimedAt(const char* callOp, int fd) {
    struct stat file {};
    struct stat target {};
    return is(op, callOp) && fd > 2 &&
           (path == nullptr || (fstat(fd, &file) == 0 && stat(path, &target) == 0 &&
                                file.st_dev == target.st_dev && file.st_ino == target.st_ino));
}

// True when this call is the one to strike.
bool strikes(const char* callOp, int fd) {
    if (!aimedAt(callOp, fd) || ++calls != at) {
        return false;
    }
    if (report != nullptr) {
        // The report holds the file's offset when it was struck.
        const int reportFd = open(report, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        char text[24];
        const int size = std::snprintf(text, sizeof text, "%lld",
                                       static_cast<long long>(lseek(fd, 0, SEEK_CUR)));
        next<ssize_t (*)(int, const void*, size_t)>("write")(reportFd, text,
                                                             static_cast<size_t>(size));
        next<int (*)(int)>("close")(reportFd);
    }
    return true;
}

// Fails the struck call, or passes it on, shortened if it is to be short.
template <class Buffer>
ssize_t transfer(const char* callOp, ssize_t (*real)(int, Buffer, size_t), int fd, Buffer data,
                 size_t size) {
    if (offset >= 0) {
        const long long position = aimedAt(callOp, fd) ? lseek(fd, 0, SEEK_CUR) : -1;
        if (position >= offset) {
            errno = EIO;
            return -1;
        }
        if (position >= 0 && static_cast<long long>(size) > offset - position) {
            size = static_cast<size_t>(offset - position);
        }
        return real(fd, data, size);
    }
    const bool struck = strikes(callOp, fd);
    if (struck && !is(kind, "short")) {
        errno = is(kind, "eintr") ? EINTR : EIO;
        return -1;
    }
    return real(fd, data, struck ? (size + 1) / 2 : size);
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
    static const auto real = next<ssize_t (*)(int, void*, size_t)>("read");
    return transfer("read", real, fd, buffer, size);
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    return transfer("write", real, fd, data, size);
}

// A gathered write counts as a write: struck, it fails or takes half the
// bytes (at least one), spread over the pieces in order.
extern "C" ssize_t writev(int fd, const struct iovec* pieces, int count) {
    static const auto real = next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    if (!strikes("write", fd)) {
        return real(fd, pieces, count);
    }
    if (!is(kind, "short")) {
        errno = is(kind, "eintr") ? EINTR : EIO;
        return -1;
    }
    size_t total = 0;
    for (int i = 0; i < count; ++i) {
        total += pieces[i].iov_len;
    }
    struct iovec shortened[16];
    int taken = 0;
    for (size_t left = (total + 1) / 2; left > 0 && taken < count && taken < 16; ++taken) {
        shortened[taken] = pieces[taken];
        shortened[taken].iov_len = pieces[taken].iov_len < left ? pieces[taken].iov_len : left;
        left -= shortened[taken].iov_len;
    }
    return real(fd, shortened, taken);
}

extern "C" int close(int fd) {
    static const auto real = next<int (*)(int)>("close");
    const bool struck = strikes("close", fd);
    const int result = real(fd);
    if (struck && !is(kind, "short")) {
        errno = is(kind, "eintr") ? EINTR : EIO;
        return -1;
    }
    return result;
}
