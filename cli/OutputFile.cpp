// SPDX-License-Identifier: MIT
//
// Block writes over a POSIX file descriptor.
#include "OutputFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// The most one write call is asked to take; well within ssize_t.
constexpr std::size_t kMaxWriteBytes = std::size_t{1} << 30;

// A regular file takes its bytes in blocks of this size, at offsets that are
// multiples of it: the page cache then holds them in large folios, and a
// write costs far less than the pieces a decoder hands on one by one (here,
// 40 MB in writes of 43 KB took 23 ms, in writes of 1 MiB 13 ms).
constexpr std::size_t kStageBytes = std::size_t{1} << 20;
static_assert(kStageBytes <= kMaxWriteBytes);

// Blocks queued for the background writer at most; one more is being filled.
constexpr std::size_t kQueuedBlocks = 2;

}  // namespace

// The thread that writes full blocks in order while the caller fills the
// next one. After a failed write it drops what comes, so that the caller
// never waits for a block that will not be written.
class OutputFile::BackgroundWriter {
public:
    explicit BackgroundWriter(OutputFile& output) : file(output) {}
    ~BackgroundWriter() { finish(); }
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // Allocates the spare blocks and starts the thread; false if either fails.
    bool start() {
        for (std::size_t i = 0; i < kQueuedBlocks; ++i) {
            std::unique_ptr<char[]> block(new (std::nothrow) char[kStageBytes]);
            if (!block) {
                return false;
            }
            spare.push_back(std::move(block));
        }
        try {
            thread = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    // Queues the first size bytes of block and hands back an empty block to
    // fill, waiting while every block is queued; false once a write failed.
    bool exchange(std::unique_ptr<char[]>& block, std::size_t size) {
        std::unique_lock<std::mutex> lock(mutex);
        if (failed) {
            return false;
        }
        queue.push_back({std::move(block), size});
        queued.notify_one();
        freed.wait(lock, [&] { return !spare.empty(); });
        block = std::move(spare.back());
        spare.pop_back();
        return !failed;
    }

    // Writes what is queued and joins the thread; false if a write failed.
    bool finish() {
        if (thread.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                stopping = true;
            }
            queued.notify_one();
            thread.join();
        }
        return !failed;
    }

private:
    struct Block {
        std::unique_ptr<char[]> bytes;
        std::size_t size;
    };

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            queued.wait(lock, [&] { return stopping || !queue.empty(); });
            if (queue.empty()) {
                return;  // stopping, and all written
            }
            Block block = std::move(queue.front());
            queue.pop_front();
            const bool skip = failed;
            lock.unlock();
            const bool ok = skip || file.writeThrough(block.bytes.get(), block.size);
            lock.lock();
            failed = failed || !ok;
            spare.push_back(std::move(block.bytes));
            freed.notify_one();
        }
    }

    OutputFile& file;
    std::mutex mutex;
    std::condition_variable queued;  // a block queued, or stopping
    std::condition_variable freed;   // a block written (or dropped)
    std::deque<Block> queue;
    std::vector<std::unique_ptr<char[]>> spare;
    bool stopping = false;
    bool failed = false;
    std::thread thread;
};

OutputFile::OutputFile(const std::string& path)
    : fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
    stageIfRegular();
}

OutputFile::OutputFile(int descriptor) : fd(descriptor) {
    stageIfRegular();
}

void OutputFile::writeInBackground() {
    if (!stage || background) {
        return;
    }
    auto writer = std::make_unique<BackgroundWriter>(*this);
    if (writer->start()) {
        background = std::move(writer);
    }
}

void OutputFile::stageIfRegular() {
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        // Without the block, writes go straight through.
        stage.reset(new (std::nothrow) char[kStageBytes]);
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
    if (!stage) {
        return writeThrough(bytes, size);
    }
    while (size > 0) {
        // Whole blocks go straight from the caller's buffer, unless a thread
        // writes them after this call has returned.
        if (!background && staged == 0 && size >= kStageBytes) {
            const std::size_t whole = size - size % kStageBytes;
            if (!writeThrough(bytes, whole)) {
                return false;
            }
            bytes += whole;
            size -= whole;
            continue;
        }
        const std::size_t n = std::min(size, kStageBytes - staged);
        std::memcpy(stage.get() + staged, bytes, n);
        staged += n;
        bytes += n;
        size -= n;
        if (staged == kStageBytes && !flush()) {
            return false;
        }
    }
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
            return false;
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool OutputFile::flush() {
    const std::size_t size = staged;
    staged = 0;
    if (background) {
        return size == 0 || background->exchange(stage, size);
    }
    return size == 0 || writeThrough(stage.get(), size);
}

bool OutputFile::close() {
    if (fd < 0) {
        return true;
    }
    bool flushed = flush();
    if (background) {
        flushed = background->finish() && flushed;
        background.reset();
    }
    const int result = ::close(fd);
    fd = -1;
    // Linux releases the descriptor even when close is interrupted, and every
    // write has already succeeded: only another error counts.
    return flushed && (result == 0 || errno == EINTR);
}
