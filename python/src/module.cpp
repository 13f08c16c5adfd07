// SPDX-License-Identifier: MIT
//
// huffcodec._huffcodec: the library's in-memory calls, its file calls and a
// caller-driven decompression stream for Python. Buffers are read and written
// in place, and every call drops the GIL while the library works, so Python
// threads decode side by side. A failing Status becomes a StatusError here;
// the translator below raises the matching huffcodec exception with the
// library's text.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pybind11/pybind11.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

#include "huffcodec/huffcodec.hpp"
#include "huffcodec/version.hpp"

namespace py = pybind11;

namespace {

struct StatusError {
    huffcodec::Status status;
};

// An errno and the path it concerns, raised as OSError.
struct PathError {
    int error;
    std::string path;
};

void check(huffcodec::Status status) {
    if (status != huffcodec::Status::ok) {
        throw StatusError{status};
    }
}

// A header's original size above the caller's max_output_size.
struct OutputTooLarge {
    std::uint64_t size;
    std::uint64_t limit;
};

bool isBool(const py::handle& value) {
    // numpy's bool has __index__ too (deprecated); True is no count either.
    const char* type = Py_TYPE(value.ptr())->tp_name;
    return PyBool_Check(value.ptr()) || std::strcmp(type, "numpy.bool_") == 0 ||
           std::strcmp(type, "numpy.bool") == 0;
}

// None, or an integer of at least 0: anything with __index__ (numpy's
// integers too) but a bool. TypeError for another type, ValueError for a
// negative value; a value past 64 bits saturates, callers clamp further.
std::optional<std::uint64_t> countArgument(const py::handle& value, const char* name) {
    if (value.is_none()) {
        return std::nullopt;
    }
    if (isBool(value) || !PyIndex_Check(value.ptr())) {
        throw py::type_error(std::string(name) + " must be None or an int, not " +
                             Py_TYPE(value.ptr())->tp_name);
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
        throw py::value_error(std::string(name) + " must be None or an int of at least 0, not " +
                              py::repr(index).cast<std::string>());
    }
    return overflow > 0 ? UINT64_MAX : static_cast<std::uint64_t>(number);
}

// For Python code that keeps a count: None or the value as a Python int.
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

// A path goes to the system as a C string, which ends at its first NUL:
// "victim\0.huf" would name "victim". Refused as Python's open() refuses it.
void checkPath(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        throw py::value_error("embedded null byte");
    }
}

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

// A new bytes object of size bytes, about to be written from end to end. A
// large one asks for huge pages, so that its first touch faults once per
// 2 MiB instead of once per 4 KiB: for 64 MiB of text, the small faults took
// a third as long as the decoding. Only a hint, which the kernel may ignore.
py::object newBytes(std::size_t size) {
    PyObject* raw = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
    if (raw == nullptr) {
        throw py::error_already_set();
    }
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(PyBytes_AS_STRING(raw));
    const std::uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (start + size) & ~(kHugePage - 1);
    if (end > begin) {
        static_cast<void>(madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE));
    }
#endif
    return py::reinterpret_steal<py::object>(raw);
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
    PyObject* raw = out.ptr();
    huffcodec::CompressResult result{};
    {
        py::gil_scoped_release released;
        result = huffcodec::compress(in.data(), in.size(), PyBytes_AS_STRING(raw), bound, options);
    }
    check(result.status);
    if (_PyBytes_Resize(&raw, static_cast<Py_ssize_t>(result.bytesProduced)) != 0) {
        out.release();  // _PyBytes_Resize freed it
        throw py::error_already_set();
    }
    out.release();
    return py::reinterpret_steal<py::bytes>(raw);
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

// Refuses a header that claims more than the caller allows, before anything
// of that size is allocated or written.
void checkSize(const huffcodec::Header& header, std::optional<std::uint64_t> limit) {
    const auto size = static_cast<std::uint64_t>(header.originalSize);
    if (limit && size > *limit) {
        throw OutputTooLarge{size, *limit};
    }
}

py::object decompressBuffer(const py::handle& data, const py::object& threads,
                            const py::object& out, const py::object& maxOutputSize) {
    const huffcodec::Options options = optionsFor(threads);
    const std::optional<std::uint64_t> limit = countArgument(maxOutputSize, "max_output_size");
    View in(data, false);
    const huffcodec::Header header = headerOf(in);
    checkSize(header, limit);
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

// ---- Files --------------------------------------------------------------

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    void reset(int fd) {
        close();
        fd_ = fd;
    }
    // Closes now, reporting a failure (a write the kernel deferred).
    bool close() {
        if (fd_ < 0) {
            return true;
        }
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0 || errno == EINTR;
    }

private:
    int fd_ = -1;
};

// Reads into buffer, retrying interruptions; records errno on a failure.
std::ptrdiff_t readSome(int fd, std::uint8_t* buffer, std::size_t size, int& error) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0) {
            return got;
        }
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, int& error) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

int openOrThrow(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        throw PathError{errno, path};
    }
    return fd;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Removes the output of a compression that did not finish, as the command
// does: half a file is no valid file. Only a regular file, and only while the
// path still names the file that was opened: a device such as /dev/null, or
// a file put in its place meanwhile, is left alone.
class OutputGuard {
public:
    OutputGuard(const std::string& path, int fd) {
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
            // The file itself, through any symbolic link.
            char* resolved = ::realpath(path.c_str(), nullptr);
            path_ = resolved ? resolved : path;
            std::free(resolved);
            device_ = info.st_dev;
            inode_ = info.st_ino;
            armed_ = true;
        }
    }
    ~OutputGuard() {
        struct stat info {};
        if (armed_ && ::lstat(path_.c_str(), &info) == 0 && info.st_dev == device_ &&
            info.st_ino == inode_) {
            ::unlink(path_.c_str());
        }
    }
    OutputGuard(const OutputGuard&) = delete;
    OutputGuard& operator=(const OutputGuard&) = delete;
    void keep() { armed_ = false; }

private:
    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool armed_ = false;
};

void compressFile(const std::string& src, const std::string& dst, const py::object& threads) {
    checkPath(src);
    checkPath(dst);
    const huffcodec::Options options = optionsFor(threads);
    py::gil_scoped_release released;
    if (sameFile(src, dst)) {
        throw PathError{EINVAL, dst};
    }
    Descriptor input(openOrThrow(src, O_RDONLY));
    struct stat status {};
    if (::fstat(input.get(), &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_size > huffcodec::kMaxOriginalSize) {
        throw StatusError{huffcodec::Status::inputTooLarge};
    }
    Descriptor output(openOrThrow(dst, O_WRONLY | O_CREAT | O_TRUNC));
    OutputGuard guard(dst, output.get());

    // An input that cannot seek (a pipe) is copied while it is counted, and
    // the copy is encoded.
    Descriptor copy;
    if (::lseek(input.get(), 0, SEEK_CUR) < 0) {
        std::FILE* scratch = std::tmpfile();
        if (scratch == nullptr) {
            throw PathError{errno, "temporary file"};
        }
        copy.reset(::dup(::fileno(scratch)));
        std::fclose(scratch);
        if (copy.get() < 0) {
            throw PathError{errno, "temporary file"};
        }
    }
    int readError = 0;
    int copyError = 0;
    huffcodec::ChunkCounts chunks;
    const huffcodec::CountResult counted = huffcodec::countBytes(
        [&](std::uint8_t* buffer, std::size_t size) -> std::ptrdiff_t {
            const std::ptrdiff_t got = readSome(input.get(), buffer, size, readError);
            if (got > 0 && copy.get() >= 0 &&
                !writeAll(copy.get(), buffer, static_cast<std::size_t>(got), copyError)) {
                return -1;
            }
            return got;
        },
        &chunks, options);
    if (copyError != 0) {
        throw PathError{copyError, "temporary file"};
    }
    if (counted.status == huffcodec::Status::readError) {
        throw PathError{readError, src};
    }
    check(counted.status);
    huffcodec::Encoder encoder;
    check(encoder.build(counted.header));

    const int source = copy.get() >= 0 ? copy.get() : input.get();
    if (::lseek(source, 0, SEEK_SET) < 0) {
        throw PathError{errno, copy.get() >= 0 ? std::string("temporary file") : src};
    }
    int writeError = 0;
    const huffcodec::StreamResult result =
        encoder.encode([&](std::uint8_t* buffer,
                           std::size_t size) { return readSome(source, buffer, size, readError); },
                       [&](const std::uint8_t* data, std::size_t size) {
                           return writeAll(output.get(), data, size, writeError);
                       },
                       options, &chunks);
    if (result.status == huffcodec::Status::readError) {
        throw PathError{readError, src};
    }
    if (result.status == huffcodec::Status::writeError) {
        throw PathError{writeError, dst};
    }
    check(result.status);
    if (!output.close()) {
        throw PathError{errno, dst};
    }
    guard.keep();
}

void decompressFile(const std::string& src, const std::string& dst, const py::object& threads,
                    const py::object& maxOutputSize) {
    checkPath(src);
    checkPath(dst);
    const huffcodec::Options options = optionsFor(threads);
    const std::optional<std::uint64_t> limit = countArgument(maxOutputSize, "max_output_size");
    py::gil_scoped_release released;
    if (sameFile(src, dst)) {
        throw PathError{EINVAL, dst};
    }
    // Opened in the command's order: the output exists, empty, even when the
    // header turns out to be bad.
    Descriptor input(openOrThrow(src, O_RDONLY));
    Descriptor output(openOrThrow(dst, O_WRONLY | O_CREAT | O_TRUNC));

    int readError = 0;
    std::uint8_t headerBytes[huffcodec::kHeaderBytes];
    std::size_t have = 0;
    while (have < sizeof headerBytes) {
        const std::ptrdiff_t got =
            readSome(input.get(), headerBytes + have, sizeof headerBytes - have, readError);
        if (got < 0) {
            throw PathError{readError, src};
        }
        if (got == 0) {
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    const huffcodec::HeaderResult header = huffcodec::readHeader(headerBytes, have);
    check(header.status);
    checkSize(header.header, limit);
    huffcodec::Decoder decoder;
    check(decoder.build(header.header));

    int writeError = 0;
    const huffcodec::StreamResult result = decoder.decode(
        [&](std::uint8_t* buffer, std::size_t size) {
            return readSome(input.get(), buffer, size, readError);
        },
        [&](const std::uint8_t* data, std::size_t size) {
            return writeAll(output.get(), data, size, writeError);
        },
        options);
    // The bytes decoded before a failure stay in the output.
    const bool closed = output.close();
    if (result.status == huffcodec::Status::readError) {
        throw PathError{readError, src};
    }
    if (result.status == huffcodec::Status::writeError) {
        throw PathError{writeError, dst};
    }
    check(result.status);
    if (!closed) {
        throw PathError{errno, dst};
    }
}

// ---- Caller-driven stream -----------------------------------------------

class Decompressor {
public:
    Decompressor() { check(stream_.reset()); }

    // Decodes from data[inPos:] into out[outPos:]; returns the new positions
    // and the status as a number. The caller hands out what was written
    // before it raises for a failure, so a cut file yields its prefix.
    std::tuple<std::size_t, std::size_t, int> decompress(const py::handle& data, std::size_t inPos,
                                                         const py::handle& out, std::size_t outPos,
                                                         bool endOfInput) {
        View in(data, false);
        View target(out, true);
        if (inPos > in.size() || outPos > target.size()) {
            throw py::value_error("position past the end of a buffer");
        }
        // The GIL is dropped while the stream works: a second thread on the
        // same stream would race with the first, so it is refused.
        std::unique_lock<std::mutex> busy(mutex_, std::try_to_lock);
        if (!busy.owns_lock()) {
            throw std::runtime_error("a huffcodec stream used by two threads at once");
        }
        huffcodec::InBuffer input{in.data(), in.size(), inPos};
        huffcodec::OutBuffer output{target.mutableData(), target.size(), outPos};
        huffcodec::Status status;
        {
            py::gil_scoped_release released;
            status = stream_.decompress(input, output, endOfInput);
        }
        return {input.pos, output.pos, static_cast<int>(status)};
    }

    bool finished() const { return stream_.finished(); }
    std::uint64_t bytesConsumed() const { return stream_.bytesConsumed(); }
    py::object originalSize() const {
        const huffcodec::Header* header = stream_.header();
        if (header == nullptr) {
            return py::none();
        }
        return py::int_(header->originalSize);
    }

private:
    huffcodec::DecompressStream stream_;
    std::mutex mutex_;
};

const char* statusName(huffcodec::Status status) {
    switch (status) {
        case huffcodec::Status::ok:
            return "ok";
        case huffcodec::Status::headerTooShort:
            return "headerTooShort";
        case huffcodec::Status::negativeCount:
            return "negativeCount";
        case huffcodec::Status::sizeTooLarge:
            return "sizeTooLarge";
        case huffcodec::Status::truncatedBody:
            return "truncatedBody";
        case huffcodec::Status::readError:
            return "readError";
        case huffcodec::Status::writeError:
            return "writeError";
        case huffcodec::Status::outputTooSmall:
            return "outputTooSmall";
        case huffcodec::Status::inputTooLarge:
            return "inputTooLarge";
        case huffcodec::Status::inputChanged:
            return "inputChanged";
        case huffcodec::Status::outOfMemory:
            return "outOfMemory";
        case huffcodec::Status::internalError:
            return "internalError";
        case huffcodec::Status::invalidArgument:
            return "invalidArgument";
    }
    return "unknown";
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
    const py::object error = type(static_cast<int>(status), statusName(status), message);
    PyErr_SetObject(type.ptr(), error.ptr());
}

// For huffcodec.open(), which raises a failure of its stream after handing
// out the bytes decoded before it.
void raiseStatus(int status) {
    throw StatusError{static_cast<huffcodec::Status>(status)};
}

void raiseOutputTooLarge(std::uint64_t size, std::uint64_t limit) {
    throw OutputTooLarge{size, limit};
}

}  // namespace

PYBIND11_MODULE(_huffcodec, m) {
    m.doc() = "Native core of huffcodec; use the huffcodec package instead.";
    m.attr("__version__") = HUFFCODEC_VERSION_STRING;
    m.attr("HEADER_BYTES") = huffcodec::kHeaderBytes;
    m.attr("MAX_ORIGINAL_SIZE") = huffcodec::kMaxOriginalSize;
    m.attr("MAX_THREADS") = huffcodec::kMaxThreads;

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
    m.def("compress_file", &compressFile, py::arg("src"), py::arg("dst"), py::kw_only(),
          py::arg("threads") = 1);
    m.def("decompress_file", &decompressFile, py::arg("src"), py::arg("dst"), py::kw_only(),
          py::arg("threads") = 1, py::arg("max_output_size") = py::none());
    m.def("raise_status", &raiseStatus, py::arg("status"));
    m.def("raise_output_too_large", &raiseOutputTooLarge, py::arg("size"), py::arg("limit"));
    m.def("check_count", &checkCount, py::arg("value"), py::arg("name"));
    m.def("available_processors", &huffcodec::availableProcessors);

    py::class_<Decompressor>(m, "DecompressStream")
        .def(py::init<>())
        .def("decompress", &Decompressor::decompress, py::arg("data"), py::arg("in_pos"),
             py::arg("out"), py::arg("out_pos"), py::arg("end_of_input"))
        .def_property_readonly("finished", &Decompressor::finished)
        .def_property_readonly("bytes_consumed", &Decompressor::bytesConsumed)
        .def_property_readonly("original_size", &Decompressor::originalSize);
}
