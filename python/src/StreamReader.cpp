// SPDX-License-Identifier: MIT
//
// StreamReader.hpp's class: a DecompressStream fed from a Python source.
#include "StreamReader.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include "Arguments.hpp"

namespace pyhuffcodec {

namespace {

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

}  // namespace

void bindStreamReader(py::module_& m) {
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

}  // namespace pyhuffcodec
