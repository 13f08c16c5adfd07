// SPDX-License-Identifier: MIT
//
// readHeader: where parsing stops and why; writeHeader writes it back.
#include "huffcodec/huffcodec.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.hpp"

namespace {

using testing_support::headerBytes;
using testing_support::makeCounts;
using testing_support::RowNames;

using huffcodec::Status;

Status parse(const std::string& bytes) {
    return huffcodec::readHeader(bytes.data(), bytes.size()).status;
}

struct Case {
    std::string name;
    std::string bytes;
    Status status;
};

std::vector<Case> badEntryCases() {
    const std::string valid = headerBytes(makeCounts({{'a', 5}, {'b', 2}}));
    return {
        {"empty", "", Status::headerTooShort},
        {"one byte short", valid.substr(0, kHeaderBytes - 1), Status::headerTooShort},
        {"negative entry", headerBytes(makeCounts({{7, -1}})), Status::negativeCount},
        {"most negative entry", headerBytes(makeCounts({{255, -2147483647 - 1}})),
         Status::negativeCount},
        {"sum one past the limit", headerBytes(makeCounts({{0, 2147483647}, {9, 1}})),
         Status::sizeTooLarge},
        {"overflow before a negative entry",
         headerBytes(makeCounts({{1, 2147483647}, {2, 5}, {3, -1}})), Status::sizeTooLarge},
        {"negative entry before an overflow",
         headerBytes(makeCounts({{1, -1}, {2, 2147483647}, {3, 5}})), Status::negativeCount},
        {"overflow in a cut header",
         headerBytes(makeCounts({{0, 2147483647}, {1, 1}})).substr(0, 8), Status::sizeTooLarge},
        {"sum exactly at the limit", headerBytes(makeCounts({{0, 2147483600}, {200, 47}})),
         Status::ok},
        {"all zero", std::string(kHeaderBytes, '\0'), Status::ok},
        {"trailing bytes ignored", valid + "xyz", Status::ok},
    };
}

const std::vector<Case>& badEntryTable() {
    static const std::vector<Case> table = badEntryCases();
    return table;
}

// The parameter is the case's index.
class StopsAtTheFirstBadEntry : public testing::TestWithParam<std::size_t> {};

TEST_P(StopsAtTheFirstBadEntry, Case) {
    const Case& c = badEntryTable()[GetParam()];
    EXPECT_EQ(parse(c.bytes), c.status) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Header, StopsAtTheFirstBadEntry,
                         testing::Range<std::size_t>(0, badEntryTable().size()),
                         RowNames(badEntryTable(), [](const Case& c) { return c.name; }));

TEST(Header, TotalsAndRoundTrip) {
    const SymbolCounts counts = makeCounts({{0, 3}, {128, 1}, {255, 2147483640}});
    const huffcodec::HeaderResult parsed =
        huffcodec::readHeader(headerBytes(counts).data(), kHeaderBytes);
    ASSERT_EQ(parsed.status, Status::ok);
    EXPECT_EQ(SymbolCounts(parsed.header.counts.begin(), parsed.header.counts.end()), counts);
    EXPECT_EQ(parsed.header.originalSize, 2147483644);
    EXPECT_EQ(parsed.header.distinctBytes, 3);
    const auto bytes = huffcodec::writeHeader(parsed.header);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), headerBytes(counts));
}

}  // namespace
