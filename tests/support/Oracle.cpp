// SPDX-License-Identifier: MIT
//
// The oracle: the reference classes over whole buffers.
#include "Oracle.hpp"

#include <sstream>

#include "BitInputStream.hpp"
#include "BitOutputStream.hpp"

namespace oracle {

SymbolCounts countBytes(const std::string& data) {
    SymbolCounts counts(kNumSymbols, 0);
    for (const char c : data) {
        ++counts[static_cast<unsigned char>(c)];
    }
    return counts;
}

std::string headerBytes(const SymbolCounts& counts) {
    std::string header;
    for (const std::int32_t count : counts) {
        const auto value = static_cast<std::uint32_t>(count);
        for (int shift = 0; shift < 32; shift += 8) {
            header.push_back(static_cast<char>((value >> shift) & 0xFF));
        }
    }
    return header;
}

std::string packBits(const std::string& bits) {
    std::string bytes;
    int used = 8;
    for (const char bit : bits) {
        if (bit == ' ') {
            continue;
        }
        if (used == 8) {
            bytes.push_back(0);
            used = 0;
        }
        if (bit == '1') {
            bytes.back() = static_cast<char>(bytes.back() | (1 << used));
        }
        ++used;
    }
    return bytes;
}

std::vector<std::string> codesOf(const HCTree& tree) {
    std::vector<std::string> codes(kNumSymbols);
    for (int symbol = 0; symbol < kNumSymbols; ++symbol) {
        const HCNode* node = tree.getLeaf(static_cast<std::uint8_t>(symbol));
        std::string reversed;
        while (node != nullptr && node->parent != nullptr) {
            reversed.push_back(node->parent->child0 == node ? '0' : '1');
            node = node->parent;
        }
        codes[symbol].assign(reversed.rbegin(), reversed.rend());
    }
    return codes;
}

std::string compressReference(const std::string& data) {
    const SymbolCounts counts = countBytes(data);
    HCTree tree;
    tree.buildFromCounts(counts);
    const std::vector<std::string> codes = codesOf(tree);
    std::string bits;
    for (const char c : data) {
        bits += codes[static_cast<unsigned char>(c)];
    }
    return headerBytes(counts) + packBits(bits);
}

PlainDecoding decodePlain(const HCTree& tree, const std::string& body, std::uint64_t symbolCount) {
    std::istringstream in(body);
    BitInputStream bits(in);
    PlainDecoding result;
    for (std::uint64_t i = 0; i < symbolCount; ++i) {
        const int symbol = tree.decodeSymbol(bits);
        if (symbol < 0) {
            return result;
        }
        result.symbols.push_back(static_cast<char>(symbol));
    }
    result.complete = true;
    result.bytesFetched = static_cast<std::uint64_t>(in.tellg());
    return result;
}

std::string encodePlain(const HCTree& tree, const std::string& data) {
    std::ostringstream out;
    BitOutputStream bits(out);
    for (const char c : data) {
        tree.encodeSymbol(static_cast<std::uint8_t>(c), bits);
    }
    bits.flush();
    return out.str();
}

}  // namespace oracle
