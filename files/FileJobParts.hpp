// SPDX-License-Identifier: MIT
//
// What the two file jobs (FileJob.hpp) share: a failure as a result, the
// library's callbacks over the files, the code tree stage. Each job has a
// file of its own, so that a command links only the half of the library it
// uses.
#ifndef HUFFCODEC_FILES_FILEJOBPARTS_HPP
#define HUFFCODEC_FILES_FILEJOBPARTS_HPP

#include <cstddef>
#include <cstdint>

#include "FileJob.hpp"
#include "InputFile.hpp"
#include "huffcodec/huffcodec.hpp"
#include "output/OutputFile.hpp"

namespace fileJob {

using Failure = FileJob::Result::Failure;

FileJob::Result& fail(FileJob::Result& result, Failure failure, huffcodec::Status status,
                      int error);

// The result of a failed library call; a read or write error carries the
// errno of the file it concerns.
FileJob::Result& failWith(FileJob::Result& result, huffcodec::Status status, const InputFile& input,
                          const OutputFile& output);

// One pass over the input: its reads, the bytes read so far told to the
// observer's progressed, if set.
struct Reading {
    Reading(InputFile& input, const FileJob::Observer& observer) : file(input), watcher(observer) {}
    long read(void* buffer, std::size_t size);

    InputFile& file;
    const FileJob::Observer& watcher;
    std::uint64_t done = 0;
};

huffcodec::ReadFn readerOf(Reading& reading);
huffcodec::WriteFn writerOf(OutputFile& output);

}  // namespace fileJob

// A template in the header: each job builds its own coder only. The header
// is recorded and put to the observer first, which may refuse it.
template <class Coder>
bool FileJob::build(Coder& coder, const huffcodec::Header& header, Result& result) {
    result.originalSize += header.originalSize;
    if (!accepted(header)) {
        fileJob::fail(result, fileJob::Failure::refused, huffcodec::Status::ok, 0);
        return false;
    }
    started(Stage::building);
    const huffcodec::Status status = coder.build(header);
    if (status != huffcodec::Status::ok) {
        fileJob::fail(result, fileJob::Failure::status, status, 0);
        return false;
    }
    finished(Stage::building);
    return true;
}

#endif  // HUFFCODEC_FILES_FILEJOBPARTS_HPP
