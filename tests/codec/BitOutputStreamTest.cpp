// SPDX-License-Identifier: MIT
//
// BitOutputStream: bit order, lazy byte completion, flush, whole values, and
// agreement with BitInputStream.
#include "BitOutputStream.hpp"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "BitInputStream.hpp"
#include "TestSupport.hpp"

namespace {

std::string writeBits(const std::vector<int>& bits, bool flushAtEnd = true) {
    std::ostringstream out;
    BitOutputStream stream(out);
    for (const int bit : bits) {
        stream.writeBit(bit);
    }
    if (flushAtEnd) {
        stream.flush();
    }
    return out.str();
}

TEST(BitOutputStream, PacksLeastSignificantBitFirst) {
    struct Case {
        std::vector<int> bits;
        std::string bytes;
    };
    const Case cases[] = {
        {{}, ""},
        {{1, 0, 0, 0, 1, 1}, "\x31"},
        {{1, 1, 1, 1, 1, 1, 1, 1}, "\xFF"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 1}, std::string("\x00\x01", 2)},  // ninth bit opens byte 2
        {{2, 3, 4, 5}, "\x0A"},  // only the lowest bit of the argument counts
    };
    for (const Case& c : cases) {
        EXPECT_EQ(writeBits(c.bits), c.bytes);
    }
}

TEST(BitOutputStream, FullByteWaitsForTheNextBitOrFlush) {
    std::ostringstream out;
    BitOutputStream stream(out);
    for (int i = 0; i < 8; ++i) {
        stream.writeBit(1);
    }
    EXPECT_EQ(out.str(), "");
    stream.writeBit(1);
    EXPECT_EQ(out.str(), "\xFF");
    stream.flush();
    stream.flush();  // nothing pending the second time
    EXPECT_EQ(out.str(), "\xFF\x01");
}

TEST(BitOutputStream, WholeValuesGoStraightToTheStream) {
    std::ostringstream out;
    BitOutputStream stream(out);
    stream.writeInt32(2);
    stream.writeInt32(-2);
    stream.writeInt32(0x01020304);
    stream.writeByte(0x1C8);
    EXPECT_EQ(out.str(), std::string("\x02\x00\x00\x00\xFE\xFF\xFF\xFF\x04\x03\x02\x01\xC8", 13));
}

TEST(BitOutputStream, ReadsBackThroughBitInputStream) {
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        std::vector<int> bits(random() % 300);
        for (int& bit : bits) {
            bit = static_cast<int>(random() & 1);
        }
        std::istringstream in(writeBits(bits));
        BitInputStream reader(in);
        for (const int bit : bits) {
            ASSERT_EQ(reader.readBit(), bit) << "seed " << seed;
        }
        for (std::size_t pad = bits.size(); pad % 8 != 0; ++pad) {
            EXPECT_EQ(reader.readBit(), 0);
        }
        EXPECT_EQ(reader.readBit(), -1);
    }
}

}  // namespace
