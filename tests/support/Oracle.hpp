// SPDX-License-Identifier: MIT
//
// The reference classes put to work as the oracle of the tests and the fuzz
// targets: counting, headers, the codes found from the tree's parent links,
// and whole encodings and decodings through the bit streams. No test
// framework here, so that the fuzz targets link it too.
#ifndef TESTS_SUPPORT_ORACLE_HPP
#define TESTS_SUPPORT_ORACLE_HPP

#include <cstdint>
#include <string>
#include <vector>

#include "HCTree.hpp"
#include "SymbolCounts.hpp"

namespace oracle {

// Counts of the bytes of data.
SymbolCounts countBytes(const std::string& data);

// The 1024-byte header for counts, little-endian.
std::string headerBytes(const SymbolCounts& counts);

// Packs a string of '0' and '1' (spaces ignored) least significant bit first,
// padding the last byte with zeros.
std::string packBits(const std::string& bits);

// The code of every symbol as a string of '0' and '1', root end first, found
// by climbing parent links from each leaf; empty for a symbol without a leaf.
std::vector<std::string> codesOf(const HCTree& tree);

// A whole compressed file for data: header of its counts, then its codes.
std::string compressReference(const std::string& data);

// What the plain reference path (decodeSymbol over a BitInputStream) makes of
// a body: the symbols it decodes before it stops, whether it decoded all of
// symbolCount, and the body bytes it fetched (once complete).
struct PlainDecoding {
    std::string symbols;
    bool complete = false;
    std::uint64_t bytesFetched = 0;
};
PlainDecoding decodePlain(const HCTree& tree, const std::string& body, std::uint64_t symbolCount);

// The body encodeSymbol writes over a BitOutputStream for data.
std::string encodePlain(const HCTree& tree, const std::string& data);

}  // namespace oracle

#endif  // TESTS_SUPPORT_ORACLE_HPP
