// SPDX-License-Identifier: MIT
//
// The lengths of a header's codes and the bits of its body, for a program
// that describes a file (huffcodec -l) without decoding it.
#include <new>

#include "api/ApiSupport.hpp"
#include "huffcodec/experimental.hpp"

namespace huffcodec {

Status codeLengths(const Header& header, std::array<std::uint8_t, 256>& lengths) noexcept {
    lengths.fill(0);
    try {
        std::unique_ptr<CodeTree> code;
        std::int64_t total = 0;
        const Status status = buildCode(header, code, total);
        if (status != Status::ok) {
            return status;
        }
        for (std::size_t v = 0; v < lengths.size(); ++v) {
            lengths[v] = static_cast<std::uint8_t>(code->length(static_cast<std::uint8_t>(v)));
        }
        return Status::ok;
    } catch (const std::bad_alloc&) {
        return Status::outOfMemory;
    }
}

Status bodyBits(const Header& header, std::uint64_t& bits) noexcept {
    bits = 0;
    try {
        std::unique_ptr<CodeTree> code;
        std::int64_t total = 0;
        const Status status = buildCode(header, code, total);
        if (status == Status::ok) {
            bits = bodyBitsOf(*code, header.counts);
        }
        return status;
    } catch (const std::bad_alloc&) {
        return Status::outOfMemory;
    }
}

}  // namespace huffcodec
