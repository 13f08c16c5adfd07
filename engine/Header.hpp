// SPDX-License-Identifier: MIT
//
// The count header: the bridge between the public Header and the reference
// classes' SymbolCounts table.
#ifndef HUFFCODEC_ENGINE_HEADER_HPP
#define HUFFCODEC_ENGINE_HEADER_HPP

#include "Format.hpp"
#include "SymbolCounts.hpp"
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

// The counts of header as the table HCTree::buildFromCounts takes.
SymbolCounts symbolCountsOf(const Header& header);

}  // namespace huffcodec

#endif  // HUFFCODEC_ENGINE_HEADER_HPP
