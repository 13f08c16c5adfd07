// SPDX-License-Identifier: MIT
//
// What the extension's units share: the checks of the arguments Python
// passes, the failures the calls throw (module.cpp raises each as its Python
// exception), and the buffer views and bytes objects the calls read and
// write.
#ifndef HUFFCODEC_PYTHON_ARGUMENTS_HPP
#define HUFFCODEC_PYTHON_ARGUMENTS_HPP

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "huffcodec/huffcodec.hpp"

namespace py = pybind11;

namespace pyhuffcodec {

// A failing status, raised as the huffcodec exception that matches it.
struct StatusError {
    huffcodec::Status status;
};

// An errno and the path it concerns, raised as OSError.
struct PathError {
    int error;
    std::string path;
};

// Throws StatusError for a failing status.
void check(huffcodec::Status status);

// A header's original size above the caller's max_output_size.
struct OutputTooLarge {
    std::uint64_t size;
    std::uint64_t limit;
};

// None (where noneAllowed), or an integer of at least 0: anything with
// __index__ (numpy's integers too) but a bool. TypeError for another type,
// ValueError for a negative value; a value past 64 bits saturates, callers
// clamp further.
std::optional<std::uint64_t> countArgument(const py::handle& value, const char* name,
                                           bool noneAllowed = true);

// For Python code that keeps a count: None or the value as a Python int.
py::object checkCount(const py::handle& value, const std::string& name);

// The options for a call's threads argument.
huffcodec::Options optionsFor(const py::handle& threads);

// A path goes to the system as a C string, which ends at its first NUL:
// "victim\0.huf" would name "victim". Refused as Python's open() refuses it.
void checkPath(const std::string& path);

// A contiguous view of any buffer exporter, held (and so kept from resizing)
// for as long as the view lives.
struct View {
    Py_buffer buffer{};

    View(const py::handle& object, bool writable) {
        if (PyObject_GetBuffer(object.ptr(), &buffer, PyBUF_C_CONTIGUOUS) != 0) {
            // A buffer of another layout is the right type with a bad value:
            // ValueError, as numpy raises for its own arrays.
            if (PyErr_ExceptionMatches(PyExc_BufferError)) {
                py::raise_from(PyExc_ValueError, "the buffer is not C-contiguous");
            }
            throw py::error_already_set();
        }
        // Asked for read-only, so that a read-only buffer is told apart from
        // a wrong one: TypeError, as io's readinto() raises.
        if (writable && buffer.readonly) {
            const std::string type = Py_TYPE(object.ptr())->tp_name;
            PyBuffer_Release(&buffer);
            throw py::type_error("out must be a read-write bytes-like object, not " + type);
        }
    }
    ~View() { PyBuffer_Release(&buffer); }
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(buffer.buf); }
    std::uint8_t* mutableData() { return static_cast<std::uint8_t*>(buffer.buf); }
    std::size_t size() const { return static_cast<std::size_t>(buffer.len); }
};

// Asks for huge pages under a large bytes object about to be written from end
// to end, so that its first touch faults once per 2 MiB instead of once per
// 4 KiB: for 64 MiB of text, the small faults took a third as long as the
// decoding. Only a hint, which the kernel may ignore.
void adviseHugePages(PyObject* bytes);

// A new bytes object of size bytes, about to be written from end to end.
py::object newBytes(std::size_t size);

// A bytes object, held by nothing else, cut or grown to size bytes; in place
// where the allocator can.
py::object resized(py::object bytes, std::size_t size);

// max_output_size, for every call that takes it: None for no cap, else the
// most bytes a header may claim. Parsed, compared and refused here alone, so
// that a header is refused before anything of its size is allocated or
// written.
class SizeLimit {
public:
    explicit SizeLimit(const py::handle& value) : limit_(countArgument(value, "max_output_size")) {}

    bool allows(std::uint64_t size) const { return !limit_ || size <= *limit_; }
    OutputTooLarge refusal(std::uint64_t size) const { return {size, limit_.value_or(0)}; }
    void check(const huffcodec::Header& header) const {
        const auto size = static_cast<std::uint64_t>(header.originalSize);
        if (!allows(size)) {
            throw refusal(size);
        }
    }

private:
    std::optional<std::uint64_t> limit_;
};

}  // namespace pyhuffcodec

#endif  // HUFFCODEC_PYTHON_ARGUMENTS_HPP
