// Decode tables built from the code tree, and the streaming decoder that uses
// them: a 64-bit bit buffer refilled eight bytes at a time in the hot loop,
// and a careful one-symbol step for the last bytes of the input, for codes
// longer than the table index and for the last symbols of the output.
//
// Two lanes: one lookup waits for the previous code's length, so a single
// chain of lookups cannot go faster than its latency. A segment of the body is
// therefore split at a byte boundary: lane A decodes from the segment's true
// start, lane B from the split point as if a code started there, and the two
// chains run interleaved. A prefix code falls into step by itself, so B is
// soon on the true code boundaries; B records where its first codes start,
// and when A reaches the split point it steps one code at a time until it
// stands on one of those starts. From there B's symbols are the true ones and
// A's state jumps to B's end. If A finds no common start within B's window,
// B's work is dropped and decoding goes on from A: slower, never wrong.
#include "DecodeTable.hpp"

#include <algorithm>
#include <cstring>
#include <memory>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the bit buffer loads body bytes in little-endian order");

namespace {

constexpr std::uint32_t kIndexMask = (1u << DecodeTable::kIndexBits) - 1;
constexpr std::size_t kTableSize = std::size_t{1} << DecodeTable::kIndexBits;

// Input is read in blocks; a top-up happens when fewer than kInputReserve
// bytes are left, which is more than the longest code (255 bits) needs, so a
// careful step never runs dry while the input has more.
constexpr std::size_t kInputBlock = std::size_t{1} << 18;
constexpr std::size_t kInputReserve = 64;
// Output is handed on in blocks of up to kOutputBlock bytes; every lookup
// stores eight bytes whatever the number of symbols it holds, so the buffers
// have room for that past their ends.
constexpr std::size_t kOutputBlock = std::size_t{1} << 19;
constexpr std::size_t kOutputSlack = 16;
// Two-lane segments: segmentBytes of body, lane B starting half-way. A lane
// may run past its limit by three lookups and one long code: under 40 bytes.
constexpr std::size_t kMinSegmentBytes = 64;
constexpr std::size_t kMaxSegmentBytes = std::size_t{1} << 16;
constexpr std::size_t kLaneOvershootBytes = 40;
// Lane B records its code starts over its first kWindowBits bits (or a
// quarter of the segment, if less).
constexpr std::int64_t kWindowBits = 2048;
// A refill leaves at least 56 bits in the buffer: four lookups of at most
// kIndexBits bits each always fit.
constexpr int kLookupsPerRefill = 4;
constexpr std::size_t kMaxSymbolsPerRefill = kLookupsPerRefill * DecodeTable::kMaxRun;

// A byte buffer left uninitialised: the decoder writes before it reads, and a
// small file should not pay for clearing a megabyte.
class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(std::size_t size) : bytes(new std::uint8_t[size]) {}
    std::uint8_t* data() const { return bytes.get(); }

private:
    std::unique_ptr<std::uint8_t[]> bytes;
};

// One chain of lookups: where it reads, its bit buffer and where it writes.
// Bits at count and above are 0 or the true bits that follow: a refill ORs
// the same bits there again.
struct Lane {
    const std::uint8_t* next;  // next byte to go into bits
    std::uint64_t bits;
    unsigned count;
    std::uint8_t* out;
};

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
    : runBits(kTableSize, 0),
      symbolRuns(kTableSize, 0),
      firstCodes(kTableSize, 0),
      runStarts(kTableSize, 0) {
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

    minLength = kIndexBits;
    for (const std::uint16_t first : firstCodes) {
        if (first >> 8 != 0) {
            minLength = std::min(minLength, first >> 8);
        }
    }

    // Runs: as many whole codes as the index bits hold, up to kMaxRun.
    for (std::uint32_t index = 0; index < kTableSize; ++index) {
        int used = 0;
        int count = 0;
        std::uint64_t run = 0;
        std::uint16_t starts = 0;
        while (count < kMaxRun) {
            const std::uint16_t first = firstCodes[(index >> used) & kIndexMask];
            const int length = first >> 8;
            if (length == 0 || length > kIndexBits - used) {
                break;
            }
            run |= static_cast<std::uint64_t>(first & 0xFF) << (8 * count);
            starts = static_cast<std::uint16_t>(starts | 1u << used);
            ++count;
            used += length;
        }
        if (count > 0) {
            runBits[index] = static_cast<std::uint8_t>(used);
            runStarts[index] = starts;
            symbolRuns[index] = run | static_cast<std::uint64_t>(count) << 56;
        }
    }
}

// The state of one decodeBody call: input and output blocks, the bit buffer,
// and lane B's buffers.
class DecodeTable::Decoder {
public:
    Decoder(const DecodeTable& table, const ReadFn& read, const WriteFn& write,
            std::size_t segmentBytes)
        : table(table),
          read(read),
          write(write),
          segmentBytes(std::clamp(segmentBytes, kMinSegmentBytes, kMaxSegmentBytes) &
                       ~std::size_t{1}),
          input(kInputBlock + kInputReserve + kMaxSegmentBytes),
          output(kOutputBlock + kOutputSlack) {}

    Result run(std::uint64_t symbolCount, Lanes lanes);

private:
    enum class SegmentEnd { met, fellBack, writeError };

    bool topUp();
    bool flushOutput();
    std::size_t fastLoop(std::size_t maxSymbols);
    bool carefulStep();
    SegmentEnd decodeSegment();
    void recordWindow(Lane& b, std::int64_t windowEnd);

    // The main lane, for the hot loops; written back with saveLane.
    Lane mainLane() { return {input.data() + inPos, bitBuffer, bitCount, output.data() + outPos}; }
    void saveLane(const Lane& lane) {
        inPos = static_cast<std::size_t>(lane.next - input.data());
        bitBuffer = lane.bits;
        bitCount = lane.count;
        outPos = static_cast<std::size_t>(lane.out - output.data());
    }
    // Bit position of the lane's next code, counted from input[0]; negative
    // while bits fetched before a top-up are still unread.
    std::int64_t bitPosition(const Lane& lane) const {
        return 8 * static_cast<std::int64_t>(lane.next - input.data()) -
               static_cast<std::int64_t>(lane.count);
    }
    // Decodes one symbol with every bound checked; false when the input ends
    // before its code does.
    bool decodeOne(Lane& lane) const;

    Result finish(Status status) const {
        return {status, written, 8 * (inBase + inPos) - bitCount, stats};
    }

    const DecodeTable& table;
    const ReadFn& read;
    const WriteFn& write;
    const std::size_t segmentBytes;
    ByteBuffer input;
    std::size_t inPos = 0;     // next byte to go into the bit buffer
    std::size_t inEnd = 0;     // end of the valid bytes in input
    std::uint64_t inBase = 0;  // offset in the body of input[0]
    bool inputDone = false;    // read has reported the end
    ByteBuffer output;
    std::size_t outPos = 0;
    std::uint64_t written = 0;  // symbols handed to write
    std::uint64_t bitBuffer = 0;
    unsigned bitCount = 0;
    // Lane B's symbols, and its window: one entry per lookup, covering the
    // bits from position on, with the code starts among them and the index
    // in laneOutput of the first symbol.
    struct WindowEntry {
        std::int64_t position;
        unsigned bits;
        std::uint32_t starts;
        std::size_t symbol;
    };
    ByteBuffer laneOutput;
    std::vector<WindowEntry> window;
    LaneStats stats;
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
    written += ok ? outPos : 0;
    outPos = 0;
    return ok;
}

namespace {

inline void refill(Lane& lane) {
    lane.bits |= load64(lane.next) << lane.count;
    lane.next += (63 - lane.count) >> 3;
    lane.count |= 56;
}

// One table lookup: up to kMaxRun whole codes. False, with the lane
// untouched, when the next code is longer than the table index.
inline bool lookup(Lane& lane, const std::uint8_t* runBits, const std::uint64_t* symbolRuns) {
    const std::uint32_t index = static_cast<std::uint32_t>(lane.bits) & kIndexMask;
    const unsigned bits = runBits[index];
    if (bits == 0) {
        return false;
    }
    const std::uint64_t run = symbolRuns[index];
    store64(lane.out, run);
    lane.out += run >> 56;
    lane.bits >>= bits;
    lane.count -= bits;
    return true;
}

}  // namespace

// The hot loop: runs while eight bytes can be loaded and maxSymbols leaves
// room for a whole refill's worth of symbols; stops early at a long code.
// Returns the number of symbols written.
std::size_t DecodeTable::Decoder::fastLoop(std::size_t maxSymbols) {
    if (maxSymbols < kMaxSymbolsPerRefill || inEnd - inPos < 8) {
        return 0;
    }
    const std::uint8_t* const runBits = table.runBits.data();
    const std::uint64_t* const symbolRuns = table.symbolRuns.data();
    const std::uint8_t* const inLast = input.data() + inEnd - 8;
    Lane lane = mainLane();
    std::uint8_t* const outStart = lane.out;
    std::uint8_t* const outLast = outStart + (maxSymbols - kMaxSymbolsPerRefill);
    while (lane.next <= inLast && lane.out <= outLast) {
        refill(lane);
        for (int i = 0; i < kLookupsPerRefill; ++i) {
            if (!lookup(lane, runBits, symbolRuns)) {
                goto done;
            }
        }
    }
done:
    saveLane(lane);
    return static_cast<std::size_t>(lane.out - outStart);
}

bool DecodeTable::Decoder::decodeOne(Lane& lane) const {
    const std::uint8_t* const end = input.data() + inEnd;
    while (lane.count <= 56 && lane.next < end) {
        lane.bits |= static_cast<std::uint64_t>(*lane.next++) << lane.count;
        lane.count += 8;
    }
    const std::uint32_t index = static_cast<std::uint32_t>(lane.bits) & kIndexMask;
    const std::uint16_t first = table.firstCodes[index];
    const unsigned length = first >> 8;
    if (length != 0) {
        if (length > lane.count) {
            return false;
        }
        *lane.out++ = static_cast<std::uint8_t>(first & 0xFF);
        lane.bits >>= length;
        lane.count -= length;
        return true;
    }
    if (lane.count < static_cast<unsigned>(kIndexBits)) {
        return false;
    }
    auto node = static_cast<std::int16_t>(table.symbolRuns[index]);
    lane.bits >>= kIndexBits;
    lane.count -= kIndexBits;
    for (;;) {
        if (lane.count == 0) {
            while (lane.count <= 56 && lane.next < end) {
                lane.bits |= static_cast<std::uint64_t>(*lane.next++) << lane.count;
                lane.count += 8;
            }
            if (lane.count == 0) {
                return false;
            }
        }
        node = table.nodes[static_cast<std::size_t>(node)][lane.bits & 1];
        lane.bits >>= 1;
        --lane.count;
        if (node < 0) {
            *lane.out++ = static_cast<std::uint8_t>(~node);
            return true;
        }
    }
}

bool DecodeTable::Decoder::carefulStep() {
    Lane lane = mainLane();
    const bool decoded = decodeOne(lane);
    saveLane(lane);
    return decoded;
}

// Lane B's window: the normal lookups, each also recording which bits it
// covered and where codes start among them.
void DecodeTable::Decoder::recordWindow(Lane& b, std::int64_t windowEnd) {
    const std::uint8_t* const runBits = table.runBits.data();
    const std::uint64_t* const symbolRuns = table.symbolRuns.data();
    const std::uint16_t* const runStarts = table.runStarts.data();
    window.clear();
    while (bitPosition(b) < windowEnd) {
        refill(b);
        for (int i = 0; i < kLookupsPerRefill; ++i) {
            const std::int64_t position = bitPosition(b);
            const auto symbol = static_cast<std::size_t>(b.out - laneOutput.data());
            const std::uint32_t index = static_cast<std::uint32_t>(b.bits) & kIndexMask;
            if (!lookup(b, runBits, symbolRuns)) {
                decodeOne(b);
                window.push_back(
                    {position, static_cast<unsigned>(bitPosition(b) - position), 1, symbol});
                break;
            }
            window.push_back({position, runBits[index], runStarts[index], symbol});
        }
    }
}

// Decodes one segment of segmentBytes from the main lane's position with two
// lanes, and hands the symbols to write. The caller guarantees that the
// segment and kInputReserve bytes after it are in the input block, that the
// output buffer is empty and that the symbol count leaves room for every
// symbol the segment can hold. When the lanes do not fall into step, the main
// lane stands wherever lane A stopped, its symbols in the output buffer.
DecodeTable::Decoder::SegmentEnd DecodeTable::Decoder::decodeSegment() {
    const std::uint8_t* const runBits = table.runBits.data();
    const std::uint64_t* const symbolRuns = table.symbolRuns.data();
    Lane a = mainLane();
    const std::size_t split = inPos + segmentBytes / 2;
    const auto splitBit = 8 * static_cast<std::int64_t>(split);
    const auto endBit = 8 * static_cast<std::int64_t>(inPos + segmentBytes);
    Lane b{input.data() + split, 0, 0, laneOutput.data()};
    ++stats.segments;
    recordWindow(b, splitBit + std::min(kWindowBits, 2 * static_cast<std::int64_t>(segmentBytes)));

    // Both chains interleaved until either reaches its limit; a long code
    // in either lane is taken one symbol at a time.
    for (;;) {
        const bool aRuns = bitPosition(a) < splitBit;
        const bool bRuns = bitPosition(b) < endBit;
        if (aRuns && bRuns) {
            refill(a);
            refill(b);
            for (int i = 0; i < kLookupsPerRefill; ++i) {
                if (!lookup(a, runBits, symbolRuns)) {
                    decodeOne(a);
                    break;
                }
                if (!lookup(b, runBits, symbolRuns)) {
                    decodeOne(b);
                    break;
                }
            }
        } else if (aRuns || bRuns) {
            Lane& lane = aRuns ? a : b;
            refill(lane);
            for (int i = 0; i < kLookupsPerRefill; ++i) {
                if (!lookup(lane, runBits, symbolRuns)) {
                    decodeOne(lane);
                    break;
                }
            }
        } else {
            break;
        }
    }

    // Lane A steps code by code until it stands on a code start of B's window.
    std::size_t w = 0;
    std::size_t from = 0;
    for (;;) {
        const std::int64_t position = bitPosition(a);
        while (w < window.size() && window[w].position + window[w].bits <= position) {
            ++w;
        }
        if (w == window.size()) {
            ++stats.fallbacks;
            saveLane(a);
            return SegmentEnd::fellBack;
        }
        const auto offset = static_cast<unsigned>(position - window[w].position);
        if (offset < 32 && (window[w].starts >> offset & 1) != 0) {
            const std::uint32_t before = window[w].starts & ((1u << offset) - 1);
            from = window[w].symbol + static_cast<std::size_t>(__builtin_popcount(before));
            const auto distance = static_cast<std::uint64_t>(position - splitBit);
            stats.resyncBitsTotal += distance;
            stats.resyncBitsMax = std::max(stats.resyncBitsMax, distance);
            break;
        }
        decodeOne(a);
    }

    // A's symbols, then B's from the meeting point: two writes, no copy.
    saveLane(a);
    if (!flushOutput()) {
        return SegmentEnd::writeError;
    }
    const auto count = static_cast<std::size_t>(b.out - laneOutput.data()) - from;
    if (count > 0 && !write(laneOutput.data() + from, count)) {
        return SegmentEnd::writeError;
    }
    written += count;
    b.out = output.data();
    saveLane(b);
    return SegmentEnd::met;
}

DecodeTable::Result DecodeTable::Decoder::run(std::uint64_t symbolCount, Lanes lanes) {
    if (symbolCount == 0) {
        return finish(Status::ok);
    }
    if (table.leafCount == 0) {
        return finish(Status::endOfInput);
    }
    if (table.leafCount == 1) {
        // Codes of zero bits: nothing to read.
        std::memset(output.data(), table.onlySymbol,
                    static_cast<std::size_t>(std::min<std::uint64_t>(kOutputBlock, symbolCount)));
        while (written < symbolCount) {
            outPos = static_cast<std::size_t>(
                std::min<std::uint64_t>(kOutputBlock, symbolCount - written));
            if (!flushOutput()) {
                return finish(Status::writeError);
            }
        }
        return finish(Status::ok);
    }

    // The most symbols one segment can give, overshoot included.
    const std::size_t segmentSymbols =
        (segmentBytes + kLaneOvershootBytes) * 8 / static_cast<std::size_t>(table.minLength);
    const bool twoLanes = lanes == Lanes::two;
    if (twoLanes) {
        laneOutput = ByteBuffer(segmentSymbols + kOutputSlack);
    }
    const std::size_t wantInput = (twoLanes ? segmentBytes : 0) + kInputReserve;

    while (written + outPos < symbolCount) {
        if (!inputDone && inEnd - inPos < wantInput && !topUp()) {
            flushOutput();
            return finish(Status::readError);
        }
        const bool segment = twoLanes && inEnd - inPos >= wantInput &&
                             symbolCount - written - outPos >= segmentSymbols;
        if ((outPos >= kOutputBlock || segment) && !flushOutput()) {
            return finish(Status::writeError);
        }
        if (segment) {
            if (decodeSegment() == SegmentEnd::writeError) {
                return finish(Status::writeError);
            }
            continue;
        }
        const auto maxSymbols = static_cast<std::size_t>(
            std::min<std::uint64_t>(symbolCount - written - outPos, kOutputBlock - outPos));
        if (fastLoop(maxSymbols) == 0 && !carefulStep()) {
            flushOutput();  // the symbols before the cut stay in the output
            return finish(Status::endOfInput);
        }
    }
    return finish(flushOutput() ? Status::ok : Status::writeError);
}

DecodeTable::Result DecodeTable::decodeBody(std::uint64_t symbolCount, const ReadFn& read,
                                            const WriteFn& write, Lanes lanes,
                                            std::size_t segmentBytes) const {
    Decoder decoder(*this, read, write, segmentBytes);
    return decoder.run(symbolCount, lanes);
}
