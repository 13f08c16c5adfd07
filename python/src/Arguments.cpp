// SPDX-License-Identifier: MIT
//
// The argument checks and bytes objects of Arguments.hpp.
#include "Arguments.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

namespace pyhuffcodec {

namespace {

bool isBool(const py::handle& value) {
    // numpy's bool has __index__ too (deprecated); True is no count either.
    const char* type = Py_TYPE(value.ptr())->tp_name;
    return PyBool_Check(value.ptr()) || std::strcmp(type, "numpy.bool_") == 0 ||
           std::strcmp(type, "numpy.bool") == 0;
}

}  // namespace

void check(huffcodec::Status status) {
    if (status != huffcodec::Status::ok) {
        throw StatusError{status};
    }
}

std::optional<std::uint64_t> countArgument(const py::handle& value, const char* name,
                                           bool noneAllowed) {
    const std::string wanted = noneAllowed ? " must be None or an int" : " must be an int";
    if (value.is_none() && noneAllowed) {
        return std::nullopt;
    }
    if (value.is_none() || isBool(value) || !PyIndex_Check(value.ptr())) {
        throw py::type_error(name + wanted + ", not " + Py_TYPE(value.ptr())->tp_name);
    }
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) {
        throw py::error_already_set();
    }
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (number == -1 && PyErr_Occurred() != nullptr) {
        throw py::error_already_set();
    }
    if (overflow < 0 || (overflow == 0 && number < 0)) {
        throw py::value_error(name + wanted + " of at least 0, not " +
                              py::repr(index).cast<std::string>());
    }
    return overflow > 0 ? UINT64_MAX : static_cast<std::uint64_t>(number);
}

py::object checkCount(const py::handle& value, const std::string& name) {
    if (!countArgument(value, name.c_str())) {
        return py::none();
    }
    return py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
}

huffcodec::Options optionsFor(const py::handle& threads) {
    huffcodec::Options options;
    // None is the default, the calling thread alone, as in the library; 0
    // asks for every processor the process may use.
    const std::uint64_t count = countArgument(threads, "threads").value_or(1);
    // The library runs a larger count as kMaxThreads; clamped here, any
    // Python int fits the int it takes.
    options.threads = static_cast<int>(std::min<std::uint64_t>(count, huffcodec::kMaxThreads));
    return options;
}

void checkPath(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        throw py::value_error("embedded null byte");
    }
}

void adviseHugePages(PyObject* bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(PyBytes_AS_STRING(bytes));
    const std::uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end =
        (start + static_cast<std::uintptr_t>(PyBytes_GET_SIZE(bytes))) & ~(kHugePage - 1);
    if (end > begin) {
        static_cast<void>(madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE));
    }
#else
    static_cast<void>(bytes);
#endif
}

py::object newBytes(std::size_t size) {
    PyObject* raw = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
    if (raw == nullptr) {
        throw py::error_already_set();
    }
    adviseHugePages(raw);
    return py::reinterpret_steal<py::object>(raw);
}

py::object resized(py::object bytes, std::size_t size) {
    if (size == static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr()))) {
        return bytes;
    }
    PyObject* raw = bytes.release().ptr();
    if (_PyBytes_Resize(&raw, static_cast<Py_ssize_t>(size)) != 0) {
        throw py::error_already_set();  // _PyBytes_Resize freed it
    }
    return py::reinterpret_steal<py::object>(raw);
}

}  // namespace pyhuffcodec
