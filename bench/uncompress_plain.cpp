// The plain decoding path as a command, for benchmarks: reads the header with
// readInt32, walks the tree with decodeSymbol for every symbol, and writes
// through a file stream. Prints nothing; exit status 0 when it decoded the
// whole body, 1 otherwise. Not installed.
#include <cstdint>
#include <fstream>

#include "BitInputStream.hpp"
#include "HCTree.hpp"
#include "SymbolCounts.hpp"

int main(int argc, char* argv[]) {
    if (argc != 3) {
        return 2;
    }
    std::ifstream input(argv[1], std::ios::binary);
    std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
    if (!input || !output) {
        return 1;
    }
    BitInputStream bits(input);
    SymbolCounts counts(kNumSymbols, 0);
    std::int64_t total = 0;
    for (auto& count : counts) {
        count = bits.readInt32();
        if (count < 0) {
            return 1;
        }
        total += count;
    }
    HCTree tree;
    tree.buildFromCounts(counts);
    for (std::int64_t i = 0; i < total; ++i) {
        const int symbol = tree.decodeSymbol(bits);
        if (symbol < 0) {
            return 1;
        }
        output.put(static_cast<char>(symbol));
    }
    return output.flush() ? 0 : 1;
}
