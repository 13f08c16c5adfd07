// SPDX-License-Identifier: MIT
//
// Block by block encoding with the checks of counted data.
#include "encode/StreamEncoder.hpp"

#include <algorithm>
#include <utility>

namespace huffcodec {

StreamEncoder::StreamEncoder(const BodyEncoder& code, std::uint64_t totalBytes,
                             std::uint64_t totalBits, Kernel kernel)
    : encoder(code),
      total(totalBytes),
      bodyBits(totalBits),
      blockBytes(static_cast<std::size_t>(std::clamp<std::uint64_t>(totalBytes, 1, kBlockBytes))),
      encoded(encoder.outputBound(blockBytes) + 1) {
    encoder.useKernel(kernel);
}

void StreamEncoder::checkChunks(std::vector<std::uint64_t> bitsOfChunks,
                                std::uint64_t bytesOfChunk) {
    chunkBits = std::move(bitsOfChunks);
    chunkBytes = bytesOfChunk;
    chunk = 0;
    chunkEnd = chunkBytes;
    chunkEndBits = chunkBits.empty() ? 0 : chunkBits[0];
}

std::size_t StreamEncoder::nextBlockBytes() const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(blockBytes, chunkEnd - taken));
}

Status StreamEncoder::encode(const std::uint8_t* data, std::size_t size, std::size_t& produced) {
    produced = 0;
    taken += size;
    // Other bytes than counted could have no code at all.
    if (taken > total) {
        return Status::inputChanged;
    }
    produced = encoder.encode(data, size, encoded.data());
    bits += 8 * std::uint64_t{produced};
    if (taken == chunkEnd) {
        if (chunk >= chunkBits.size() || bits + encoder.unfinishedBits() != chunkEndBits) {
            return Status::inputChanged;
        }
        ++chunk;
        chunkEnd += chunkBytes;
        chunkEndBits += chunk < chunkBits.size() ? chunkBits[chunk] : 0;
    }
    return Status::ok;
}

Status StreamEncoder::encodeNext(const std::uint8_t* data, std::size_t size, bool endsInput,
                                 std::size_t& used, std::size_t& produced) {
    used = std::min(size, nextBlockBytes());
    Status status = encode(data, used, produced);
    if (status == Status::ok && endsInput && used == size) {
        status = finish(produced);
    }
    return status;
}

Status StreamEncoder::finish(std::size_t& produced) {
    finished = true;
    bits += encoder.unfinishedBits();
    produced += encoder.finish(encoded.data() + produced);
    // Other bytes of the same number would still give codes of another total
    // length, unless every change keeps the lengths.
    return taken != total || encoder.sawSymbolWithoutCode() || bits != bodyBits
               ? Status::inputChanged
               : Status::ok;
}

}  // namespace huffcodec
