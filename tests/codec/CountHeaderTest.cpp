// CountHeader: where parsing stops and why, and writing it back.
#include "CountHeader.hpp"

#include <gtest/gtest.h>

#include "TestSupport.hpp"

namespace {

using testing_support::headerBytes;
using testing_support::makeCounts;

CountHeader::Status parse(CountHeader& header, const std::string& bytes) {
    return header.parse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(CountHeader, StopsAtTheFirstBadEntry) {
    using Status = CountHeader::Status;
    struct Case {
        std::string name;
        std::string bytes;
        Status status;
    };
    const std::string valid = headerBytes(makeCounts({{'a', 5}, {'b', 2}}));
    const Case cases[] = {
        {"empty", "", Status::endOfInput},
        {"one byte short", valid.substr(0, kHeaderBytes - 1), Status::endOfInput},
        {"negative entry", headerBytes(makeCounts({{7, -1}})), Status::endOfInput},
        {"most negative entry", headerBytes(makeCounts({{255, -2147483647 - 1}})),
         Status::endOfInput},
        {"sum one past the limit", headerBytes(makeCounts({{0, 2147483647}, {9, 1}})),
         Status::sizeTooLarge},
        {"overflow before a negative entry",
         headerBytes(makeCounts({{1, 2147483647}, {2, 5}, {3, -1}})), Status::sizeTooLarge},
        {"negative entry before an overflow",
         headerBytes(makeCounts({{1, -1}, {2, 2147483647}, {3, 5}})), Status::endOfInput},
        {"overflow in a cut header",
         headerBytes(makeCounts({{0, 2147483647}, {1, 1}})).substr(0, 8), Status::sizeTooLarge},
        {"sum exactly at the limit", headerBytes(makeCounts({{0, 2147483600}, {200, 47}})),
         Status::ok},
        {"all zero", std::string(kHeaderBytes, '\0'), Status::ok},
        {"trailing bytes ignored", valid + "xyz", Status::ok},
    };
    for (const Case& c : cases) {
        CountHeader header;
        EXPECT_EQ(parse(header, c.bytes), c.status) << c.name;
    }
}

TEST(CountHeader, TotalsAndRoundTrip) {
    const SymbolCounts counts = makeCounts({{0, 3}, {128, 1}, {255, 2147483640}});
    const auto bytes = CountHeader::encode(counts);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), headerBytes(counts));
    CountHeader header;
    ASSERT_EQ(header.parse(bytes.data(), bytes.size()), CountHeader::Status::ok);
    EXPECT_EQ(header.counts(), counts);
    EXPECT_EQ(header.total(), 2147483644);
    EXPECT_EQ(header.unique(), 3);
}

TEST(CountHeader, TableOfTheWrongSizeGivesTheEmptyHeader) {
    for (const std::size_t size : {0, 255, 257}) {
        const auto bytes = CountHeader::encode(SymbolCounts(size, 7));
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string(kHeaderBytes, '\0')) << size;
    }
}

}  // namespace
