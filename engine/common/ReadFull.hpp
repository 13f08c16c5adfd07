// SPDX-License-Identifier: MIT
//
// Reading a whole block through a ReadFn, which may return fewer bytes than
// asked for before the end of the input.
#ifndef HUFFCODEC_ENGINE_READFULL_HPP
#define HUFFCODEC_ENGINE_READFULL_HPP

#include <cstddef>
#include <cstdint>

#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

struct FullRead {
    std::size_t bytes;  // read into the buffer, before an error too
    bool failed;        // read returned an error, or more than it was asked for
};

// Reads until buffer holds size bytes, read returns 0 (the end) or read fails.
inline FullRead readFull(const ReadFn& read, std::uint8_t* buffer, std::size_t size) {
    FullRead result{0, false};
    while (result.bytes < size) {
        const std::ptrdiff_t got = read(buffer + result.bytes, size - result.bytes);
        if (got < 0 || static_cast<std::size_t>(got) > size - result.bytes) {
            result.failed = true;
            break;
        }
        if (got == 0) {
            break;
        }
        result.bytes += static_cast<std::size_t>(got);
    }
    return result;
}

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_READFULL_HPP
