// SPDX-License-Identifier: MIT
//
// The pieces the API's files share.
#include "api/ApiSupport.hpp"

#include <algorithm>
#include <cstring>

#include "common/Header.hpp"

namespace huffcodec {

Status buildCode(const Header& header, std::unique_ptr<CodeTree>& code, std::int64_t& total) {
    Header checked = header;
    const Status status = checkCounts(checked);
    total = checked.originalSize;
    if (status == Status::ok) {
        code = std::make_unique<CodeTree>(header.counts);
    }
    return status;
}

Header headerOf(const std::array<std::uint64_t, 256>& counts, std::int64_t total) {
    Header header;
    for (std::size_t v = 0; v < counts.size(); ++v) {
        header.counts[v] = static_cast<std::int32_t>(counts[v]);
        header.distinctBytes += counts[v] != 0 ? 1 : 0;
    }
    header.originalSize = total;
    return header;
}

std::uint64_t bodyBitsOf(const CodeTree& code, const CountTable& counts) {
    return codeBitsOf(counts, [&](std::uint8_t v) { return code.length(v); });
}

WriteFn writerTo(std::uint8_t* target, std::size_t capacity, std::size_t& at) {
    return [target, capacity, &at](const std::uint8_t* data, std::size_t n) {
        if (n > capacity - at) {
            return false;
        }
        std::memcpy(target + at, data, n);
        at += n;
        return true;
    };
}

bool usableBuffers(const void* in, std::size_t inSize, const void* out, std::size_t outSize) {
    // As numbers: pointers into different objects do not compare.
    const auto in0 = reinterpret_cast<std::uintptr_t>(in);
    const auto out0 = reinterpret_cast<std::uintptr_t>(out);
    const bool overlap = inSize > 0 && outSize > 0 && in0 < out0 + outSize && out0 < in0 + inSize;
    return (in != nullptr || inSize == 0) && (out != nullptr || outSize == 0) && !overlap;
}

bool usableBuffers(const InBuffer& in, const OutBuffer& out) {
    return in.pos <= in.size && out.pos <= out.size &&
           usableBuffers(in.data, in.size, out.data, out.size);
}

void OutputQueue::put(OutBuffer& out, const std::uint8_t* data, std::size_t size) {
    const std::size_t direct = empty() ? std::min(size, out.size - out.pos) : 0;
    if (direct > 0) {
        std::memcpy(static_cast<std::uint8_t*>(out.data) + out.pos, data, direct);
        out.pos += direct;
    }
    pending.insert(pending.end(), data + direct, data + size);
}

void OutputQueue::give(OutBuffer& out) {
    const std::size_t n = std::min(pending.size() - taken, out.size - out.pos);
    if (n > 0) {
        std::memcpy(static_cast<std::uint8_t*>(out.data) + out.pos, pending.data() + taken, n);
        out.pos += n;
        taken += n;
    }
    if (taken == pending.size()) {
        pending.clear();
        taken = 0;
    }
}

}  // namespace huffcodec
