// SPDX-License-Identifier: MIT
//
// The parts both file jobs use.
#include "FileJobParts.hpp"

#include <cerrno>

namespace fileJob {

Output::Output(const std::string& path, bool removed, bool signals) {
    if (removed) {
        // Before the file is created, as are the handlers: they hold the
        // signals back until it is watched.
        remover.emplace();
        if (signals) {
            removalSignals.emplace();
        }
    }
    file.emplace(path);
    openError = errno;
    if (remover) {
        remover->watch(path, file->descriptor());
    }
    if (removalSignals) {
        removalSignals->watch(*remover);
    }
}

void Output::keep() {
    if (remover) {
        remover->keep();
    }
}

FileJob::Result& fail(FileJob::Result& result, Failure failure, huffcodec::Status status,
                      int error) {
    result.failure = failure;
    result.status = status;
    result.error = error;
    return result;
}

FileJob::Result& failWith(FileJob::Result& result, huffcodec::Status status, const InputFile& input,
                          const OutputFile& output) {
    using huffcodec::Status;
    const int error = status == Status::readError    ? input.error()
                      : status == Status::writeError ? output.error()
                                                     : 0;
    return fail(result, Failure::status, status, error);
}

huffcodec::ReadFn readerOf(InputFile& input) {
    return [&input](std::uint8_t* buffer, std::size_t size) { return input.read(buffer, size); };
}

huffcodec::WriteFn writerOf(OutputFile& output) {
    return
        [&output](const std::uint8_t* data, std::size_t size) { return output.write(data, size); };
}

}  // namespace fileJob
