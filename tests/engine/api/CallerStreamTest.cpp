// SPDX-License-Identifier: MIT
//
// DecompressStream and CompressStream, fed and drained by the caller in
// pieces, against the reference.
#include "huffcodec/huffcodec.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.hpp"

namespace {

using namespace testing_support;
using huffcodec::Status;

// Whether the byte that differs between a and b has a code of another length
// (or none) in tree.
bool lengthChanged(const HCTree& tree, const std::string& a, const std::string& b) {
    const std::vector<std::string> codes = codesOf(tree);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            const auto before = static_cast<unsigned char>(a[i]);
            const auto after = static_cast<unsigned char>(b[i]);
            return tree.getLeaf(after) == nullptr || codes[before].size() != codes[after].size();
        }
    }
    return false;
}

// The caller-driven streams against the reference: whole files, cut files
// and files with trailing bytes, fed and drained in pieces of every size from
// one byte up (the sizes drawn with a fixed seed), give the data, the cut's
// prefix and truncatedBody, and where the file ended; the data, fed to a
// CompressStream the same way, gives the file, and changed data inputChanged.
TEST(CallerStream, StreamsInPiecesOfAnySize) {
    std::mt19937 random(77);
    const std::vector<SymbolCounts> shapes = countTableShapes();
    std::size_t row = 0;
    for (std::size_t t = 0; t < shapes.size(); t += 3) {
        // Some files larger than the stream's input block, which then moves
        // what it keeps to its front.
        const std::string data = dataFor(shapes[t],
                                         t % 2 == 0   ? 3000
                                         : t % 3 == 0 ? 1500000
                                                      : 300000,
                                         t);
        const std::string file = compressReference(data);
        HCTree tree;
        tree.buildFromCounts(countBytes(data));
        const std::string cut = file.substr(0, kHeaderBytes + (file.size() - kHeaderBytes) / 2);
        const PlainDecoding cutPlain = decodePlain(tree, cut.substr(kHeaderBytes), data.size());
        const std::size_t limits[] = {1, 16, 5000, 1 << 20};
        for (const std::string& input : {file, file + "trailing", cut}) {
            const std::size_t inLimit = limits[row % 4], outLimit = limits[row / 4 % 4];
            ++row;
            SCOPED_TRACE("table " + std::to_string(t) + ", " + std::to_string(input.size()) +
                         " bytes in pieces up to " + std::to_string(inLimit) + " / " +
                         std::to_string(outLimit));
            huffcodec::DecompressStream stream;
            std::string restored;
            std::vector<char> buffer(outLimit);
            std::size_t given = 0;
            Status status = Status::ok;
            for (int calls = 0; !stream.finished() && status == Status::ok; ++calls) {
                ASSERT_LT(calls, 10000000);
                const std::size_t piece =
                    std::min<std::size_t>(1 + random() % inLimit, input.size() - given);
                huffcodec::InBuffer in{input.data() + given, piece, 0};
                huffcodec::OutBuffer out{buffer.data(), 1 + random() % outLimit, 0};
                status = stream.decompress(in, out, given + piece == input.size());
                given += in.pos;
                restored.append(buffer.data(), out.pos);
            }
            // The second pass of compression, fed and drained the same way.
            const huffcodec::CountResult counted = [&] {
                std::size_t offset = 0;
                return huffcodec::countBytes(readerOf(data, offset));
            }();
            std::string replaced = data;
            replaced[data.size() / 2] = static_cast<char>(data[data.size() / 2] ^ 1);
            const std::string sources[] = {data, data + "x", replaced};
            for (const std::string& source : sources) {
                huffcodec::CompressStream packer;
                ASSERT_EQ(packer.reset(counted.header), Status::ok);
                std::string packed;
                std::size_t taken = 0;
                Status packStatus = Status::ok;
                while (!packer.finished() && packStatus == Status::ok) {
                    const std::size_t piece =
                        std::min<std::size_t>(1 + random() % inLimit, source.size() - taken);
                    huffcodec::InBuffer in{source.data() + taken, piece, 0};
                    huffcodec::OutBuffer out{buffer.data(), 1 + random() % outLimit, 0};
                    packStatus = packer.compress(in, out, taken + piece == source.size());
                    taken += in.pos;
                    packed.append(buffer.data(), out.pos);
                }
                if (&source == &sources[0]) {
                    EXPECT_EQ(packStatus, Status::ok);
                    EXPECT_TRUE(packed == file);
                } else if (source.size() > data.size() || lengthChanged(tree, data, replaced)) {
                    EXPECT_EQ(packStatus, Status::inputChanged);
                }
            }
            const bool isCut = input.size() < file.size();
            EXPECT_EQ(status, isCut && !cutPlain.complete ? Status::truncatedBody : Status::ok);
            EXPECT_TRUE(restored == (isCut ? cutPlain.symbols : data));
            if (!isCut) {
                EXPECT_EQ(stream.bytesConsumed(), file.size());
                ASSERT_NE(stream.header(), nullptr);
                EXPECT_EQ(stream.header()->originalSize, static_cast<std::int64_t>(data.size()));
            }
        }
    }
    // Without the end flag, in pieces from one byte to a segment, on every
    // lane count and kernel, with other bytes after the file or none: after
    // each piece, exactly the symbols whose codes the bytes fed hold whole
    // (the reference's code lengths say which), and finished as the body's
    // last byte arrives.
    const std::size_t pieceSizes[] = {1, 5, 333, 4096, 65536};
    for (std::size_t t = 0; t < shapes.size(); ++t) {
        for (const std::size_t size : {1, 3000, 150000}) {
            const std::string data = dataFor(shapes[t], size, t);
            const std::string file = compressReference(data);
            const std::string input = file + randomBytes(t, t % 2 == 0 ? 70000 : 0);
            HCTree tree;
            tree.buildFromCounts(countBytes(data));
            const std::vector<std::string> codes = codesOf(tree);
            std::vector<std::uint64_t> needed;  // file bytes that hold each symbol's code whole
            std::uint64_t bits = 0;
            for (const char c : data) {
                bits += codes[static_cast<unsigned char>(c)].size();
                needed.push_back(kHeaderBytes + (bits + 7) / 8);
            }
            const std::size_t pieceSize = pieceSizes[row++ % 5];
            SCOPED_TRACE("table " + std::to_string(t) + ", " + std::to_string(size) +
                         " bytes in pieces of " + std::to_string(pieceSize));
            huffcodec::Tuning tuning;
            tuning.lanes = static_cast<int>(t % 5);
            tuning.kernel = huffcodec::kKernels[t % 3];
            huffcodec::DecompressStream stream;
            ASSERT_EQ(stream.reset(
                          optionsWith(1, huffcodec::kernelRuns(tuning.kernel) ? &tuning : nullptr)),
                      Status::ok);
            std::string restored(data.size() + 1, '\0');
            huffcodec::OutBuffer out{restored.data(), restored.size(), 0};
            for (std::size_t fed = 0; !stream.finished();) {
                ASSERT_LT(fed, input.size());
                huffcodec::InBuffer in{input.data() + fed, std::min(pieceSize, input.size() - fed),
                                       0};
                for (int calls = 0; in.pos < in.size && !stream.finished(); ++calls) {
                    ASSERT_LT(calls, 100);
                    ASSERT_EQ(stream.decompress(in, out, false), Status::ok);
                }
                fed += in.pos;
                ASSERT_EQ(out.pos,
                          std::upper_bound(needed.begin(), needed.end(), fed) - needed.begin())
                    << "after " << fed << " bytes";
                ASSERT_EQ(stream.finished(), fed >= file.size()) << "after " << fed << " bytes";
            }
            EXPECT_EQ(restored.compare(0, data.size(), data), 0);
            EXPECT_EQ(stream.bytesConsumed(), file.size());
        }
    }

    // A short or bad header is reported once the input has ended.
    const std::string header = compressReference("abc").substr(0, kHeaderBytes);
    std::string negative = header;
    negative[4 * 'b' + 3] = static_cast<char>(0x80);
    for (const auto& [input, status] : {std::pair<std::string, Status>{"", Status::headerTooShort},
                                        {header.substr(0, 500), Status::headerTooShort},
                                        {negative.substr(0, 500), Status::negativeCount},
                                        {negative, Status::negativeCount}}) {
        huffcodec::DecompressStream stream;
        char byte = 0;
        huffcodec::InBuffer in{input.data(), input.size(), 0};
        huffcodec::OutBuffer out{&byte, 1, 0};
        EXPECT_EQ(stream.decompress(in, out, false),
                  input.size() < kHeaderBytes ? Status::ok : status);
        EXPECT_EQ(stream.decompress(in, out, true), status);
        EXPECT_FALSE(stream.finished());
    }
}

}  // namespace
