// SPDX-License-Identifier: MIT
//
// The file calls of FileCalls.hpp. The GIL is dropped for the whole job, the
// source's opening included.
#include "FileCalls.hpp"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>

#include "Arguments.hpp"
#include "FileJob.hpp"
#include "output/OutputFile.hpp"

namespace pyhuffcodec {

namespace {

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

}  // namespace

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

}  // namespace pyhuffcodec
