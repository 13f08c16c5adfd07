// SPDX-License-Identifier: MIT
//
// huffcodec._huffcodec: the library's in-memory calls, its file calls
// (FileCalls.cpp) and the decoding under huffcodec.open() (StreamReader.cpp)
// for Python. Buffers are read and written in place, and every call drops
// the GIL while the library works, so Python threads decode side by side. A
// failing Status becomes a StatusError (Arguments.hpp); the translator below
// raises the matching huffcodec exception with the library's text.
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "Arguments.hpp"
#include "FileCalls.hpp"
#include "StreamReader.hpp"
#include "huffcodec/hdf5.h"
#include "huffcodec/huffcodec.hpp"
#include "huffcodec/version.hpp"

namespace pyhuffcodec {

namespace {

// The library's bound, for a size past 64 bits too: it caps every size.
std::size_t compressBoundOf(const py::handle& size) {
    return huffcodec::compressBound(static_cast<std::size_t>(
        std::min<std::uint64_t>(*countArgument(size, "size", false), SIZE_MAX)));
}

py::bytes compressBuffer(const py::handle& data, const py::object& threads) {
    const huffcodec::Options options = optionsFor(threads);
    View in(data, false);
    if (in.size() > static_cast<std::size_t>(huffcodec::kMaxOriginalSize)) {
        throw StatusError{huffcodec::Status::inputTooLarge};
    }
    const std::size_t bound = huffcodec::compressBound(in.size());
    // Written in place and shrunk afterwards: the code is usually shorter
    // than the bound.
    py::object out = newBytes(bound);
    huffcodec::CompressResult result{};
    {
        py::gil_scoped_release released;
        result =
            huffcodec::compress(in.data(), in.size(), PyBytes_AS_STRING(out.ptr()), bound, options);
    }
    check(result.status);
    return py::reinterpret_steal<py::bytes>(
        resized(std::move(out), result.bytesProduced).release());
}

huffcodec::Header headerOf(const View& in) {
    const huffcodec::HeaderResult header = huffcodec::readHeader(in.data(), in.size());
    check(header.status);
    return header.header;
}

void decompressInto(const View& in, std::uint8_t* out, std::size_t size,
                    const huffcodec::Options& options) {
    huffcodec::DecompressResult result{};
    {
        py::gil_scoped_release released;
        result = huffcodec::decompress(in.data(), in.size(), out, size, options);
    }
    check(result.status);
}

py::object decompressBuffer(const py::handle& data, const py::object& threads,
                            const py::object& out, const py::object& maxOutputSize) {
    const huffcodec::Options options = optionsFor(threads);
    const SizeLimit limit(maxOutputSize);
    View in(data, false);
    const huffcodec::Header header = headerOf(in);
    limit.check(header);
    const auto size = static_cast<std::size_t>(header.originalSize);
    if (!out.is_none()) {
        View target(out, true);
        if (target.size() != size) {
            throw py::value_error("out holds " + std::to_string(target.size()) +
                                  " bytes; the data decodes to " + std::to_string(size));
        }
        decompressInto(in, target.mutableData(), size, options);
        return out;
    }
    py::object result = newBytes(size);
    decompressInto(in, reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(result.ptr())), size,
                   options);
    return result;
}

py::tuple readHeaderOf(const py::handle& data) {
    View in(data, false);
    const huffcodec::Header header = headerOf(in);
    py::tuple counts(256);
    for (std::size_t i = 0; i < 256; ++i) {
        counts[i] = py::int_(header.counts[i]);
    }
    return py::make_tuple(header.originalSize, counts, header.distinctBytes);
}

// The package's exception classes, defined and documented in
// huffcodec._errors, which imports nothing of this module: taken once as the
// module loads and raised from here alone. Held for the life of the process.
struct ErrorClasses {
    py::handle error;
    py::handle header;
    py::handle truncated;
    py::handle inputChanged;
    py::handle outputTooLarge;
};
ErrorClasses errorClasses;

py::handle classFor(huffcodec::Status status) {
    switch (status) {
        case huffcodec::Status::headerTooShort:
        case huffcodec::Status::negativeCount:
        case huffcodec::Status::sizeTooLarge:
            return errorClasses.header;
        case huffcodec::Status::truncatedBody:
            return errorClasses.truncated;
        case huffcodec::Status::outputTooSmall:  // the room the caller allows
            return errorClasses.outputTooLarge;
        case huffcodec::Status::inputChanged:
            return errorClasses.inputChanged;
        default:
            return errorClasses.error;
    }
}

// Sets the exception for a failing status: the library's text, then detail
// when the failure has more to say.
void setError(huffcodec::Status status, const std::string& detail = {}) {
    if (status == huffcodec::Status::outOfMemory) {
        PyErr_NoMemory();
        return;
    }
    std::string message = huffcodec::statusMessage(status);
    if (!detail.empty()) {
        message += ": " + detail;
    }
    const py::handle type = classFor(status);
    const py::object error = type(static_cast<int>(status), huffcodec::statusName(status), message);
    PyErr_SetObject(type.ptr(), error.ptr());
}

}  // namespace

}  // namespace pyhuffcodec

PYBIND11_MODULE(_huffcodec, m) {
    using namespace pyhuffcodec;
    m.doc() = "Native core of huffcodec; use the huffcodec package instead.";
    m.attr("__version__") = HUFFCODEC_VERSION_STRING;
    m.attr("HEADER_BYTES") = huffcodec::kHeaderBytes;
    m.attr("MAX_ORIGINAL_SIZE") = huffcodec::kMaxOriginalSize;
    m.attr("MAX_THREADS") = huffcodec::kMaxThreads;
    m.attr("HDF5_FILTER_ID") = HUFFCODEC_H5Z_FILTER;
    py::dict statuses;  // name: number, as the library numbers them
    for (int number = 0;
         std::strcmp(huffcodec::statusName(static_cast<huffcodec::Status>(number)), "unknown") != 0;
         ++number) {
        statuses[huffcodec::statusName(static_cast<huffcodec::Status>(number))] = number;
    }
    m.attr("STATUSES") = statuses;

    const py::module_ errors = py::module_::import("huffcodec._errors");
    const auto take = [&](const char* name) { return py::object(errors.attr(name)).release(); };
    errorClasses = {take("Error"), take("HeaderError"), take("TruncatedError"),
                    take("InputChangedError"), take("OutputTooLargeError")};
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const StatusError& error) {
            setError(error.status);
        } catch (const OutputTooLarge& error) {
            setError(huffcodec::Status::outputTooSmall,
                     "the header claims " + std::to_string(error.size) +
                         " bytes, more than max_output_size=" + std::to_string(error.limit));
        } catch (const PathError& error) {
            py::object path = py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(
                error.path.data(), static_cast<Py_ssize_t>(error.path.size())));
            errno = error.error;
            PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path.ptr());
        }
    });
    m.def("compress", &compressBuffer, py::arg("data"), py::kw_only(), py::arg("threads") = 1);
    m.def("decompress", &decompressBuffer, py::arg("data"), py::kw_only(), py::arg("threads") = 1,
          py::arg("out") = py::none(), py::arg("max_output_size") = py::none());
    m.def("read_header", &readHeaderOf, py::arg("data"));
    m.def("compress_bound", &compressBoundOf, py::arg("size"));
    m.def("compress_file", &compressFile, py::arg("src"), py::arg("dst"), py::kw_only(),
          py::arg("threads") = 1);
    m.def("decompress_file", &decompressFile, py::arg("src"), py::arg("dst"), py::kw_only(),
          py::arg("threads") = 1, py::arg("max_output_size") = py::none());
    m.def("check_count", &checkCount, py::arg("value"), py::arg("name"));
    m.def("available_processors", &huffcodec::availableProcessors);

    bindStreamReader(m);
}
