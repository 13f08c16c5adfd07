// SPDX-License-Identifier: MIT
//
// The run both commands share.
#include "FileCommand.hpp"

#include <new>
#include <utility>

#include "FileArguments.hpp"
#include "InputFile.hpp"
#include "ProcessSetup.hpp"
#include "ThreadCount.hpp"
#include "output/OutputRemoval.hpp"

int FileCommand::run(int argc, char* argv[], const Traits& traits, Body body) {
    Report report;
    if (!prepareProcess(RemovalSignals::removeNow)) {
        report.errorOpening("/dev/null");
        return -1;
    }
    try {
        // Before the arguments: a warning about the setting comes first.
        const int threads = threadCountFromEnvironment();
        FileArguments arguments = FileArguments::parse(argc, argv, traits.name);
        if (arguments.check == FileArguments::Check::sameFile) {
            report.sameFile();
        }
        if (arguments.check != FileArguments::Check::ok) {
            traits.usageAndExit(arguments.programName.c_str());
            return -1;
        }
        FileCommand command(report, std::move(arguments.infile), std::move(arguments.outfile),
                            threads);
        return body(command);
    } catch (const std::bad_alloc&) {
        // The job's files are closed, or removed, by now: they live no longer
        // than runJob.
        report.problem(Problem::outOfMemory);
        return -1;
    }
}

FileCommand::FileCommand(Report& report, std::string infile, std::string outfile, int threads)
    : lines(report),
      inputPath(std::move(infile)),
      outputPath(std::move(outfile)),
      jobOptions(threads) {}

std::optional<FileJob::Result> FileCommand::runJob(Job job, const char* headerWords) {
    InputFile input(inputPath);
    if (!input.isOpen()) {
        lines.errorOpening(inputPath);
        return std::nullopt;
    }
    headerLineStart = headerWords;
    FileJob::Observer reporter;
    reporter.started = [this](FileJob::Stage stage) { reportStage(stage); };
    reporter.finished = [this](FileJob::Stage stage) { reportDone(stage); };
    reporter.accept = [this](const huffcodec::Header& header) { return reportHeader(header); };
    FileJob fileJob(jobOptions.options(), reporter);
    fileJob.removeOutputOnSignals();
    FileJob::Result result = (fileJob.*job)(input, outputPath);
    if (!result.ok()) {
        reportFailure(result);
        return std::nullopt;
    }
    return result;
}

void FileCommand::reportStage(FileJob::Stage stage) {
    switch (stage) {
        case FileJob::Stage::counting:
            lines.begin("Reading from file \"" + inputPath + "\"...");
            return;
        case FileJob::Stage::readingHeader:
            lines.begin("Reading header from file \"" + inputPath + "\"...");
            return;
        case FileJob::Stage::building:
            lines.begin("Building Huffman code tree...");
            return;
        case FileJob::Stage::writing:
            lines.begin("Writing to file \"" + outputPath + "\"...");
            return;
    }
}

void FileCommand::reportDone(FileJob::Stage /*stage*/) {
    lines.done();
}

bool FileCommand::reportHeader(const huffcodec::Header& header) {
    lines.line(std::string(headerLineStart) + " " + std::to_string(header.distinctBytes) +
               " unique symbols and size " + std::to_string(header.originalSize) + " bytes.");
    return true;
}

void FileCommand::reportFailure(const FileJob::Result& result) {
    using Cause = FileJob::Result::Cause;
    switch (result.cause()) {
        case Cause::openingOutput:
            lines.errorOpening(outputPath);
            return;
        case Cause::temporaryFile:
            lines.problem(Problem::errorWritingTemporary);
            return;
        case Cause::writingOutput:
        case Cause::readingInput:
        case Cause::data:
            lines.problem(problemFor(result.status));
            return;
        case Cause::none:
        case Cause::refused:  // reportHeader() takes every header
            break;
    }
    lines.problem(Problem::internalError);
}
