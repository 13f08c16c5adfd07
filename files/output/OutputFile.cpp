// SPDX-License-Identifier: MIT
//
// Page-aligned writes over a POSIX file descriptor.
#include "output/OutputFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

// The most one write call is asked to take; well within ssize_t.
constexpr std::size_t kMaxWriteBytes = std::size_t{1} << 30;

// The page cache takes whole pages at page-aligned offsets without reading
// or clearing the rest of a page, and large writes in large folios: 40 MB in
// unaligned writes of 43 KB took 23 ms here, in 1 MiB blocks 13 ms. So a
// regular file gets nothing smaller than kDirectBytes but its last bytes,
// and pieces below it are held back on a stage. The whole pages of a larger
// piece go straight from the caller's buffer, behind the staged bytes topped
// up to a page boundary, in one call: the decoder hands over its output in
// pieces of 16 to 64 KB, and copying them onto a stage cost about as much
// again as the kernel's copy (40 MB of text to a new file: 35.8 ms through
// 1 MiB blocks, 31.8 ms so).
constexpr std::size_t kDirectBytes = std::size_t{64} << 10;

std::size_t pageBytes() {
    static const std::size_t page = [] {
        const long size = ::sysconf(_SC_PAGESIZE);
        return size > 0 ? static_cast<std::size_t>(size) : std::size_t{4096};
    }();
    return page;
}

// The stage: whole pages, at least kDirectBytes of them.
std::size_t stageBytes() {
    const std::size_t page = pageBytes();
    return std::max(kDirectBytes, page) / page * page;
}

}  // namespace

void OutputFile::Release::operator()(char* block) const {
    ::operator delete[](block, std::align_val_t{pageBytes()});
}

OutputFile::OutputFile(const std::string& path)
    : fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
    stageIfRegular();
}

OutputFile::OutputFile(int descriptor) : fd(descriptor) {
    stageIfRegular();
}

OutputFile::OutputFile(int descriptor, const struct stat& info) : fd(descriptor) {
    stage(fd >= 0 && S_ISREG(info.st_mode));
}

void OutputFile::stageIfRegular() {
    struct stat info {};
    stage(fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode));
}

void OutputFile::stage(bool regular) {
    if (regular) {
        // Without the stage, writes go straight through.
        held.reset(static_cast<char*>(
            ::operator new[](stageBytes(), std::align_val_t{pageBytes()}, std::nothrow)));
    }
}

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
    if (!held) {
        return writeThrough(bytes, size);
    }
    if (staged + size < stageBytes()) {
        std::memcpy(held.get() + staged, bytes, size);
        staged += size;
        return true;
    }
    // The staged bytes end on a page boundary, within the stage: it holds
    // whole pages, and staged + size reaches its end.
    const std::size_t page = pageBytes();
    const std::size_t fill = std::min((page - staged % page) % page, size);
    std::memcpy(held.get() + staged, bytes, fill);
    staged += fill;
    bytes += fill;
    size -= fill;
    const std::size_t whole = size - size % page;
    if (!writeStagedAnd(bytes, whole)) {
        return false;
    }
    std::memcpy(held.get(), bytes + whole, size - whole);
    staged = size - whole;
    return true;
}

bool OutputFile::writeThrough(const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, std::min(size, kMaxWriteBytes));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        // A write that takes nothing would be retried for ever.
        if (put <= 0) {
            return fail(put < 0 ? errno : EIO);
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool OutputFile::writeStagedAnd(const char* bytes, std::size_t size) {
    const char* head = held.get();
    std::size_t headSize = staged;
    staged = 0;
    while (headSize > 0 || size > 0) {
        iovec pieces[2];
        int count = 0;
        if (headSize > 0) {
            pieces[count++] = {const_cast<char*>(head), headSize};
        }
        const std::size_t tail = std::min(size, kMaxWriteBytes);
        if (tail > 0) {
            pieces[count++] = {const_cast<char*>(bytes), tail};
        }
        const ssize_t put = ::writev(fd, pieces, count);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        // A write that takes nothing would be retried for ever.
        if (put <= 0) {
            return fail(put < 0 ? errno : EIO);
        }
        auto taken = static_cast<std::size_t>(put);
        const std::size_t fromHead = std::min(taken, headSize);
        head += fromHead;
        headSize -= fromHead;
        taken -= fromHead;
        bytes += taken;
        size -= taken;
    }
    return true;
}

bool OutputFile::fail(int error) {
    if (writeError == 0) {
        writeError = error;
    }
    return false;
}

bool OutputFile::flush() {
    const std::size_t waiting = staged;
    staged = 0;
    return waiting == 0 || writeThrough(held.get(), waiting);
}

bool OutputFile::close() {
    if (fd < 0) {
        return true;
    }
    const bool flushed = flush();
    const int result = ::close(fd);
    fd = -1;
    // Linux releases the descriptor even when close is interrupted, and every
    // write has already succeeded: only another error counts.
    if (result != 0 && errno != EINTR) {
        return fail(errno);
    }
    return flushed;
}
