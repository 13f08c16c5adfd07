// SPDX-License-Identifier: MIT
//
// The count header's one check, shared by readHeader and the builders of a
// Header made by hand.
#ifndef HUFFCODEC_ENGINE_HEADER_HPP
#define HUFFCODEC_ENGINE_HEADER_HPP

#include <cstddef>

#include "common/Format.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

// Checks the first entries counts of header in index order (the first
// negative one, or the first that takes the sum past kMaxOriginalSize,
// decides the status) and sets originalSize and distinctBytes from them.
// Returns ok, negativeCount or sizeTooLarge.
Status checkCounts(Header& header, std::size_t entries = format::kSymbols);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_HEADER_HPP
