// SPDX-License-Identifier: MIT
//
// huffcodec -l: what a compressed file holds, from its header and its size,
// without decoding it: a row of a table on standard output per file.
#ifndef HUFFCODEC_CLI_LISTING_HPP
#define HUFFCODEC_CLI_LISTING_HPP

#include <array>
#include <cstdint>
#include <string>

#include "InputFile.hpp"
#include "huffcodec/huffcodec.hpp"

class Listing {
public:
    // Reads input's header, and its size (from the file system, or by reading
    // to the end of an input that has none). Returns ok, the header's status,
    // truncatedBody when the file is shorter than the header's codes take,
    // readError (error() gives the errno) or outOfMemory.
    huffcodec::Status read(InputFile& input);
    int error() const { return readErrno; }

    // The table's first line.
    static void printHeading();
    // The file's row, and with counts 32 lines of its 256 counts after it.
    void printRow(const std::string& name, bool counts) const;

private:
    huffcodec::Header header;
    std::array<std::uint8_t, 256> lengths{};
    std::uint64_t size = 0;      // of the whole file
    std::uint64_t bodyBits = 0;  // that the codes take
    int readErrno = 0;
};

#endif  // HUFFCODEC_CLI_LISTING_HPP
