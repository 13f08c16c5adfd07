// SPDX-License-Identifier: MIT
//
// The decoding under huffcodec.open(): the class StreamReader, which the
// package's _reader.py drives.
#ifndef HUFFCODEC_PYTHON_STREAMREADER_HPP
#define HUFFCODEC_PYTHON_STREAMREADER_HPP

#include <pybind11/pybind11.h>

namespace pyhuffcodec {

// Adds StreamReader to the module m. The class stays in its own unit, with
// the hooks that let the cycle collector see a reader's source.
void bindStreamReader(pybind11::module_& m);

}  // namespace pyhuffcodec

#endif  // HUFFCODEC_PYTHON_STREAMREADER_HPP
