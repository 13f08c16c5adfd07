// SPDX-License-Identifier: MIT
//
// The C interface from C++: the same files and statuses as the C++ calls,
// options read only as far as struct_size reaches, bad arguments refused.
#include "huffcodec/huffcodec.hpp"

#include "huffcodec/experimental.h"
#include "huffcodec/huffcodec.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.hpp"

namespace {

using namespace testing_support;
using huffcodec::Status;

// The small input beside the large shapes.
std::string smallData() {
    return randomBytes(9, 5000, 30);
}

// The shapes' names, made without the shapes.
std::vector<std::string> shapeNames() {
    std::vector<std::string> names = largeShapeNames();
    names.push_back("small");
    return names;
}

// The shape of that index, the large ones made once per program.
std::string shapeData(std::size_t index) {
    if (index == largeShapeNames().size()) {
        return smallData();
    }
    static const std::vector<LargeShape> shapes = largeShapes();
    return shapes.at(index).data;
}

// The C interface, and the in-memory calls under it, give the reference
// file and the data back on every thread count, a cut file what one thread
// keeps of it. The parameter is the shape's index.
class CInterfaceOnEveryThreadCount : public testing::TestWithParam<std::size_t> {};

TEST_P(CInterfaceOnEveryThreadCount, Shape) {
    const std::string data = shapeData(GetParam());
    const std::string reference = compressReference(data);
    const std::string cut =
        reference.substr(0, kHeaderBytes + (reference.size() - kHeaderBytes) * 2 / 3);
    // What the streaming decoder keeps of the cut file on one thread.
    std::string cutPrefix;
    const auto header = huffcodec::readHeader(cut.data(), cut.size());
    huffcodec::Decoder decoder;
    ASSERT_EQ(decoder.build(header.header), Status::ok);
    const std::string cutBody = cut.substr(kHeaderBytes);
    std::size_t offset = 0;
    decoder.decode(readerOf(cutBody, offset), appendTo(cutPrefix));
    ASSERT_TRUE(cutPrefix == data.substr(0, cutPrefix.size()));
    // Three and four threads take their workers from a pool.
    huffcodec_pool* pool = nullptr;
    ASSERT_EQ(huffcodec_pool_create(&pool, 0, 0), HUFFCODEC_OK);
    for (int threads = 0; threads <= 4; ++threads) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        huffcodec_options options;
        huffcodec_options_init(&options);
        options.threads = threads;
        options.pool = threads >= 3 ? pool : nullptr;
        std::string file(huffcodec_compress_bound(data.size()), '\0');
        size_t size = 0;
        ASSERT_EQ(
            huffcodec_compress(data.data(), data.size(), file.data(), file.size(), &size, &options),
            HUFFCODEC_OK);
        EXPECT_TRUE(file.substr(0, size) == reference);
        std::string restored(data.size(), '\0');
        size_t consumed = 0;
        ASSERT_EQ(huffcodec_decompress(reference.data(), reference.size(), restored.data(),
                                       restored.size(), &size, &consumed, &options),
                  HUFFCODEC_OK);
        EXPECT_TRUE(restored == data);
        EXPECT_EQ(consumed, reference.size());
        const huffcodec_status cutStatus = huffcodec_decompress(
            cut.data(), cut.size(), restored.data(), restored.size(), &size, &consumed, &options);
        EXPECT_EQ(cutStatus, data.find_first_not_of(data[0]) == std::string::npos
                                 ? HUFFCODEC_OK
                                 : HUFFCODEC_TRUNCATED_BODY);
        EXPECT_EQ(size, cutPrefix.size());
        EXPECT_TRUE(restored.substr(0, size) == cutPrefix);
    }
    huffcodec_pool_free(pool);
}

INSTANTIATE_TEST_SUITE_P(CApi, CInterfaceOnEveryThreadCount,
                         testing::Range<std::size_t>(0, shapeNames().size()),
                         RowNames(shapeNames()));

// The status numbers and texts are the C++ ones; bad arguments are refused
// before anything is touched.
TEST(CApi, StatusesAndBadArguments) {
    huffcodec_pool* none = nullptr;
    EXPECT_EQ(huffcodec_pool_create(&none, -1, 0), HUFFCODEC_INVALID_ARGUMENT);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(huffcodec_pool_create(nullptr, 1, 0), HUFFCODEC_INVALID_ARGUMENT);
    huffcodec_options options;
    huffcodec_options_init(&options);
    std::string out(2048, '\0');
    size_t size = 0;
    const char in[] = "abc";
    EXPECT_EQ(huffcodec_compress(in, 3, out.data(), out.size(), nullptr, nullptr),
              HUFFCODEC_INVALID_ARGUMENT);
    EXPECT_EQ(huffcodec_compress(nullptr, 3, out.data(), out.size(), &size, nullptr),
              HUFFCODEC_INVALID_ARGUMENT);
    // An input and an output that share a byte are refused, whole buffers
    // compared; buffers that only touch are not.
    const std::string abc = randomBytes(3, 3000, 3);
    std::string shared = compressReference(abc) + std::string(abc.size(), '\0');
    const std::size_t packed = shared.size() - abc.size();
    for (const auto& [outAt, expected] : {std::pair{std::size_t{0}, HUFFCODEC_INVALID_ARGUMENT},
                                          {packed - 1, HUFFCODEC_INVALID_ARGUMENT},
                                          {packed, HUFFCODEC_OK}}) {
        SCOPED_TRACE(outAt);
        huffcodec::InBuffer inBuffer{shared.data(), packed, 0};
        huffcodec::OutBuffer outBuffer{shared.data() + outAt, abc.size(), 0};
        EXPECT_EQ(huffcodec::DecompressStream().decompress(inBuffer, outBuffer, true),
                  static_cast<Status>(expected));
        EXPECT_EQ(huffcodec_decompress(shared.data(), packed, shared.data() + outAt, abc.size(),
                                       &size, nullptr, nullptr),
                  expected);
    }
    EXPECT_TRUE(shared.substr(packed) == abc);
    EXPECT_EQ(
        huffcodec_compress(shared.data(), abc.size(), shared.data(), shared.size(), &size, nullptr),
        HUFFCODEC_INVALID_ARGUMENT);
    huffcodec_tuning tuning{};
    options.tuning = &tuning;
    for (const auto& bad : {std::pair<int, int>{-1, 0}, {1, 5}, {1, -1}}) {
        options.threads = bad.first;
        tuning.lanes = bad.second;
        EXPECT_EQ(huffcodec_compress(in, 3, out.data(), out.size(), &size, &options),
                  HUFFCODEC_INVALID_ARGUMENT);
    }
    EXPECT_EQ(huffcodec_compress(in, 3, out.data(), out.size(), &size, nullptr), HUFFCODEC_OK);
    std::int64_t original = 0;
    std::int32_t counts[256];
    EXPECT_EQ(huffcodec_read_header(out.data(), size, &original, counts), HUFFCODEC_OK);
    EXPECT_EQ(original, 3);
    EXPECT_EQ(counts[static_cast<unsigned char>('b')], 1);
    EXPECT_EQ(huffcodec_read_header(out.data(), 1023, &original, nullptr),
              HUFFCODEC_HEADER_TOO_SHORT);
    for (int number = 0; number <= HUFFCODEC_INVALID_ARGUMENT; ++number) {
        EXPECT_STREQ(huffcodec_status_message(static_cast<huffcodec_status>(number)),
                     huffcodec::statusMessage(static_cast<Status>(number)));
    }
    for (const int number : {-1, 13, 99}) {  // a C caller may pass any number
        EXPECT_STREQ(huffcodec_status_message(static_cast<huffcodec_status>(number)),
                     "unknown status");
    }
    EXPECT_EQ(huffcodec_version_number(), HUFFCODEC_VERSION_MAJOR * 10000u +
                                              HUFFCODEC_VERSION_MINOR * 100u +
                                              HUFFCODEC_VERSION_PATCH);
    EXPECT_STREQ(huffcodec_version_string(), HUFFCODEC_VERSION_STRING);
    huffcodec::Decoder unbuilt;
    EXPECT_EQ(unbuilt.decode(in, 3, [](const std::uint8_t*, std::size_t) { return true; }).status,
              Status::invalidArgument);

    // Only whole members within struct_size are read, and the garbage past
    // them is ignored: a size of 0, or one that ends inside threads, takes
    // the default thread count (the -1 there would be refused), and a size
    // past the struct reads the members known.
    const std::size_t threadsEnd = offsetof(huffcodec_options, threads) + sizeof(int);
    for (const std::size_t bytes :
         {threadsEnd, threadsEnd - 1, std::size_t{0}, offsetof(huffcodec_options, pool) + 4,
          offsetof(huffcodec_options, tuning) + 4, sizeof(huffcodec_options) + 64}) {
        SCOPED_TRACE("struct_size " + std::to_string(bytes));
        huffcodec_options partial;
        std::memset(&partial, 0x55, sizeof partial);  // pool and tuning 0x5555...
        partial.struct_size = bytes;
        partial.threads = bytes < threadsEnd ? -1 : 2;
        if (bytes > offsetof(huffcodec_options, tuning)) {
            partial.pool = nullptr;  // read: only the tuning is cut
        }
        if (bytes >= sizeof partial) {
            partial.tuning = nullptr;
        }
        EXPECT_EQ(huffcodec_compress(in, 3, out.data(), out.size(), &size, &partial), HUFFCODEC_OK);
        huffcodec_dstream* stream = nullptr;
        EXPECT_EQ(huffcodec_dstream_create(&stream, &partial), HUFFCODEC_OK);
        huffcodec_dstream_free(stream);
    }
    huffcodec::Options unsized;  // C++ alike
    unsized.structSize = 0;
    unsized.threads = -1;
    EXPECT_EQ(huffcodec::compress(in, 3, out.data(), out.size(), unsized).status, Status::ok);

    // A failed create leaves no stream behind; an empty input before the
    // header is whole may be null.
    std::int32_t negative[256] = {};
    negative[7] = -1;
    auto* stale = reinterpret_cast<huffcodec_cstream*>(&options);
    EXPECT_EQ(huffcodec_cstream_create(&stale, negative, nullptr), HUFFCODEC_NEGATIVE_COUNT);
    EXPECT_EQ(stale, nullptr);
    stale = reinterpret_cast<huffcodec_cstream*>(&options);
    EXPECT_EQ(huffcodec_cstream_create(&stale, nullptr, nullptr), HUFFCODEC_INVALID_ARGUMENT);
    EXPECT_EQ(stale, nullptr);
    huffcodec_dstream* dstream = nullptr;
    ASSERT_EQ(huffcodec_dstream_create(&dstream, nullptr), HUFFCODEC_OK);
    huffcodec_in_buffer nothing{nullptr, 0, 0};
    huffcodec_out_buffer room{out.data(), out.size(), 0};
    EXPECT_EQ(huffcodec_dstream_decompress(dstream, &nothing, &room, 0), HUFFCODEC_OK);
    huffcodec_in_buffer some{in, 3, 0};
    EXPECT_EQ(huffcodec_dstream_decompress(dstream, &some, &room, 0), HUFFCODEC_OK);
    EXPECT_EQ(huffcodec_dstream_decompress(dstream, &nothing, &room, 1),
              HUFFCODEC_HEADER_TOO_SHORT);
    huffcodec_dstream_free(dstream);
    // A whole file without the end flag comes out whole, and finishes.
    const std::string smallInput = smallData();
    const std::string small = compressReference(smallInput);
    std::string smallOut(smallInput.size(), '\0');
    ASSERT_EQ(huffcodec_dstream_create(&dstream, nullptr), HUFFCODEC_OK);
    huffcodec_in_buffer whole{small.data(), small.size(), 0};
    huffcodec_out_buffer smallRoom{smallOut.data(), smallOut.size(), 0};
    EXPECT_EQ(huffcodec_dstream_decompress(dstream, &whole, &smallRoom, 0), HUFFCODEC_OK);
    EXPECT_TRUE(smallRoom.pos == smallOut.size() && smallOut == smallInput);
    EXPECT_EQ(huffcodec_dstream_finished(dstream), 1);
    huffcodec_dstream_free(dstream);

    // Empty callbacks are refused, not called.
    huffcodec::Header header;
    header.counts['a'] = 3;
    huffcodec::Decoder decoder;
    huffcodec::Encoder encoder;
    ASSERT_EQ(decoder.build(header), Status::ok);
    ASSERT_EQ(encoder.build(header), Status::ok);
    std::string sink;
    std::size_t offset = 0;
    const std::string aaa = "aaa";
    EXPECT_EQ(decoder.decode(huffcodec::ReadFn{}, appendTo(sink)).status, Status::invalidArgument);
    EXPECT_EQ(decoder.decode(readerOf(aaa, offset), huffcodec::WriteFn{}).status,
              Status::invalidArgument);
    EXPECT_EQ(decoder.decode(in, 3, huffcodec::WriteFn{}).status, Status::invalidArgument);
    EXPECT_EQ(decoder.decodeMember(readerOf(aaa, offset), appendTo(sink), {}).status,
              Status::invalidArgument);
    EXPECT_EQ(encoder.encode(huffcodec::ReadFn{}, appendTo(sink)).status, Status::invalidArgument);
    EXPECT_EQ(encoder.encode(readerOf(aaa, offset), huffcodec::WriteFn{}).status,
              Status::invalidArgument);
    EXPECT_EQ(huffcodec::countBytes(huffcodec::ReadFn{}).status, Status::invalidArgument);
    EXPECT_EQ(
        huffcodec::countBytes(std::function<std::ptrdiff_t(std::uint8_t*, std::size_t)>{}).status,
        Status::invalidArgument);
    EXPECT_EQ(decoder.decode(in, 3, std::function<bool(const std::uint8_t*, std::size_t)>{}).status,
              Status::invalidArgument);
    EXPECT_TRUE(sink.empty());
}

}  // namespace
