// SPDX-License-Identifier: MIT
//
// The public API through ReadFn and WriteFn: countBytes() and the Encoder
// write what the reference writer writes, the Encoder refuses input that
// changed between its two passes, and the Decoder gives the data back.
#include "huffcodec/huffcodec.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "TestSupport.hpp"

namespace {

using namespace testing_support;
using huffcodec::Status;

TEST(CallbackApi, StreamingEncoderAndDecoder) {
    const std::string data = dataFor(countTableShapes()[7], 300000, 5);
    std::size_t offset = 0;
    const huffcodec::CountResult counted = huffcodec::countBytes(readerOf(data, offset));
    ASSERT_EQ(counted.status, Status::ok);
    // A mutable lambda, called through a const ReadFn, moves on in its own state.
    const huffcodec::ReadFn own = [&data, at = std::size_t{0}](std::uint8_t* buffer,
                                                               std::size_t size) mutable {
        const std::size_t n = data.copy(reinterpret_cast<char*>(buffer), size, at);
        at += n;
        return static_cast<std::ptrdiff_t>(n);
    };
    EXPECT_EQ(huffcodec::countBytes(own).header.counts, counted.header.counts);
    huffcodec::Encoder encoder;
    ASSERT_EQ(encoder.build(counted.header), Status::ok);
    std::string file;
    const huffcodec::WriteFn append = [&file](const std::uint8_t* bytes, std::size_t size) {
        file.append(reinterpret_cast<const char*>(bytes), size);
        return true;
    };
    offset = 0;
    const auto encoded = encoder.encode(readerOf(data, offset), append);
    ASSERT_EQ(encoded.status, Status::ok);
    EXPECT_EQ(file, compressReference(data));
    EXPECT_EQ(encoded.bytesProduced, file.size());

    // The second pass must see what the first counted.
    char uncounted = 0;
    while (counted.header.counts[static_cast<unsigned char>(uncounted)] != 0) {
        ++uncounted;
    }
    // A counted byte whose code has another length than the first byte's.
    HCTree tree;
    tree.buildFromCounts(countBytes(data));
    const std::vector<std::string> codes = codesOf(tree);
    char longer = 0;
    while (counted.header.counts[static_cast<unsigned char>(longer)] == 0 ||
           codes[static_cast<unsigned char>(longer)].size() ==
               codes[static_cast<unsigned char>(data[0])].size()) {
        ++longer;
    }
    for (const std::string& changed :
         {data + data[0], data.substr(1), uncounted + data.substr(1), longer + data.substr(1)}) {
        std::size_t at = 0;
        const auto result =
            encoder.encode(readerOf(changed, at), [&](auto*, std::size_t) { return true; });
        EXPECT_EQ(result.status, Status::inputChanged);
    }

    const auto header = huffcodec::readHeader(file.data(), file.size());
    ASSERT_EQ(header.status, Status::ok);
    huffcodec::Decoder decoder;
    ASSERT_EQ(decoder.build(header.header), Status::ok);
    const std::string body = file.substr(kHeaderBytes);
    for (int lanes = 1; lanes <= 4; ++lanes) {
        std::string restored;
        const huffcodec::WriteFn collect = [&](const std::uint8_t* bytes, std::size_t size) {
            restored.append(reinterpret_cast<const char*>(bytes), size);
            return true;
        };
        offset = 0;
        huffcodec::DecodeStats stats;
        huffcodec::Tuning tuning;
        tuning.lanes = lanes;
        tuning.segmentBytes = 4096;
        tuning.stats = &stats;
        const auto result =
            decoder.decode(readerOf(body, offset), collect, optionsWith(1, &tuning));
        EXPECT_EQ(result.status, Status::ok);
        EXPECT_EQ(restored, data);
        EXPECT_EQ(result.bytesConsumed, kHeaderBytes + body.size());
        EXPECT_EQ(stats.segments > 0, lanes > 1) << lanes;
    }

    // Headers built by hand are checked as readHeader checks them.
    huffcodec::Header bad = header.header;
    bad.counts[3] = -1;
    EXPECT_EQ(decoder.build(bad), Status::negativeCount);
    EXPECT_EQ(encoder.build(bad), Status::negativeCount);
    bad.counts[3] = 2147483647;
    EXPECT_EQ(decoder.build(bad), Status::sizeTooLarge);
}

}  // namespace
