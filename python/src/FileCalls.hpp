// SPDX-License-Identifier: MIT
//
// compress_file and decompress_file: the commands' file job (files/) run for
// Python, its failures raised as OSError or the status's exception.
#ifndef HUFFCODEC_PYTHON_FILECALLS_HPP
#define HUFFCODEC_PYTHON_FILECALLS_HPP

#include <pybind11/pybind11.h>

#include <string>

namespace pyhuffcodec {

void compressFile(const std::string& src, const std::string& dst, const pybind11::object& threads);
void decompressFile(const std::string& src, const std::string& dst, const pybind11::object& threads,
                    const pybind11::object& maxOutputSize);

}  // namespace pyhuffcodec

#endif  // HUFFCODEC_PYTHON_FILECALLS_HPP
