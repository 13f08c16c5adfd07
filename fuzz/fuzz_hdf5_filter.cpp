// SPDX-License-Identifier: MIT
//
// Arbitrary bytes as a stored chunk, read back by the HDF5 filter, as HDF5
// calls it: knowing the dataset's chunk size, not knowing it (a dataset whose
// size the filter could not record), and with a chunk size other than the
// one the header claims, which must fail. A chunk the filter reads must be
// exactly what the library decodes from the same bytes, and every failure
// must leave HDF5's buffer as it was. Then the same bytes as a chunk to
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

    std::size_t run(unsigned flags, unsigned chunkBytes, std::size_t bytes) {
        const unsigned values[HUFFCODEC_H5Z_CD_VALUES] = {HUFFCODEC_H5Z_LAYOUT, chunkBytes};
        void* before = memory;
        const std::size_t result =
            filterClass().filter(flags, HUFFCODEC_H5Z_CD_VALUES, values, bytes, &size, &memory);
        FUZZ_CHECK(result != 0 || memory == before);
        return result;
    }

    std::size_t size;
    void* memory;
};

// A one-symbol header writes its symbols without reading a body: larger ones
// are left out to keep runs fast and small.
constexpr std::int64_t kMaxOneSymbolSize = 1 << 18;

void readBack(const std::uint8_t* data, std::size_t size) {
    std::int64_t claimed = 0;
    std::int32_t counts[256];
    const bool validHeader = huffcodec_read_header(data, size, &claimed, counts) == HUFFCODEC_OK;
    if (validHeader && claimed > kMaxOneSymbolSize &&
        std::count_if(std::begin(counts), std::end(counts), [](std::int32_t c) { return c; }) ==
            1) {
        return;
    }
    // Left uninitialised: a header may claim far more than its body decodes.
    const std::size_t expectedSize = validHeader ? static_cast<std::size_t>(claimed) : 0;
    const std::unique_ptr<std::uint8_t[]> expected(new std::uint8_t[expectedSize + 1]);
    std::size_t decoded = 0;
    std::size_t consumed = 0;
    const bool decodes = validHeader && claimed > 0 &&
                         huffcodec_decompress(data, size, expected.get(), expectedSize, &decoded,
                                              &consumed, nullptr) == HUFFCODEC_OK &&
                         consumed == size;
    const unsigned claimedSize = validHeader ? static_cast<unsigned>(claimed) : 1u;
    for (const unsigned chunkBytes : {claimedSize, 0u, claimedSize + 1}) {
        FilterBuffer buffer(data, size);
        const std::size_t result = buffer.run(H5Z_FLAG_REVERSE, chunkBytes, size);
        const bool shouldRead = decodes && (chunkBytes == 0 || chunkBytes == claimedSize);
        FUZZ_CHECK((result != 0) == shouldRead);
        if (result != 0) {
            FUZZ_CHECK(result == expectedSize && buffer.size >= result);
            FUZZ_CHECK(std::memcmp(buffer.memory, expected.get(), result) == 0);
        }
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
