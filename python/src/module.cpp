// SPDX-License-Identifier: MIT
//
// huffcodec._huffcodec: the library's in-memory calls, its file calls and the
// decoding under huffcodec.open() for Python. Buffers are read and written
// in place, and every call drops the GIL while the library works, so Python
// threads decode side by side. A failing Status becomes a StatusError here;
// the translator below raises the matching huffcodec exception with the
// library's text.
#include <fcntl.h>
#include <sys/mman.h>

#include <pybind11/pybind11.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "FileJob.hpp"
#include "huffcodec/huffcodec.hpp"
#include "huffcodec/version.hpp"
#include "output/OutputFile.hpp"

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

// None (where noneAllowed), or an integer of at least 0: anything with
// __index__ (numpy's integers too) but a bool. TypeError for another type,
// ValueError for a negative value; a value past 64 bits saturates, callers
// clamp further.
std::optional<std::uint64_t> countArgument(const py::handle& value, const char* name,
                                           bool noneAllowed = true) {
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

// For Python code that keeps a count: None or the value as a Python int.
py::object checkCount(const py::handle& value, const std::string& name) {
    if (!countArgument(value, name.c_str())) {
        return py::none();
    }
    return py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
}

// The library's bound, for a size past 64 bits too: it caps every size.
std::size_t compressBoundOf(const py::handle& size) {
    return huffcodec::compressBound(static_cast<std::size_t>(
        std::min<std::uint64_t>(*countArgument(size, "size", false), SIZE_MAX)));
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

// Asks for huge pages under a large bytes object about to be written from end
// to end, so that its first touch faults once per 2 MiB instead of once per
// 4 KiB: for 64 MiB of text, the small faults took a third as long as the
// decoding. Only a hint, which the kernel may ignore.
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

// A new bytes object of size bytes, about to be written from end to end.
py::object newBytes(std::size_t size) {
    PyObject* raw = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
    if (raw == nullptr) {
        throw py::error_already_set();
    }
    adviseHugePages(raw);
    return py::reinterpret_steal<py::object>(raw);
}

// A bytes object, held by nothing else, cut or grown to size bytes; in place
// where the allocator can.
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

// ---- Files --------------------------------------------------------------

// Opens src for a file job as the system opens it: a directory opens, and
// fails at its first read once dst exists. OSError for a failed open, and
// for dst naming src, which creating dst would truncate.
int openSource(const std::string& src, const std::string& dst) {
    if (OutputFile::wouldOverwrite(dst, src)) {
        throw PathError{EINVAL, dst};
    }
    const int fd = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw PathError{errno, src};
    }
    return fd;
}

// Raises what a failed file job stopped at: OSError with the path a failed
// open, read, write or close concerns, else the status's exception.
void raiseFor(const FileJob::Result& result, const std::string& src, const std::string& dst) {
    using Cause = FileJob::Result::Cause;
    switch (result.cause()) {
        case Cause::none:
            return;
        case Cause::openingOutput:
        case Cause::writingOutput:
            throw PathError{result.error, dst};
        case Cause::readingInput:
            throw PathError{result.error, src};
        case Cause::temporaryFile:
            throw PathError{result.error, "temporary file"};
        case Cause::data:
            throw StatusError{result.status};
        case Cause::refused:  // decompressFile raises OutputTooLarge first
            break;
    }
    throw StatusError{huffcodec::Status::internalError};
}

void compressFile(const std::string& src, const std::string& dst, const py::object& threads) {
    checkPath(src);
    checkPath(dst);
    const huffcodec::Options options = optionsFor(threads);
    FileJob::Result result;
    {
        py::gil_scoped_release released;
        InputFile input(openSource(src, dst));
        result = FileJob(options, FileJob::Observer{}).compress(input, dst);
    }
    raiseFor(result, src, dst);
}

void decompressFile(const std::string& src, const std::string& dst, const py::object& threads,
                    const py::object& maxOutputSize) {
    checkPath(src);
    checkPath(dst);
    const huffcodec::Options options = optionsFor(threads);
    const SizeLimit limit(maxOutputSize);
    FileJob::Result result;
    {
        py::gil_scoped_release released;
        InputFile input(openSource(src, dst));
        FileJob::Observer sizeLimit;  // stops a header that claims more than limit
        sizeLimit.accept = [&limit](const huffcodec::Header& header) {
            return limit.allows(static_cast<std::uint64_t>(header.originalSize));
        };
        result = FileJob(options, sizeLimit).decompress(input, dst);
    }
    if (result.failure == FileJob::Result::Failure::refused) {
        throw limit.refusal(static_cast<std::uint64_t>(result.originalSize));
    }
    raiseFor(result, src, dst);
}

// ---- huffcodec.open()'s decoding ----------------------------------------

// Compressed bytes asked of the source at a time; with the stream's own state
// this bounds the memory of a reader at a few MiB whatever the file's size.
constexpr std::size_t kSourceChunk = std::size_t{1} << 16;
// Decoded bytes a read makes room for before the header says how many come
// (a small piece, as the room is then grown in place where the allocator
// can), and at most ahead of those it has after (a 1 KiB file that claims
// 2 GiB costs no more).
constexpr std::size_t kFirstPiece = std::size_t{1} << 12;
constexpr std::uint64_t kMostAhead = std::uint64_t{1} << 26;

// io.UnsupportedOperation, which io.BufferedIOBase's own read1 raises.
py::handle unsupportedOperation;

// The decoding loop under huffcodec.open(): asks the source for compressed
// bytes only when those it has decode to nothing more, and raises only with
// nothing written. A failure met while writing is kept and raised by the next
// call, once the bytes before it are out. The Python reader's lock makes its
// calls take turns.
class StreamReader {
public:
    explicit StreamReader(const py::object& maxOutputSize) : limit_(maxOutputSize) {
        check(stream_.reset());
    }

    void attach(const py::object& source) {
        source_ = source;
        // A buffered source's read(n) waits for n bytes or the end; its
        // read1(n) gives what one read of its own brings, so that the bytes
        // a pipe has ready are decoded while its writer stays open.
        readReady_ = py::getattr(source, "read1", py::none());
    }

    // Decodes into the writable buffer out: the bytes written, 0 at the end.
    std::size_t decodeInto(const py::handle& out) { return decode(out, nullptr, py::len(out)); }

    // The next bytes decoded, at most size: b"" at the end.
    py::object decodeBytes(std::size_t size) {
        if (size == 0) {
            return py::bytes();
        }
        py::object out = newBytes(room(size, size));
        const std::size_t written = decode(py::handle(), dataOf(out),
                                           static_cast<std::size_t>(PyBytes_GET_SIZE(out.ptr())));
        return resized(std::move(out), written);
    }

    // The next size bytes, fewer at the end of the data: head (decoded
    // before, shorter than size), then what the source decodes to, straight
    // into the bytes object returned, sized by the header. With bytes in
    // hand, a failure that is an Exception waits for the next call (the
    // stream keeps a failure of the data; the source is asked again);
    // anything else (KeyboardInterrupt) goes out now, and the bytes are
    // held() for the next read.
    py::object read(const py::handle& head, std::size_t size) {
        held_ = py::bytes();
        std::size_t done = 0;
        py::object out;
        {
            View first(head, false);
            done = first.size();
            out = newBytes(done + room(size - done, kFirstPiece));
            std::memcpy(dataOf(out), first.data(), done);
        }
        try {
            while (done < size) {
                auto capacity = static_cast<std::size_t>(PyBytes_GET_SIZE(out.ptr()));
                if (done == capacity) {
                    if (stream_.finished() || failure_) {
                        break;
                    }
                    capacity = done + room(size - done, kFirstPiece);
                    out = resized(std::move(out), capacity);
                    adviseHugePages(out.ptr());
                }
                const std::size_t got = decode(py::handle(), dataOf(out) + done, capacity - done);
                if (got == 0) {
                    break;
                }
                done += got;
                // The loop is here, not in Python: a signal's handler runs
                // between pieces as it did there.
                if (PyErr_CheckSignals() != 0) {
                    throw py::error_already_set();
                }
            }
        } catch (py::error_already_set& error) {
            if (done == 0) {
                throw;
            }
            if (!error.matches(PyExc_Exception)) {
                held_ = resized(std::move(out), done);
                throw;
            }
        } catch (...) {
            if (done == 0) {
                throw;
            }
        }
        return resized(std::move(out), done);
    }

    // The bytes a read() that raised had in hand, once: b"" if none.
    py::object held() { return std::exchange(held_, py::bytes()); }

    // For the cycle collector: a source may hold its reader.
    int traverse(visitproc visit, void* arg) const {
        Py_VISIT(source_.ptr());
        Py_VISIT(readReady_.ptr());
        return 0;
    }
    void clear() {
        source_ = py::none();
        readReady_ = py::none();
    }

private:
    static std::uint8_t* dataOf(const py::object& bytes) {
        return reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(bytes.ptr()));
    }

    // Room for the next of wanted bytes: no more than the header says are
    // left, up to kMostAhead, and before the header firstPiece. At least 1,
    // so that a failure kept is still raised; no more once there is one (a
    // header refused for its size is refused at every call).
    std::size_t room(std::size_t wanted, std::uint64_t firstPiece) const {
        std::uint64_t left = failure_ ? 1 : firstPiece;
        if (const huffcodec::Header* header = stream_.header(); header != nullptr && !failure_) {
            const auto total = static_cast<std::uint64_t>(header->originalSize);
            left = std::min(total - std::min<std::uint64_t>(total, stream_.bytesProduced()),
                            kMostAhead);
        }
        return static_cast<std::size_t>(
            std::max<std::uint64_t>(std::min<std::uint64_t>(wanted, left), 1));
    }

    // Writes to raw, or else to the buffer out, taken anew for each step as
    // the caller's buffer was before (a read-only one fails once the source
    // has been read).
    std::size_t decode(const py::handle& out, std::uint8_t* raw, std::size_t capacity) {
        if (capacity == 0) {
            return 0;
        }
        // The GIL is dropped while the stream works: a second thread on the
        // same stream would race with the first, so it is refused.
        std::unique_lock<std::mutex> busy(mutex_, std::try_to_lock);
        if (!busy.owns_lock()) {
            throw std::runtime_error("a huffcodec stream used by two threads at once");
        }
        while (true) {
            if (failure_) {
                std::rethrow_exception(failure_);
            }
            if (stream_.finished()) {
                return 0;
            }
            if (inPos_ == py::len(input_) && !inEnded_ && starved_) {
                py::object data = readSource();
                if (data.is_none()) {
                    // The position is unchanged: a later read asks again.
                    const py::object error =
                        py::handle(PyExc_BlockingIOError)(EAGAIN, "the source has no bytes ready");
                    PyErr_SetObject(PyExc_BlockingIOError, error.ptr());
                    throw py::error_already_set();
                }
                input_ = std::move(data);
                inPos_ = 0;
                inEnded_ = py::len(input_) == 0;
            }
            const std::size_t before = inPos_;
            const auto [written, status] = step(out, raw, capacity);
            // With room left over, the stream has given every byte its input
            // completes.
            starved_ = written < capacity;
            if (status != huffcodec::Status::ok) {
                failure_ = std::make_exception_ptr(StatusError{status});
            } else if (written == 0 && inEnded_ && inPos_ == before && !stream_.finished()) {
                // The stream promises progress or a status; never spin.
                failure_ = std::make_exception_ptr(StatusError{huffcodec::Status::internalError});
            }
            const huffcodec::Header* header = stream_.header();
            if (!limitChecked_ && header != nullptr) {
                const auto size = static_cast<std::uint64_t>(header->originalSize);
                if (!limit_.allows(size)) {
                    // Checked as soon as the header is read: none of the
                    // bytes written with it go out.
                    failure_ = std::make_exception_ptr(limit_.refusal(size));
                    continue;
                }
                limitChecked_ = true;
            }
            if (written != 0) {
                return written;
            }
        }
    }

    // One call of the stream, without the GIL: the bytes written and its status.
    std::pair<std::size_t, huffcodec::Status> step(const py::handle& out, std::uint8_t* raw,
                                                   std::size_t capacity) {
        View in(input_, false);
        std::optional<View> target;
        if (raw == nullptr) {
            target.emplace(out, true);
            raw = target->mutableData();
            capacity = target->size();
        }
        if (inPos_ > in.size()) {
            throw py::value_error("position past the end of a buffer");
        }
        huffcodec::InBuffer input{in.data(), in.size(), inPos_};
        huffcodec::OutBuffer output{raw, capacity, 0};
        huffcodec::Status status;
        {
            py::gil_scoped_release released;
            status = stream_.decompress(input, output, inEnded_);
        }
        inPos_ = input.pos;
        return {output.pos, status};
    }

    // The source's next bytes: b"" at its end, None when none are ready.
    py::object readSource() {
        if (!readReady_.is_none()) {
            py::object data;
            try {
                data = readReady_(kSourceChunk);
            } catch (py::error_already_set& error) {
                if (!error.matches(unsupportedOperation)) {
                    throw;
                }
                readReady_ = py::none();  // io.BufferedIOBase's own read1
            }
            const int ready = data ? PyObject_IsTrue(data.ptr()) : 0;
            if (ready < 0) {
                throw py::error_already_set();
            }
            if (ready > 0) {
                return data;
            }
            // A non-blocking source with nothing ready gives b"" here as at
            // its end; read() tells them apart with None.
        }
        return source_.attr("read")(kSourceChunk);
    }

    huffcodec::DecompressStream stream_;
    std::mutex mutex_;
    SizeLimit limit_;
    bool limitChecked_ = false;
    py::object source_ = py::none();
    py::object readReady_ = py::none();
    py::object input_ = py::bytes();
    py::object held_ = py::bytes();
    std::size_t inPos_ = 0;
    bool inEnded_ = false;
    // The stream gave all it could of the input it has: more output needs
    // more input. Until then the source is not asked, which could block.
    bool starved_ = true;
    std::exception_ptr failure_;
};

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

PYBIND11_MODULE(_huffcodec, m) {
    m.doc() = "Native core of huffcodec; use the huffcodec package instead.";
    m.attr("__version__") = HUFFCODEC_VERSION_STRING;
    m.attr("HEADER_BYTES") = huffcodec::kHeaderBytes;
    m.attr("MAX_ORIGINAL_SIZE") = huffcodec::kMaxOriginalSize;
    m.attr("MAX_THREADS") = huffcodec::kMaxThreads;
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

    unsupportedOperation =
        py::object(py::module_::import("io").attr("UnsupportedOperation")).release();
    // The collector may visit an instance whose construction failed: there
    // is no reader to visit yet.
    static constexpr auto readerOf = [](PyObject* self) -> StreamReader* {
        const py::detail::value_and_holder held =
            reinterpret_cast<py::detail::instance*>(self)->get_value_and_holder();
        return held.holder_constructed() ? held.value_ptr<StreamReader>() : nullptr;
    };
    const auto collected = [](PyHeapTypeObject* heapType) {
        PyTypeObject* type = &heapType->ht_type;
        type->tp_flags |= Py_TPFLAGS_HAVE_GC;
        type->tp_traverse = [](PyObject* self, visitproc visit, void* arg) {
            Py_VISIT(Py_TYPE(self));  // a heap type's instances hold it
            const StreamReader* reader = readerOf(self);
            return reader != nullptr ? reader->traverse(visit, arg) : 0;
        };
        type->tp_clear = [](PyObject* self) {
            if (StreamReader* reader = readerOf(self)) {
                reader->clear();
            }
            return 0;
        };
    };
    py::class_<StreamReader>(m, "StreamReader", py::custom_type_setup(collected))
        .def(py::init<const py::object&>(), py::arg("max_output_size"))
        .def("attach", &StreamReader::attach, py::arg("source"))
        .def("decode_into", &StreamReader::decodeInto, py::arg("out"))
        .def("decode", &StreamReader::decodeBytes, py::arg("size"))
        .def("read", &StreamReader::read, py::arg("head"), py::arg("size"))
        .def("held", &StreamReader::held);
}
