// SPDX-License-Identifier: MIT
//
// What the two file jobs (FileJob.hpp) share: the output file and what
// removes it, a failure as a result, the library's callbacks over the files,
// the code tree stage. Each job has a file of its own, so that a command
// links only the half of the library it uses.
#ifndef HUFFCODEC_CLI_FILEJOBPARTS_HPP
#define HUFFCODEC_CLI_FILEJOBPARTS_HPP

#include <optional>
#include <string>

#include "FileJob.hpp"
#include "InputFile.hpp"
#include "OutputFile.hpp"
#include "OutputRemover.hpp"
#include "RemovalSignals.hpp"
#include "huffcodec/huffcodec.hpp"

namespace fileJob {

using Failure = FileJob::Result::Failure;

// The output file, and what removes it unless the job succeeds. Destroyed in
// the right order: the file closed, then removed, then the handlers put back.
struct Output {
    // Creates or truncates path; removed: a failure removes it (see
    // OutputRemover), and with signals so do SIGINT, SIGTERM and SIGHUP.
    Output(const std::string& path, bool removed, bool signals);

    // The job succeeded: the file stays.
    void keep();

    std::optional<OutputRemover> remover;
    std::optional<RemovalSignals> removalSignals;
    std::optional<OutputFile> file;
    int openError = 0;  // of a file that could not be created
};

FileJob::Result& fail(FileJob::Result& result, Failure failure, huffcodec::Status status,
                      int error);

// The result of a failed library call; a read or write error carries the
// errno of the file it concerns.
FileJob::Result& failWith(FileJob::Result& result, huffcodec::Status status, const InputFile& input,
                          const OutputFile& output);

huffcodec::ReadFn readerOf(InputFile& input);
huffcodec::WriteFn writerOf(OutputFile& output);

}  // namespace fileJob

// A template in the header: each job builds its own coder only.
template <class Coder>
bool FileJob::build(Coder& coder, const huffcodec::Header& header, Result& result) {
    started(Stage::building);
    const huffcodec::Status status = coder.build(header);
    if (status != huffcodec::Status::ok) {
        fileJob::fail(result, fileJob::Failure::status, status, 0);
        return false;
    }
    finished(Stage::building);
    return true;
}

#endif  // HUFFCODEC_CLI_FILEJOBPARTS_HPP
