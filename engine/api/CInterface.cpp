// SPDX-License-Identifier: MIT
//
// The C interface over the C++ one: plain types in, the fixed status numbers
// out. The C++ functions it calls throw nothing, so nothing crosses it.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "api/Planning.hpp"
#include "huffcodec/experimental.h"
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.h"
#include "huffcodec/huffcodec.hpp"

namespace {

using huffcodec::Status;

// Each C status is the C++ one of the same number.
static_assert(HUFFCODEC_OK == static_cast<int>(Status::ok));
static_assert(HUFFCODEC_HEADER_TOO_SHORT == static_cast<int>(Status::headerTooShort));
static_assert(HUFFCODEC_NEGATIVE_COUNT == static_cast<int>(Status::negativeCount));
static_assert(HUFFCODEC_SIZE_TOO_LARGE == static_cast<int>(Status::sizeTooLarge));
static_assert(HUFFCODEC_TRUNCATED_BODY == static_cast<int>(Status::truncatedBody));
static_assert(HUFFCODEC_READ_ERROR == static_cast<int>(Status::readError));
static_assert(HUFFCODEC_WRITE_ERROR == static_cast<int>(Status::writeError));
static_assert(HUFFCODEC_OUTPUT_TOO_SMALL == static_cast<int>(Status::outputTooSmall));
static_assert(HUFFCODEC_INPUT_TOO_LARGE == static_cast<int>(Status::inputTooLarge));
static_assert(HUFFCODEC_INPUT_CHANGED == static_cast<int>(Status::inputChanged));
static_assert(HUFFCODEC_OUT_OF_MEMORY == static_cast<int>(Status::outOfMemory));
static_assert(HUFFCODEC_INTERNAL_ERROR == static_cast<int>(Status::internalError));
static_assert(HUFFCODEC_INVALID_ARGUMENT == static_cast<int>(Status::invalidArgument));
static_assert(HUFFCODEC_HEADER_BYTES == huffcodec::kHeaderBytes);
static_assert(HUFFCODEC_MAX_THREADS == huffcodec::kMaxThreads);

huffcodec_status statusOf(Status status) {
    return static_cast<huffcodec_status>(static_cast<int>(status));
}

// The caller's options as C++ options, read once by settingsOf (the members
// its struct_size covers, the defaults for the rest) and checked by the C++
// call they are handed to, as a C++ caller's are. The settings are kept
// here, so a stream may keep them.
class CallOptions {
public:
    CallOptions() = default;
    explicit CallOptions(const huffcodec_options* given) : settings(huffcodec::settingsOf(given)) {}
    // Valid while this object lives.
    huffcodec::Options options() const {
        huffcodec::Options options;
        options.threads = settings.threads;
        options.pool = settings.pool;
        options.tuning = &settings.tuning;
        return options;
    }
    void dropPool() { settings.pool = nullptr; }

private:
    huffcodec::Settings settings;
};

// A pointer that may be null only where its size is 0.
bool usable(const void* pointer, std::size_t size) {
    return pointer != nullptr || size == 0;
}

// Where a null pointer to no bytes points instead.
const unsigned char kNothing[1] = {0};

// The streams' buffers, moved back and forth.
huffcodec::InBuffer inOf(const huffcodec_in_buffer& in) {
    return {in.data, in.size, in.pos};
}
huffcodec::OutBuffer outOf(const huffcodec_out_buffer& out) {
    return {out.data, out.size, out.pos};
}

// Allocates a stream and starts it with reset(args...); frees it again and
// leaves *stream null if that fails.
template <class CStream, class... Args>
huffcodec_status createStream(CStream** stream, const Args&... args) {
    *stream = new (std::nothrow) CStream;
    if (*stream == nullptr) {
        return HUFFCODEC_OUT_OF_MEMORY;
    }
    const Status status = (*stream)->stream.reset(args...);
    if (status != Status::ok) {
        delete *stream;
        *stream = nullptr;
    }
    return statusOf(status);
}

// One step of a stream over the caller's C buffers: step(in, out) on their
// C++ forms, the positions copied back.
template <class Step>
huffcodec_status stepStream(huffcodec_in_buffer* in, huffcodec_out_buffer* out, Step step) {
    if (in == nullptr || out == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    huffcodec::InBuffer input = inOf(*in);
    huffcodec::OutBuffer output = outOf(*out);
    const Status status = step(input, output);
    in->pos = input.pos;
    out->pos = output.pos;
    return statusOf(status);
}

}  // namespace

struct huffcodec_dstream {
    huffcodec::DecompressStream stream;
    CallOptions options;  // the creation's, for every reset
    bool started = true;  // false after a reset that ran out of memory
};

struct huffcodec_cstream {
    huffcodec::CompressStream stream;
};

extern "C" {

unsigned huffcodec_version_number(void) {
    return HUFFCODEC_VERSION_NUMBER;
}

const char* huffcodec_version_string(void) {
    return HUFFCODEC_VERSION_STRING;
}

const char* huffcodec_status_message(huffcodec_status status) {
    // A C caller may pass any number: read as one, not as the enum, whose
    // values end at 12.
    int number = 0;
    static_assert(sizeof number == sizeof status);
    std::memcpy(&number, &status, sizeof number);
    return number >= HUFFCODEC_OK && number <= HUFFCODEC_INVALID_ARGUMENT
               ? huffcodec::statusMessage(static_cast<Status>(number))
               : "unknown status";
}

void huffcodec_options_init(huffcodec_options* options) {
    if (options == nullptr) {
        return;
    }
    *options = huffcodec_options{};
    options->struct_size = sizeof *options;
    options->threads = 1;
}

huffcodec_status huffcodec_pool_create(huffcodec_pool** pool, int workers, int workers_off_caller) {
    if (pool == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    *pool = new (std::nothrow) huffcodec_pool;
    if (*pool == nullptr) {
        return HUFFCODEC_OUT_OF_MEMORY;
    }
    const Status status = (*pool)->pool.create(workers, workers_off_caller != 0);
    if (status != Status::ok) {
        delete *pool;
        *pool = nullptr;
    }
    return statusOf(status);
}

void huffcodec_pool_free(huffcodec_pool* pool) {
    delete pool;
}

size_t huffcodec_compress_bound(size_t size) {
    return huffcodec::compressBound(size);
}

huffcodec_status huffcodec_compress(const void* in, size_t in_size, void* out, size_t out_capacity,
                                    size_t* out_size, const huffcodec_options* options) {
    const CallOptions resolved(options);
    if (out_size != nullptr) {
        *out_size = 0;
    }
    if (!usable(in, in_size) || !usable(out, out_capacity) || out_size == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    unsigned char none[1];
    const huffcodec::CompressResult result =
        huffcodec::compress(in != nullptr ? in : kNothing, in_size, out != nullptr ? out : none,
                            out_capacity, resolved.options());
    *out_size = result.bytesProduced;
    return statusOf(result.status);
}

huffcodec_status huffcodec_decompress(const void* in, size_t in_size, void* out,
                                      size_t out_capacity, size_t* out_size, size_t* in_consumed,
                                      const huffcodec_options* options) {
    const CallOptions resolved(options);
    if (out_size != nullptr) {
        *out_size = 0;
    }
    if (in_consumed != nullptr) {
        *in_consumed = 0;
    }
    if (!usable(in, in_size) || !usable(out, out_capacity) || out_size == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    unsigned char none[1];
    const huffcodec::DecompressResult result =
        huffcodec::decompress(in != nullptr ? in : kNothing, in_size, out != nullptr ? out : none,
                              out_capacity, resolved.options());
    *out_size = result.bytesProduced;
    if (in_consumed != nullptr) {
        *in_consumed = result.bytesConsumed;
    }
    return statusOf(result.status);
}

huffcodec_status huffcodec_read_header(const void* in, size_t in_size, int64_t* original_size,
                                       int32_t counts[256]) {
    if (!usable(in, in_size)) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    const huffcodec::HeaderResult result =
        huffcodec::readHeader(in != nullptr ? in : kNothing, in_size);
    if (result.status == Status::ok) {
        if (original_size != nullptr) {
            *original_size = result.header.originalSize;
        }
        if (counts != nullptr) {
            std::copy(result.header.counts.begin(), result.header.counts.end(), counts);
        }
    }
    return statusOf(result.status);
}

huffcodec_status huffcodec_count(const void* in, size_t in_size, int32_t counts[256],
                                 const huffcodec_options* options) {
    const CallOptions resolved(options);
    if (!usable(in, in_size) || counts == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    if (in_size > static_cast<std::uint64_t>(huffcodec::kMaxOriginalSize)) {
        return HUFFCODEC_INPUT_TOO_LARGE;
    }
    // Counted where it lies.
    const huffcodec::CountResult counted =
        huffcodec::countBytes(in != nullptr ? in : kNothing, in_size, resolved.options());
    if (counted.status == Status::ok) {
        std::copy(counted.header.counts.begin(), counted.header.counts.end(), counts);
    }
    return statusOf(counted.status);
}

huffcodec_status huffcodec_count_update(uint64_t totals[256], const void* in, size_t in_size) {
    if (totals == nullptr || !usable(in, in_size)) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    std::array<std::uint64_t, 256> sum;
    std::copy(totals, totals + sum.size(), sum.begin());
    // countBytes stops at the largest size a header holds: larger pieces go
    // in slices of that size, each counted where it lies.
    const auto slice = static_cast<std::size_t>(huffcodec::kMaxOriginalSize);
    const auto* at = in != nullptr ? static_cast<const unsigned char*>(in) : kNothing;
    for (std::size_t left = in_size; left > 0;) {
        const std::size_t piece = std::min(left, slice);
        left -= piece;
        const huffcodec::CountResult counted = huffcodec::countBytes(at, piece);
        at += piece;
        if (counted.status != Status::ok) {
            return statusOf(counted.status);
        }
        for (std::size_t v = 0; v < sum.size(); ++v) {
            const auto count = static_cast<std::uint64_t>(counted.header.counts[v]);
            if (count > UINT64_MAX - sum[v]) {
                return HUFFCODEC_INPUT_TOO_LARGE;  // before totals is written
            }
            sum[v] += count;
        }
    }
    std::copy(sum.begin(), sum.end(), totals);
    return HUFFCODEC_OK;
}

huffcodec_status huffcodec_count_finish(const uint64_t totals[256], int32_t counts[256]) {
    if (totals == nullptr || counts == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    // Each step compares before it adds, so the sum never wraps.
    const auto most = static_cast<std::uint64_t>(huffcodec::kMaxOriginalSize);
    std::uint64_t sum = 0;
    for (int v = 0; v < 256; ++v) {
        if (totals[v] > most - sum) {
            return HUFFCODEC_INPUT_TOO_LARGE;
        }
        sum += totals[v];
    }
    std::transform(totals, totals + 256, counts,
                   [](std::uint64_t total) { return static_cast<std::int32_t>(total); });
    return HUFFCODEC_OK;
}

huffcodec_status huffcodec_dstream_create(huffcodec_dstream** stream,
                                          const huffcodec_options* options) {
    CallOptions resolved(options);
    if (stream == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    *stream = nullptr;
    // The stream decodes on the calling thread: it keeps no pool, which the
    // caller might free before the stream's last reset.
    resolved.dropPool();
    const huffcodec_status status = createStream(stream, resolved.options());
    if (status == HUFFCODEC_OK) {
        (*stream)->options = resolved;
    }
    return status;
}

huffcodec_status huffcodec_dstream_reset(huffcodec_dstream* stream) {
    if (stream == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    const Status status = stream->stream.reset(stream->options.options());
    stream->started = status == Status::ok;
    return statusOf(status);
}

huffcodec_status huffcodec_dstream_header(const huffcodec_dstream* stream, int64_t* original_size,
                                          int32_t counts[256]) {
    if (stream == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    const huffcodec::Header* header = stream->stream.header();
    if (header == nullptr) {
        return HUFFCODEC_HEADER_TOO_SHORT;
    }
    if (original_size != nullptr) {
        *original_size = header->originalSize;
    }
    if (counts != nullptr) {
        std::copy(header->counts.begin(), header->counts.end(), counts);
    }
    return HUFFCODEC_OK;
}

huffcodec_status huffcodec_dstream_decompress(huffcodec_dstream* stream, huffcodec_in_buffer* in,
                                              huffcodec_out_buffer* out, int end_of_input) {
    if (stream == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    // Left alone, the C++ stream would start itself with the default options.
    if (!stream->started) {
        const huffcodec_status status = huffcodec_dstream_reset(stream);
        if (status != HUFFCODEC_OK) {
            return status;
        }
    }
    return stepStream(in, out, [&](huffcodec::InBuffer& input, huffcodec::OutBuffer& output) {
        return stream->stream.decompress(input, output, end_of_input != 0);
    });
}

int huffcodec_dstream_finished(const huffcodec_dstream* stream) {
    return stream != nullptr && stream->stream.finished() ? 1 : 0;
}

uint64_t huffcodec_dstream_bytes_consumed(const huffcodec_dstream* stream) {
    return stream != nullptr ? stream->stream.bytesConsumed() : 0;
}

void huffcodec_dstream_free(huffcodec_dstream* stream) {
    delete stream;
}

huffcodec_status huffcodec_cstream_create(huffcodec_cstream** stream, const int32_t counts[256],
                                          const huffcodec_options* options) {
    const CallOptions resolved(options);
    if (stream == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    *stream = nullptr;
    if (counts == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    huffcodec::Header header;
    std::copy(counts, counts + header.counts.size(), header.counts.begin());
    return createStream(stream, header, resolved.options());
}

huffcodec_status huffcodec_cstream_compress(huffcodec_cstream* stream, huffcodec_in_buffer* in,
                                            huffcodec_out_buffer* out, int end_of_input) {
    if (stream == nullptr) {
        return HUFFCODEC_INVALID_ARGUMENT;
    }
    return stepStream(in, out, [&](huffcodec::InBuffer& input, huffcodec::OutBuffer& output) {
        return stream->stream.compress(input, output, end_of_input != 0);
    });
}

int huffcodec_cstream_finished(const huffcodec_cstream* stream) {
    return stream != nullptr && stream->stream.finished() ? 1 : 0;
}

void huffcodec_cstream_free(huffcodec_cstream* stream) {
    delete stream;
}

}  // extern "C"
