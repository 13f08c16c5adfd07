// SPDX-License-Identifier: MIT
//
// Arbitrary bytes as a stored chunk, read back by the HDF5 filter, as HDF5
// calls it: with the dataset's chunk size the header claims, with another,
// with none recorded (which must fail), and behind filters that change
// sizes (where a claim up to the chunk size and a little more reads). A chunk
// the filter reads must be exactly what the library decodes from the same
// bytes, and every failure must leave HDF5's buffer as it was. Then the same bytes as a chunk to
// write: with the filter optional and mandatory, what it writes must read
// back as the bytes.
#include <H5PLextern.h>
#include <hdf5.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "FuzzCheck.hpp"
#include "huffcodec/hdf5.h"
#include "huffcodec/huffcodec.h"

namespace {

const H5Z_class2_t& filterClass() {
    return *static_cast<const H5Z_class2_t*>(H5PLget_plugin_info());
}

// A buffer as HDF5 hands one to a filter, which may replace it.
struct FilterBuffer {
    explicit FilterBuffer(const std::uint8_t* data, std::size_t bytes)
        : size(bytes == 0 ? 1 : bytes), memory(H5allocate_memory(size, 0)) {
        FUZZ_CHECK(memory != nullptr);
        if (bytes != 0) {
            std::memcpy(memory, data, bytes);
        }
    }
    ~FilterBuffer() { H5free_memory(memory); }
    FilterBuffer(const FilterBuffer&) = delete;
    FilterBuffer& operator=(const FilterBuffer&) = delete;

    std::size_t run(unsigned flags, unsigned chunkBytes, std::size_t bytes,
                    unsigned resizedBefore = 0) {
        const unsigned values[HUFFCODEC_H5Z_CD_VALUES] = {HUFFCODEC_H5Z_LAYOUT, chunkBytes,
                                                          resizedBefore};
        void* before = memory;
        const std::size_t result =
            filterClass().filter(flags, HUFFCODEC_H5Z_CD_VALUES, values, bytes, &size, &memory);
        FUZZ_CHECK(result != 0 || memory == before);
        return result;
    }

    std::size_t size;
    void* memory;
};

// Chunks read whole are kept small to keep runs fast: a header claiming
// more (a one-symbol header writes its symbols without reading a body, so it
// is held lower) is tried only against datasets of other chunk sizes, which
// the filter must refuse before it takes memory for the claim.
constexpr std::int64_t kMaxReadSize = 1 << 24;
constexpr std::int64_t kMaxOneSymbolSize = 1 << 18;

std::size_t readChunk(const std::uint8_t* data, std::size_t size, unsigned chunkBytes,
                      const std::uint8_t* expected, unsigned resizedBefore = 0) {
    FilterBuffer buffer(data, size);
    const std::size_t result = buffer.run(H5Z_FLAG_REVERSE, chunkBytes, size, resizedBefore);
    if (result != 0) {
        FUZZ_CHECK(buffer.size >= result && std::memcmp(buffer.memory, expected, result) == 0);
    }
    return result;
}

void readBack(const std::uint8_t* data, std::size_t size) {
    std::int64_t claimed = 0;
    std::int32_t counts[256];
    const bool validHeader = huffcodec_read_header(data, size, &claimed, counts) == HUFFCODEC_OK;
    const auto distinct =
        std::count_if(std::begin(counts), std::end(counts), [](std::int32_t c) { return c != 0; });
    const unsigned claimedSize = validHeader ? static_cast<unsigned>(claimed) : 1u;
    if (!validHeader || claimed > kMaxReadSize || (distinct == 1 && claimed > kMaxOneSymbolSize)) {
        for (const unsigned chunkBytes : {claimedSize + 1, 4096u}) {
            FUZZ_CHECK(readChunk(data, size, chunkBytes, nullptr) == 0);
        }
        FUZZ_CHECK(readChunk(data, size, 4096, nullptr, 1) == 0);
        return;
    }
    std::vector<std::uint8_t> expected(static_cast<std::size_t>(claimed) + 1);
    std::size_t decoded = 0;
    std::size_t consumed = 0;
    const bool decodes = claimed > 0 &&
                         huffcodec_decompress(data, size, expected.data(), expected.size(),
                                              &decoded, &consumed, nullptr) == HUFFCODEC_OK &&
                         consumed == size;
    for (const unsigned chunkBytes : {claimedSize, 0u, claimedSize + 1}) {
        const std::size_t result = readChunk(data, size, chunkBytes, expected.data());
        const bool shouldRead = decodes && chunkBytes == claimedSize;
        FUZZ_CHECK(result == (shouldRead ? claimedSize : 0u));
    }
    // Behind a filter that changes sizes: up to an eighth and 4 KiB more
    // than a chunk reads, and no more.
    const unsigned leastChunk = claimedSize > 4096 ? (claimedSize - 4096) * 8 / 9 : 1;
    for (const unsigned chunkBytes : {claimedSize, leastChunk + 1, leastChunk / 2}) {
        const std::size_t result = readChunk(data, size, chunkBytes, expected.data(), 1);
        const bool withinLimit =
            std::uint64_t{claimedSize} <= std::uint64_t{chunkBytes} + chunkBytes / 8 + 4096;
        FUZZ_CHECK(result == (decodes && chunkBytes != 0 && withinLimit ? claimedSize : 0u));
    }
}

void writeAndRead(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return;  // HDF5 never filters an empty chunk
    }
    std::vector<std::uint8_t> library(huffcodec_compress_bound(size));
    std::size_t libraryBytes = 0;
    FUZZ_CHECK(huffcodec_compress(data, size, library.data(), library.size(), &libraryBytes,
                                  nullptr) == HUFFCODEC_OK);
    for (const unsigned flags : {0u, static_cast<unsigned>(H5Z_FLAG_OPTIONAL)}) {
        FilterBuffer buffer(data, size);
        const std::size_t written = buffer.run(flags, static_cast<unsigned>(size), size);
        // An optional filter declines a chunk that would not shrink, which
        // HDF5 then stores as it is; otherwise the chunk is the library's file.
        if (flags == H5Z_FLAG_OPTIONAL && libraryBytes >= size) {
            FUZZ_CHECK(written == 0);
            continue;
        }
        FUZZ_CHECK(written == libraryBytes &&
                   std::memcmp(buffer.memory, library.data(), written) == 0);
        const std::size_t read =
            buffer.run(flags | H5Z_FLAG_REVERSE, static_cast<unsigned>(size), written);
        FUZZ_CHECK(read == size && std::memcmp(buffer.memory, data, size) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // the failures are expected
    readBack(data, size);
    writeAndRead(data, size);
    return 0;
}
