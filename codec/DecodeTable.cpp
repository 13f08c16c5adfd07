// Decode tables built from the code tree, and the streaming decoder that uses
// them: a 64-bit bit buffer refilled eight bytes at a time in the hot loop,
// and a careful one-symbol step for the last bytes of the input, for codes
// longer than the table index and for the last symbols of the output.
#include "DecodeTable.hpp"

#include <algorithm>
#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the bit buffer loads body bytes in little-endian order");

namespace {

constexpr std::uint32_t kIndexMask = (1u << DecodeTable::kIndexBits) - 1;
constexpr std::size_t kTableSize = std::size_t{1} << DecodeTable::kIndexBits;

// Input is read in blocks; a top-up happens when fewer than kInputReserve
// bytes are left, which is more than the longest code (255 bits) needs, so a
// careful step never runs dry while the input has more.
constexpr std::size_t kInputBlock = std::size_t{1} << 17;
constexpr std::size_t kInputReserve = 64;
// Output is handed on in blocks; every lookup stores eight bytes whatever the
// number of symbols it holds, so the buffer has room for that past its end.
constexpr std::size_t kOutputBlock = std::size_t{1} << 17;
constexpr std::size_t kOutputSlack = 8;
// A refill leaves at least 56 bits in the buffer: four lookups of at most
// kIndexBits bits each always fit.
constexpr int kLookupsPerRefill = 4;
constexpr std::size_t kMaxSymbolsPerRefill = kLookupsPerRefill * DecodeTable::kMaxRun;

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

inline void store64(std::uint8_t* p, std::uint64_t value) {
    std::memcpy(p, &value, sizeof value);
}

// Appends node's subtree to nodes, inner nodes numbered in depth-first order
// from 0 at the root, and returns its entry: an inner node's number, or
// ~symbol for a leaf.
std::int16_t flatten(const HCNode* node, std::vector<std::array<std::int16_t, 2>>& nodes,
                     int& leafCount) {
    if (node->child0 == nullptr || node->child1 == nullptr) {
        ++leafCount;
        return static_cast<std::int16_t>(~static_cast<int>(node->symbol));
    }
    const std::size_t index = nodes.size();
    nodes.push_back({0, 0});
    const std::int16_t child0 = flatten(node->child0, nodes, leafCount);
    const std::int16_t child1 = flatten(node->child1, nodes, leafCount);
    nodes[index] = {child0, child1};
    return static_cast<std::int16_t>(index);
}

}  // namespace

DecodeTable::DecodeTable(const HCTree& tree)
    : runBits(kTableSize, 0), symbolRuns(kTableSize, 0), firstCodes(kTableSize, 0) {
    const HCNode* root = tree.getRoot();
    if (root == nullptr) {
        return;
    }
    if (root->child0 == nullptr || root->child1 == nullptr) {
        leafCount = 1;
        onlySymbol = root->symbol;
        return;
    }

    flatten(root, nodes, leafCount);

    // First code of every index: walk the flat tree over its bits.
    for (std::uint32_t index = 0; index < kTableSize; ++index) {
        std::int16_t node = 0;
        int length = 0;
        while (node >= 0 && length < kIndexBits) {
            node = nodes[node][(index >> length) & 1];
            ++length;
        }
        if (node < 0) {
            firstCodes[index] = static_cast<std::uint16_t>(length << 8 | (~node & 0xFF));
        } else {
            symbolRuns[index] = static_cast<std::uint64_t>(node);  // a long code goes on here
        }
    }

    // Runs: as many whole codes as the index bits hold, up to kMaxRun.
    for (std::uint32_t index = 0; index < kTableSize; ++index) {
        int used = 0;
        int count = 0;
        std::uint64_t run = 0;
        while (count < kMaxRun) {
            const std::uint16_t first = firstCodes[(index >> used) & kIndexMask];
            const int length = first >> 8;
            if (length == 0 || length > kIndexBits - used) {
                break;
            }
            run |= static_cast<std::uint64_t>(first & 0xFF) << (8 * count);
            ++count;
            used += length;
        }
        if (count > 0) {
            runBits[index] = static_cast<std::uint8_t>(used);
            symbolRuns[index] = run | static_cast<std::uint64_t>(count) << 56;
        }
    }
}

// The state of one decodeBody call: input and output blocks and the bit buffer.
class DecodeTable::Decoder {
public:
    Decoder(const DecodeTable& table, const ReadFn& read, const WriteFn& write)
        : table(table),
          read(read),
          write(write),
          input(kInputBlock + kInputReserve),
          output(kOutputBlock + kOutputSlack) {}

    Result run(std::uint64_t symbolCount);

private:
    enum class Step { decoded, endOfInput };

    bool topUp();
    bool flushOutput();
    std::size_t fastLoop(std::size_t maxSymbols);
    Step carefulStep();
    void refillBytewise() {
        while (bitCount <= 56 && inPos < inEnd) {
            bitBuffer |= static_cast<std::uint64_t>(input[inPos++]) << bitCount;
            bitCount += 8;
        }
    }
    Result finish(Status status, std::uint64_t written) const {
        return {status, written, 8 * (inBase + inPos) - bitCount};
    }

    const DecodeTable& table;
    const ReadFn& read;
    const WriteFn& write;
    std::vector<std::uint8_t> input;
    std::size_t inPos = 0;     // next byte to go into the bit buffer
    std::size_t inEnd = 0;     // end of the valid bytes in input
    std::uint64_t inBase = 0;  // offset in the body of input[0]
    bool inputDone = false;    // read has reported the end
    std::vector<std::uint8_t> output;
    std::size_t outPos = 0;
    // Bits at bitCount and above are 0 or the true bits that follow: a refill
    // ORs the same bits there again.
    std::uint64_t bitBuffer = 0;
    unsigned bitCount = 0;
};

bool DecodeTable::Decoder::topUp() {
    const std::size_t kept = inEnd - inPos;
    std::memmove(input.data(), input.data() + inPos, kept);
    inBase += inPos;
    inPos = 0;
    inEnd = kept;
    const long got = read(input.data() + kept, kInputBlock);
    if (got < 0) {
        return false;
    }
    inEnd += static_cast<std::size_t>(got);
    inputDone = static_cast<std::size_t>(got) < kInputBlock;
    return true;
}

bool DecodeTable::Decoder::flushOutput() {
    const bool ok = outPos == 0 || write(output.data(), outPos);
    outPos = 0;
    return ok;
}

// The hot loop: runs while eight bytes can be loaded and maxSymbols leaves
// room for a whole refill's worth of symbols; stops early at a long code.
// Returns the number of symbols written.
std::size_t DecodeTable::Decoder::fastLoop(std::size_t maxSymbols) {
    if (maxSymbols < kMaxSymbolsPerRefill || inEnd - inPos < 8) {
        return 0;
    }
    const std::uint8_t* const runBits = table.runBits.data();
    const std::uint64_t* const symbolRuns = table.symbolRuns.data();
    const std::uint8_t* in = input.data() + inPos;
    const std::uint8_t* const inLast = input.data() + inEnd - 8;
    std::uint8_t* const outStart = output.data() + outPos;
    std::uint8_t* out = outStart;
    std::uint8_t* const outLast = outStart + (maxSymbols - kMaxSymbolsPerRefill);
    std::uint64_t buffer = bitBuffer;
    unsigned count = bitCount;
    while (in <= inLast && out <= outLast) {
        buffer |= load64(in) << count;
        in += (63 - count) >> 3;
        count |= 56;
        for (int lookup = 0; lookup < kLookupsPerRefill; ++lookup) {
            const std::uint32_t index = static_cast<std::uint32_t>(buffer) & kIndexMask;
            const unsigned bits = runBits[index];
            if (bits == 0) {
                goto done;
            }
            const std::uint64_t run = symbolRuns[index];
            store64(out, run);
            out += run >> 56;
            buffer >>= bits;
            count -= bits;
        }
    }
done:
    inPos = static_cast<std::size_t>(in - input.data());
    bitBuffer = buffer;
    bitCount = count;
    const auto written = static_cast<std::size_t>(out - outStart);
    outPos += written;
    return written;
}

// Decodes one symbol with every bound checked; endOfInput when the input
// ends before its code does.
DecodeTable::Decoder::Step DecodeTable::Decoder::carefulStep() {
    refillBytewise();
    const std::uint32_t index = static_cast<std::uint32_t>(bitBuffer) & kIndexMask;
    const std::uint16_t first = table.firstCodes[index];
    const unsigned length = first >> 8;
    if (length != 0) {
        if (length > bitCount) {
            return Step::endOfInput;
        }
        output[outPos++] = static_cast<std::uint8_t>(first & 0xFF);
        bitBuffer >>= length;
        bitCount -= length;
        return Step::decoded;
    }
    if (bitCount < static_cast<unsigned>(kIndexBits)) {
        return Step::endOfInput;
    }
    auto node = static_cast<std::int16_t>(table.symbolRuns[index]);
    bitBuffer >>= kIndexBits;
    bitCount -= kIndexBits;
    for (;;) {
        if (bitCount == 0) {
            refillBytewise();
            if (bitCount == 0) {
                return Step::endOfInput;
            }
        }
        node = table.nodes[static_cast<std::size_t>(node)][bitBuffer & 1];
        bitBuffer >>= 1;
        --bitCount;
        if (node < 0) {
            output[outPos++] = static_cast<std::uint8_t>(~node);
            return Step::decoded;
        }
    }
}

DecodeTable::Result DecodeTable::Decoder::run(std::uint64_t symbolCount) {
    if (symbolCount == 0) {
        return finish(Status::ok, 0);
    }
    if (table.leafCount == 0) {
        return finish(Status::endOfInput, 0);
    }
    if (table.leafCount == 1) {
        // Codes of zero bits: nothing to read.
        std::memset(output.data(), table.onlySymbol, kOutputBlock);
        for (std::uint64_t written = 0; written < symbolCount;) {
            const auto size = static_cast<std::size_t>(
                std::min<std::uint64_t>(kOutputBlock, symbolCount - written));
            if (!write(output.data(), size)) {
                return finish(Status::writeError, written);
            }
            written += size;
        }
        return finish(Status::ok, symbolCount);
    }

    std::uint64_t written = 0;  // symbols handed to write
    while (written + outPos < symbolCount) {
        if (!inputDone && inEnd - inPos < kInputReserve && !topUp()) {
            const std::size_t size = outPos;
            flushOutput();
            return finish(Status::readError, written + size);
        }
        if (outPos >= kOutputBlock) {
            const std::size_t size = outPos;
            if (!flushOutput()) {
                return finish(Status::writeError, written);
            }
            written += size;
        }
        const std::uint64_t left = symbolCount - written - outPos;
        const auto maxSymbols =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, kOutputBlock - outPos));
        if (fastLoop(maxSymbols) == 0 && carefulStep() == Step::endOfInput) {
            const std::size_t size = outPos;
            flushOutput();  // the symbols before the cut stay in the output
            return finish(Status::endOfInput, written + size);
        }
    }
    const std::size_t size = outPos;
    if (!flushOutput()) {
        return finish(Status::writeError, written);
    }
    return finish(Status::ok, written + size);
}

DecodeTable::Result DecodeTable::decodeBody(std::uint64_t symbolCount, const ReadFn& read,
                                            const WriteFn& write) const {
    Decoder decoder(*this, read, write);
    return decoder.run(symbolCount);
}
