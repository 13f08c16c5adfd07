// SPDX-License-Identifier: MIT
//
// huffcodec: reading and writing files packed with a static, byte-oriented
// Huffman code.
//
// A compressed file is a 1024-byte header of 256 little-endian signed 32-bit
// counts (entry i: how often byte value i occurs in the original data; their
// sum is the original size, at most 2147483647) followed by the body: the code
// of every original byte in order, packed least significant bit first. The
// code tree is rebuilt from the counts by fixed pairing rules and never
// stored. Anything after the bits the decoder needs is ignored. docs/format.md
// in the source describes the format in full.
//
// Three ways in:
//  - over buffers in memory: compressBound(), compress(), readHeader(),
//    decompress();
//  - streaming, for data of any size in bounded memory: countBytes(), then an
//    Encoder; readHeader() on the first 1024 bytes, then a Decoder. Both pull
//    input through a ReadFn and push output through a WriteFn;
//  - streams the caller drives, with input and output in pieces of any size
//    (InBuffer, OutBuffer): DecompressStream for a whole file, CompressStream
//    for the second pass over data whose counts are known.
//
// Threads: every call works on the calling thread alone unless
// Options::threads asks for more; then large data is shared out among
// threads, with the same result on every count. A ThreadPool lets many calls
// share one set of them.
//
// Counts: every result says how many bytes of input the call consumed and
// how many bytes of output it produced, the 1024-byte header counted on the
// compressed side.
//
// Tuning knobs for tests and benchmarks (lanes, segment and chunk sizes, the
// decoding kernel, statistics) are in huffcodec/experimental.hpp, outside
// the stable interface.
//
// No function throws. Every failure is a Status; statusMessage() describes it.
// Running out of memory is reported as Status::outOfMemory.
//
// Thread safety: every function may be called from several threads at once on
// different arguments. A built Decoder or Encoder is immutable: one object may
// serve several threads at once, each call with its own callbacks. A
// DecompressStream or CompressStream keeps the state of its file and serves
// one thread at a time; a ThreadPool serves any number at once.
#ifndef HUFFCODEC_HUFFCODEC_HPP
#define HUFFCODEC_HUFFCODEC_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "huffcodec/version.hpp"

// The shared library exports these names and nothing else.
#ifndef HUFFCODEC_API
#if defined(__GNUC__)
#define HUFFCODEC_API __attribute__((visibility("default")))
#else
#define HUFFCODEC_API
#endif
#endif

namespace huffcodec {

// Size of the count header that starts every compressed file.
inline constexpr std::size_t kHeaderBytes = 1024;
// The largest original size a header can describe.
inline constexpr std::int64_t kMaxOriginalSize = 2147483647;
// Data of fewer original bytes than this is handled on the calling thread
// alone, whatever Options::threads asks for: starting threads would cost more
// than they save.
inline constexpr std::int64_t kMinThreadedSize = std::int64_t{4} << 20;

// The most threads one call runs: a larger Options::threads (up to INT_MAX)
// runs as this many, and a ThreadPool holds at most this many workers.
inline constexpr int kMaxThreads = 256;

// The numbers are fixed: the C interface (huffcodec.h) gives them the same
// values, and a value once given is never changed or reused.
enum class Status : int {
    ok = 0,
    headerTooShort = 1,  // fewer than kHeaderBytes bytes
    negativeCount = 2,   // a header entry below 0
    sizeTooLarge = 3,    // header entries adding up past kMaxOriginalSize
    truncatedBody = 4,   // the body ends before the last code does
    readError = 5,       // the ReadFn reported an error
    writeError = 6,      // the WriteFn reported an error
    outputTooSmall = 7,  // the output buffer cannot hold the result
    inputTooLarge = 8,   // more than kMaxOriginalSize bytes to compress
    inputChanged = 9,    // the second pass of an Encoder saw other bytes than counted
    outOfMemory = 10,
    internalError = 11,    // a broken internal guarantee; never expected
    invalidArgument = 12,  // options out of range, an empty callback, a Decoder or
                           // Encoder not built, or buffers that overlap
};

// A short English description of status, e.g. "truncated body". Never null.
HUFFCODEC_API const char* statusMessage(Status status) noexcept;
// The status's name as written here, e.g. "truncatedBody"; "unknown" for a
// value that is none of them. Never null.
HUFFCODEC_API const char* statusName(Status status) noexcept;

// What a header says.
struct Header {
    std::array<std::int32_t, 256> counts{};  // entry i: occurrences of byte value i
    std::int64_t originalSize = 0;           // sum of counts
    int distinctBytes = 0;                   // entries that are not 0
};

struct HeaderResult {
    Status status;  // ok, headerTooShort, negativeCount or sizeTooLarge
    Header header;  // valid when status is ok
};

// Reads the header at the start of size bytes of in (size may include the
// body). Entries are checked in index order; the first that is missing,
// negative or takes the sum past kMaxOriginalSize decides the status.
HUFFCODEC_API HeaderResult readHeader(const void* in, std::size_t size) noexcept;

// Encodes header as the 1024 bytes that start a compressed file.
HUFFCODEC_API std::array<std::uint8_t, kHeaderBytes> writeHeader(const Header& header) noexcept;

// ---- In memory ----------------------------------------------------------

// The most bytes compress() can write for size bytes of input: the header plus
// size bytes, as a code built from the data's own counts never takes more
// than the 8 bits a byte of a fixed-length code would. A size above
// kMaxOriginalSize, which compress() refuses with inputTooLarge, gives
// kHeaderBytes + kMaxOriginalSize (2147484671), so the sum never wraps.
HUFFCODEC_API std::size_t compressBound(std::size_t size) noexcept;

struct CompressResult {
    Status status;              // ok, inputTooLarge, outputTooSmall or outOfMemory
    std::size_t bytesConsumed;  // the whole input when ok, else 0
    std::size_t bytesProduced;  // the whole compressed file when ok, else 0
};

// Compresses size bytes of in into out, which holds capacity bytes. A capacity
// of compressBound(size) is always enough. in and out must not share a byte,
// and may be null only with a size of 0: invalidArgument otherwise.
HUFFCODEC_API CompressResult compress(const void* in, std::size_t size, void* out,
                                      std::size_t capacity) noexcept;

struct DecompressResult {
    Status status;
    std::size_t bytesConsumed;  // header plus every body byte decoding needed, the last
                                // partly used one included; trailing bytes excluded;
                                // 0 when the header is bad or out too small
    std::size_t bytesProduced;  // decoded bytes written to out
};

// Decompresses the compressed file of size bytes at in into out, which holds
// capacity bytes. Fails with outputTooSmall, writing nothing, unless capacity
// is at least the header's original size. On truncatedBody, out holds the
// bytesProduced bytes decoded before the code the body could not complete.
// in and out must not share a byte, and may be null only with a size of 0:
// invalidArgument otherwise.
HUFFCODEC_API DecompressResult decompress(const void* in, std::size_t size, void* out,
                                          std::size_t capacity) noexcept;

// ---- Streaming ----------------------------------------------------------

// A callable the library calls back: any function, function pointer or
// lambda with the signature, held by value. The library's own type rather
// than std::function, whose layout differs between standard libraries, so
// that programs built with any of them can use the shared library.
//
// As with std::function, the Callback calls its own copy of the callable,
// also through a const Callback: a mutable lambda changes the state of that
// copy, and a copy of the Callback starts from the state of the one it
// copies. A callable that converts to false (an empty std::function, a null
// function pointer) makes an empty Callback, which the library refuses with
// invalidArgument.
template <typename Signature>
class Callback;

template <typename R, typename... Args>
class Callback<R(Args...)> {
public:
    Callback() noexcept = default;
    Callback(std::nullptr_t) noexcept {}
    // Small callables that copy as bytes (a lambda that captures a reference
    // or two, a function pointer) are held in place, and making the Callback
    // allocates nothing; others are copied to the heap.
    template <typename F,
              typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, Callback> &&
                                          std::is_invocable_r_v<R, std::decay_t<F>&, Args...>>>
    Callback(F&& f) {
        using Held = std::decay_t<F>;
        if constexpr (kMayBeEmpty<Held>) {
            if (!static_cast<bool>(f)) {
                return;
            }
        }
        invoke = [](const void* held, Args... args) -> R {
            // Never a const object: local is mutable, and a copy on the heap
            // is made by new.
            return (*static_cast<Held*>(const_cast<void*>(held)))(args...);
        };
        if constexpr (kHeldInPlace<Held>) {
            new (static_cast<void*>(local)) Held(std::forward<F>(f));
        } else {
            heap = new Held(std::forward<F>(f));
            manage = [](const void* held, bool copy) -> void* {
                if (copy) {
                    return new Held(*static_cast<const Held*>(held));
                }
                delete static_cast<const Held*>(held);
                return nullptr;
            };
        }
    }
    Callback(const Callback& other) : invoke(other.invoke), manage(other.manage) {
        if (manage != nullptr) {
            heap = manage(other.heap, true);
        } else {
            std::memcpy(local, other.local, sizeof local);
        }
    }
    Callback(Callback&& other) noexcept : invoke(other.invoke), manage(other.manage) {
        std::memcpy(local, other.local, sizeof local);  // the heap pointer too
        other.invoke = nullptr;
        other.manage = nullptr;
    }
    Callback& operator=(Callback other) noexcept {
        unsigned char held[sizeof local];
        std::memcpy(held, local, sizeof local);
        std::memcpy(local, other.local, sizeof local);
        std::memcpy(other.local, held, sizeof local);
        std::swap(invoke, other.invoke);
        std::swap(manage, other.manage);
        return *this;
    }
    ~Callback() {
        if (manage != nullptr) {
            manage(heap, false);
        }
    }

    explicit operator bool() const noexcept { return invoke != nullptr; }
    R operator()(Args... args) const {
        return invoke(
            manage != nullptr ? static_cast<const void*>(heap) : static_cast<const void*>(local),
            args...);
    }

private:
    static constexpr std::size_t kLocalBytes = 2 * sizeof(void*);
    // Pointers, and types that convert to bool only explicitly (as
    // std::function does), may stand for no callable; a lambda without
    // captures, which converts to bool through a function pointer, never does.
    template <typename Held>
    static constexpr bool kMayBeEmpty = std::is_pointer_v<Held> ||
                                        (std::is_constructible_v<bool, const Held&> &&
                                         !std::is_convertible_v<const Held&, bool>);
    template <typename Held>
    static constexpr bool kHeldInPlace =
        sizeof(Held) <= kLocalBytes &&
        alignof(Held) <= alignof(void*) && std::is_trivially_copyable_v<Held>;

    union {
        void* heap;  // when manage is set
        alignas(void*) mutable unsigned char local[kLocalBytes] = {};
    };
    R (*invoke)(const void*, Args...) = nullptr;
    void* (*manage)(const void*, bool copy) = nullptr;  // copies, or deletes
};

// Fills buffer with up to size bytes and returns how many: 0 only at the end
// of the input, a negative number on an error. A short count is not the end:
// the caller asks again until it gets 0.
using ReadFn = Callback<std::ptrdiff_t(std::uint8_t* buffer, std::size_t size)>;
// Takes size bytes; returns false on an error, which ends the call. Neither
// callback may throw. Both are called on the thread that called the library,
// one call at a time, whatever Options::threads is. An empty ReadFn or
// WriteFn makes the call fail with invalidArgument.
using WriteFn = Callback<bool(const std::uint8_t* data, std::size_t size)>;

class ThreadPool;

struct Tuning;  // huffcodec/experimental.hpp

// How a call runs. Later versions may add members at the end: structSize,
// which the default initialiser sets, tells the library which members the
// caller's build knows. A member it does not wholly cover takes its default
// (a structSize of 0: every member; one that ends inside threads: 1 thread),
// and members past those this library knows (a larger structSize, from a
// newer build) are never read. Set the members by name, never by position. A
// negative thread count makes every call that takes the options fail with
// invalidArgument.
struct Options {
    std::size_t structSize = sizeof(Options);
    // Threads that share one call's work: 1 (the default) works on the
    // calling thread and starts none; 0 takes availableProcessors(); counts
    // above kMaxThreads run as kMaxThreads. Data of fewer than
    // kMinThreadedSize original bytes starts no threads. A call reads ahead
    // two chunks for each thread that can run at once (no more than
    // availableProcessors()), and starts threads only for chunks read: a
    // count past the processors costs threads that take turns, not memory.
    // Each decoding thread adds up to about 5 MiB of memory, each encoding
    // thread two chunks and their codes (under 1 MiB unless codes run long).
    // Decoding through a ReadFn or in memory, and compressing in memory or
    // with ChunkCounts, use threads; the streams the caller drives do not.
    int threads = 1;
    // Worker threads to use instead of threads of the call's own: with a
    // pool, a call starts no thread, and takes at most threads - 1 of the
    // pool's workers at once (the calling thread works too). The pool must
    // outlive the call. Null: the call starts what it needs and joins it
    // before it returns.
    ThreadPool* pool = nullptr;
    // Settings for tests and benchmarks; null for the defaults.
    const Tuning* tuning = nullptr;
};

class ThreadPoolAccess;

// Worker threads that calls share: an embedder creates one pool and hands it
// to every call through Options::pool, so that no call starts threads of its
// own. The threads start as the calls' work needs them (none for data under
// kMinThreadedSize) and wait for more between calls. Calls on several
// threads may share one pool at once; its workers take their jobs in turn.
class HUFFCODEC_API ThreadPool {
public:
    ThreadPool() noexcept;
    // Joins every thread. No call that uses the pool may still be running.
    ~ThreadPool();
    ThreadPool(ThreadPool&&) noexcept;
    ThreadPool& operator=(ThreadPool&&) noexcept;
    // Sets the pool up for up to workers threads (0: availableProcessors()
    // - 1, for a caller that works too; a count above kMaxThreads, up to
    // INT_MAX, gives kMaxThreads: create(1000) holds 256), ending those of
    // an earlier create(). With workersOffCaller, the threads keep off the
    // processor the thread calling create() runs on: Linux tends to start a
    // thread on its creator's processor, and two busy threads then share one
    // until the scheduler parts them. Calls on other threads may use the pool
    // meanwhile: create() waits until those working on its threads are done
    // with them, and calls that start while it waits work on their calling
    // thread alone. Not from a callback of a call that uses the pool, which
    // would wait for itself. Returns ok, outOfMemory, or invalidArgument for
    // a negative count; a failure leaves the pool as it was.
    Status create(int workers, bool workersOffCaller = false) noexcept;
    // The most threads the pool runs; 0 before create().
    int workers() const noexcept;

private:
    friend class ThreadPoolAccess;
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// compress() and decompress() with options: options.threads threads (0:
// availableProcessors(); the functions above take 1) share data of
// kMinThreadedSize original bytes and more, with the same result on every
// thread count. invalidArgument for options out of range.
HUFFCODEC_API CompressResult compress(const void* in, std::size_t size, void* out,
                                      std::size_t capacity, const Options& options) noexcept;
HUFFCODEC_API DecompressResult decompress(const void* in, std::size_t size, void* out,
                                          std::size_t capacity, const Options& options) noexcept;

// The processors this process may run on: its CPU affinity, and the tightest
// CPU quota set on its own cgroup or one above it, rounded up. At least 1.
HUFFCODEC_API int availableProcessors() noexcept;

struct StreamResult {
    Status status;
    std::uint64_t bytesConsumed;  // Decoder: the header plus every body byte decoding
                                  // needed (as in DecompressResult), 0 after a
                                  // writeError; Encoder: input bytes read
    std::uint64_t bytesProduced;  // bytes handed to the WriteFn
};

// Decodes bodies for one header. Build once, then decode() any number of
// times; memory stays bounded (a few MiB) whatever the original size.
class HUFFCODEC_API Decoder {
public:
    Decoder() noexcept;
    ~Decoder();
    Decoder(Decoder&&) noexcept;
    Decoder& operator=(Decoder&&) noexcept;

    // Builds the code tree and decode tables for header (as readHeader gives
    // it). Returns ok, negativeCount or sizeTooLarge (a header built by hand
    // is checked as readHeader checks one), or outOfMemory.
    Status build(const Header& header) noexcept;

    // Reads a body (the bytes after the header) through read and writes the
    // header's originalSize decoded bytes through write, in blocks. Stops at
    // the first code the body cannot complete (truncatedBody), having written
    // every byte before it; reads at most a block past what it needs. A read
    // error is handled as the end of the body at that point (the bytes read
    // before it count, however the reads were sized), with readError in place
    // of truncatedBody: the output is the same on every thread count. The
    // bytes consumed count the header the Decoder was built from.
    StreamResult decode(const ReadFn& read, const WriteFn& write,
                        const Options& options = {}) const noexcept;

    // As decode(read, write, options), for a body that more data follows
    // (the next file of a concatenation): on ok, before it returns, hands
    // the bytes it read past the body's end to rest, in order, in one or
    // more calls, so that the caller goes on reading from them and then from
    // read. They are exactly what read gave after the first bytesConsumed
    // bytes of the file (the header counted), whatever the thread count; a
    // read that failed past the body's end ends them, unreported. rest
    // returning false gives writeError, every decoded byte written; an empty
    // rest gives invalidArgument.
    StreamResult decodeMember(const ReadFn& read, const WriteFn& write, const WriteFn& rest,
                              const Options& options = {}) const noexcept;

    // The same over a body of size bytes held in memory, read in place.
    StreamResult decode(const void* body, std::size_t size, const WriteFn& write,
                        const Options& options = {}) const noexcept;

private:
    friend class DecompressStream;  // decodes with the same tables
    // Decodes straight into the caller's buffer.
    friend DecompressResult decompress(const void* in, std::size_t size, void* out,
                                       std::size_t capacity, const Options& options) noexcept;
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// Input and output of a stream the caller drives: bytes data[pos, size) are
// still to be read, or free to be written; the stream moves pos on. The two
// buffers of a call must not share a byte, data may be null only with a size
// of 0, and pos is at most size: invalidArgument otherwise.
struct InBuffer {
    const void* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
};
struct OutBuffer {
    void* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
};

// A whole compressed file, header and body, decompressed in pieces of any
// size the caller chooses (1 byte to many MiB on either side), as from an
// event loop: no callbacks, bounded memory (about 2 MiB), one thread.
//
//     DecompressStream stream;
//     while (!stream.finished()) {
//         ... refill in, or take out's bytes and empty it ...
//         Status s = stream.decompress(in, out, inputEnded);
//         if (s != Status::ok) ... (truncatedBody: out got every byte before the cut)
//     }
//
// decompress() takes what it can of in and gives what it can to out; it
// returns ok while nothing is wrong, having moved in.pos or out.pos on unless
// it needs more input (in.pos == in.size) or more room (out.pos == out.size).
// Before it asks for more input, every byte whose code has arrived whole is
// given out, as far as out has room, and the stream finishes as soon as the
// last one is out, with endOfInput or without (the header says how many there
// are). With endOfInput, the bytes in are the last: a file that ends early
// gives headerTooShort or truncatedBody once every byte decoded before the
// cut has been given out. A failure is final until reset(). Input past the
// end of the body may be taken from in and is ignored; once finished,
// bytesConsumed() tells where the file ended.
class HUFFCODEC_API DecompressStream {
public:
    DecompressStream() noexcept;
    ~DecompressStream();
    DecompressStream(DecompressStream&&) noexcept;
    DecompressStream& operator=(DecompressStream&&) noexcept;

    // Starts over for another file, decoding with options (threads are not
    // used). invalidArgument for options out of range.
    Status reset(const Options& options = {}) noexcept;

    Status decompress(InBuffer& in, OutBuffer& out, bool endOfInput = false) noexcept;

    // True once every byte of the file has been given out.
    bool finished() const noexcept;
    // The file's header, once read; null before.
    const Header* header() const noexcept;
    // Bytes of the file consumed so far, the header counted: those taken in
    // for decoding, and once finished (or failed with truncatedBody) exactly
    // the header and every body byte the decoding needed, as
    // DecompressResult::bytesConsumed counts them.
    std::uint64_t bytesConsumed() const noexcept;
    // Decoded bytes given out so far.
    std::uint64_t bytesProduced() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

struct CountResult {
    Status status;  // ok, readError, inputTooLarge, outOfMemory or invalidArgument
    Header header;  // the counts of every byte read, when ok
};

// The counts of each chunk of an input (128 KiB unless tuned), kept by
// countBytes with the chunk size: with them,
// the Encoder knows where every chunk's codes start before it reads the chunk
// again, and can encode chunks on several threads at once. About 8 KiB per
// MiB of input.
class HUFFCODEC_API ChunkCounts {
public:
    ChunkCounts() noexcept;
    ~ChunkCounts();
    ChunkCounts(ChunkCounts&&) noexcept;
    ChunkCounts& operator=(ChunkCounts&&) noexcept;

private:
    friend class Encoder;
    friend CountResult countBytes(const ReadFn& read, ChunkCounts* chunks,
                                  const Options& options) noexcept;
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// Reads all of the input through read and counts its bytes; chunks, if given,
// receives the counts of each chunk as well, and then options.threads threads
// (0: availableProcessors()) count inputs of kMinThreadedSize bytes and more
// while the calling thread reads.
HUFFCODEC_API CountResult countBytes(const ReadFn& read, ChunkCounts* chunks = nullptr,
                                     const Options& options = {}) noexcept;

// Counts the size bytes at data where they are, with no copy: on
// options.threads threads (0: availableProcessors()) from kMinThreadedSize
// bytes. invalidArgument for a null data with a size above 0, inputTooLarge
// above kMaxOriginalSize bytes.
HUFFCODEC_API CountResult countBytes(const void* data, std::size_t size,
                                     const Options& options = {}) noexcept;

// Encodes data whose counts are known (from countBytes) into a compressed
// file. Build once, then encode() the same data any number of times.
class HUFFCODEC_API Encoder {
public:
    Encoder() noexcept;
    ~Encoder();
    Encoder(Encoder&&) noexcept;
    Encoder& operator=(Encoder&&) noexcept;

    // Builds the code table for header. Returns ok, negativeCount or
    // sizeTooLarge (the header checked as readHeader checks one), or
    // outOfMemory.
    Status build(const Header& header) noexcept;

    // Writes the header, then reads the data through read and writes its
    // codes. Fails with inputChanged, on every thread count, if the second
    // pass reads more or fewer bytes than the header counts, a byte the
    // header counts as 0, or bytes whose codes take another number of bits
    // than the counts imply (with chunks on threads, checked chunk by chunk,
    // so a difference may stop it earlier). A change that keeps the number of
    // bytes and the total length of their codes, such as two bytes of equal
    // code length swapped, is not detected: the output is then the changed
    // data's, readable as such. The bytes written before a failure are no
    // valid file. With chunks from the countBytes that counted this data,
    // options.threads threads (0: availableProcessors()) encode the chunks
    // countBytes made, for inputs as large as countBytes needs to start
    // threads; the output is the same whatever the thread count.
    StreamResult encode(const ReadFn& read, const WriteFn& write, const Options& options = {},
                        const ChunkCounts* chunks = nullptr) const noexcept;

private:
    friend class CompressStream;  // encodes with the same code
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// The second pass of compression in pieces the caller drives, for data whose
// counts are known (countBytes, or kept from before): takes the data in
// pieces of any size through in and gives the whole file, header first,
// through out. Fails with inputChanged once the data turns out to differ from
// the counts in its size, in a byte they count as 0, or in the total length
// of its codes (a change that keeps all three is not detected); what it gave
// out before is then no valid file. One thread; memory stays bounded (well
// under 1 MiB).
class HUFFCODEC_API CompressStream {
public:
    CompressStream() noexcept;
    ~CompressStream();
    CompressStream(CompressStream&&) noexcept;
    CompressStream& operator=(CompressStream&&) noexcept;

    // Starts a file for data with header's counts. Returns ok, a header
    // status (negativeCount, sizeTooLarge), outOfMemory or invalidArgument
    // (options out of range).
    Status reset(const Header& header, const Options& options = {}) noexcept;

    // Takes what it can of in and gives what it can to out, as
    // DecompressStream::decompress does; endOfInput: in holds the last bytes.
    // invalidArgument before reset().
    Status compress(InBuffer& in, OutBuffer& out, bool endOfInput = false) noexcept;

    // True once the whole file has been given out.
    bool finished() const noexcept;
    // Input bytes taken so far, and bytes of the file given out so far, the
    // header counted.
    std::uint64_t bytesConsumed() const noexcept;
    std::uint64_t bytesProduced() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_HUFFCODEC_HPP
