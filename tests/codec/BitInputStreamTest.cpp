// SPDX-License-Identifier: MIT
//
// BitInputStream: bit order, end-of-input behaviour, whole-value reads.
#include "BitInputStream.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "TestSupport.hpp"

namespace {

TEST(BitInputStream, HandsOutBitsLeastSignificantFirstThenEndOfInput) {
    std::istringstream input(std::string("\x31", 1));
    BitInputStream bits(input);
    for (const int expected : {1, 0, 0, 0, 1, 1, 0, 0}) {
        EXPECT_EQ(bits.readBit(), expected);
    }
    EXPECT_EQ(bits.readBit(), -1);
    EXPECT_EQ(bits.readBit(), -1);
}

TEST(BitInputStream, EmptyInputGivesEndOfInputEveryTime) {
    std::istringstream input("");
    BitInputStream bits(input);
    EXPECT_EQ(bits.readBit(), -1);
    EXPECT_EQ(bits.readBit(), -1);
    EXPECT_EQ(bits.readByte(), -1);
    EXPECT_EQ(bits.readInt32(), -1);
}

TEST(BitInputStream, ReadInt32IsLittleEndianSigned) {
    struct Case {
        std::string bytes;
        std::int32_t expected;
    };
    const Case cases[] = {
        {std::string("\x02\x00\x00\x00", 4), 2},
        {std::string("\x01\x02\x03\x04", 4), 0x04030201},
        {std::string("\xFF\xFF\xFF\x7F", 4), 2147483647},
        {std::string("\xFF\xFF\xFF\xFF", 4), -1},  // a stored -1 reads like the end
        {std::string("\x00\x00\x00\x80", 4), -2147483647 - 1},
        {std::string("\x02\x00\x00", 3), -1},  // three bytes only
    };
    for (const Case& c : cases) {
        std::istringstream input(c.bytes);
        BitInputStream bits(input);
        EXPECT_EQ(bits.readInt32(), c.expected) << testing::PrintToString(c.bytes);
    }
}

TEST(BitInputStream, ReadByteIsUnsigned) {
    std::istringstream input(std::string("\xC8\x00", 2));
    BitInputStream bits(input);
    EXPECT_EQ(bits.readByte(), 200);
    EXPECT_EQ(bits.readByte(), 0);
    EXPECT_EQ(bits.readByte(), -1);
}

TEST(BitInputStream, HeaderThenBodyReadsFollowTheFileLayout) {
    std::string file(kHeaderBytes, '\0');
    file[0] = 7;
    std::istringstream exactHeader(file);
    BitInputStream headerOnly(exactHeader);
    for (int i = 0; i < kNumSymbols; ++i) {
        ASSERT_EQ(headerOnly.readInt32(), i == 0 ? 7 : 0) << i;
    }
    EXPECT_EQ(headerOnly.readBit(), -1);

    std::istringstream withBody(file + "\x80");
    BitInputStream bits(withBody);
    for (int i = 0; i < kNumSymbols; ++i) {
        ASSERT_GE(bits.readInt32(), 0);
    }
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(bits.readBit(), 0);
    }
    EXPECT_EQ(bits.readBit(), 1);
    EXPECT_EQ(bits.readBit(), -1);
}

TEST(BitInputStream, ReadsBackWhatPackBitsPacked) {
    const std::string pattern = "1101 0001 1110 0000 1011 1";
    std::istringstream input(testing_support::packBits(pattern));
    BitInputStream bits(input);
    for (const char c : pattern) {
        if (c != ' ') {
            EXPECT_EQ(bits.readBit(), c - '0');
        }
    }
    for (int padding = 0; padding < 3; ++padding) {
        EXPECT_EQ(bits.readBit(), 0);
    }
    EXPECT_EQ(bits.readBit(), -1);
}

}  // namespace
