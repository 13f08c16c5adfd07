// SPDX-License-Identifier: MIT
//
// huffcodec -l: what a compressed file holds, a row of a table on standard
// output per file. The sizes are those the decoders find (the file is
// decoded, its output thrown away): a listing never says a file is whole
// when they do not, nor the other way round. A file of several members
// lists their sums.
#ifndef HUFFCODEC_COMMAND_LISTING_HPP
#define HUFFCODEC_COMMAND_LISTING_HPP

#include <array>
#include <cstdint>
#include <string>

#include "huffcodec/huffcodec.hpp"

class Listing {
public:
    // One member's header; false if its code lengths cannot be had (they
    // can for every header readHeader accepts).
    bool add(const huffcodec::Header& header);

    // The table's first line.
    static void printHeading();
    // The file's row, compressedBytes its size as decoded, and with counts
    // 32 lines of its 256 counts after it.
    void printRow(const std::string& name, std::uint64_t compressedBytes, bool counts) const;

private:
    std::uint64_t original = 0;
    std::array<std::uint64_t, 256> counts{};
    int longest = 0;
    std::uint64_t codeBits = 0;  // that the members' codes take
};

#endif  // HUFFCODEC_COMMAND_LISTING_HPP
