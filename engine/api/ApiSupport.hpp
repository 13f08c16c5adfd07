// SPDX-License-Identifier: MIT
//
// What the API's files share: the code of a header's counts, and the queue
// and buffer checks of the streams the caller drives. (The caller's options
// are checked and resolved in Planning.hpp.)
#ifndef HUFFCODEC_ENGINE_APISUPPORT_HPP
#define HUFFCODEC_ENGINE_APISUPPORT_HPP

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "api/Planning.hpp"
#include "common/CodeTree.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

// The code of header's counts, checked first as readHeader checks them (a
// Header built by hand may hold anything); total receives their sum.
Status buildCode(const Header& header, std::unique_ptr<CodeTree>& code, std::int64_t& total);

// The header of data whose byte values occur counts[v] times, total bytes in
// all (at most kMaxOriginalSize).
Header headerOf(const std::array<std::uint64_t, 256>& counts, std::int64_t total);

// The bits of the codes of the bytes counts describes.
std::uint64_t bodyBitsOf(const CodeTree& code, const CountTable& counts);

// Writes into the capacity bytes at target, at most; at counts them.
WriteFn writerTo(std::uint8_t* target, std::size_t capacity, std::size_t& at);

// A caller's input of inSize bytes and output of outSize bytes: no null
// pointer with a size, and no byte in both, where writing the output would
// overwrite input still to be read.
bool usableBuffers(const void* in, std::size_t inSize, const void* out, std::size_t outSize);
// The same for the streams' buffers, whole, and their positions within the
// sizes.
bool usableBuffers(const InBuffer& in, const OutBuffer& out);

// Bytes for a caller's OutBuffer: straight in while it has room, the rest kept
// in order until the next call.
class OutputQueue {
public:
    void put(OutBuffer& out, const std::uint8_t* data, std::size_t size);
    void give(OutBuffer& out);
    bool empty() const { return pending.empty(); }

private:
    std::vector<std::uint8_t> pending;
    std::size_t taken = 0;
};

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_APISUPPORT_HPP
