// SPDX-License-Identifier: MIT
//
// The run both commands share.
#include "FileCommand.hpp"

#include <new>
#include <utility>

#include "FileArguments.hpp"
#include "ProcessSetup.hpp"
#include "ThreadCount.hpp"

int FileCommand::run(int argc, char* argv[], const Traits& traits, Body body) {
    Report report;
    const bool removes = traits.failedOutput == FailedOutput::removed;
    if (!prepareProcess(removes ? OutputRemover::removeNow : nullptr)) {
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
        // Destroyed before the handler below reports, so that the output is
        // closed, or removed, by then.
        FileCommand command(report, traits, std::move(arguments.infile),
                            std::move(arguments.outfile), threads);
        return body(command);
    } catch (const std::bad_alloc&) {
        report.problem(Problem::outOfMemory);
        return -1;
    }
}

FileCommand::FileCommand(Report& report, const Traits& traits, std::string infile,
                         std::string outfile, int threads)
    : lines(report),
      failedOutput(traits.failedOutput),
      inputPath(std::move(infile)),
      outputPath(std::move(outfile)) {
    libraryOptions.threads = threads;
    tuning.workersOffCaller = true;
    libraryOptions.tuning = &tuning;
    // Without a pool (no memory for one), each call starts its own workers.
    const int resolved = threads == 0 ? huffcodec::availableProcessors() : threads;
    if (resolved > 1 && workers.create(resolved - 1, true) == huffcodec::Status::ok) {
        libraryOptions.pool = &workers;
    }
}

bool FileCommand::openInput() {
    inputFile.emplace(inputPath);
    if (!inputFile->isOpen()) {
        lines.errorOpening(inputPath);
        return false;
    }
    return true;
}

bool FileCommand::openOutput() {
    if (failedOutput == FailedOutput::removed) {
        // Constructed first: it holds the signals back until the file is
        // watched.
        remover.emplace();
    }
    outputFile.emplace(outputPath);
    if (remover) {
        remover->watch(outputPath, outputFile->descriptor());
    }
    if (!outputFile->isOpen()) {
        lines.errorOpening(outputPath);
        return false;
    }
    return true;
}

std::optional<huffcodec::StreamResult> FileCommand::writeOutput(InputFile& source,
                                                                const Pass& pass) {
    lines.begin("Writing to file \"" + outputPath + "\"...");
    OutputFile& output = *outputFile;
    const huffcodec::StreamResult result = pass(
        [&source](std::uint8_t* buffer, std::size_t size) { return source.read(buffer, size); },
        [&output](const std::uint8_t* data, std::size_t size) { return output.write(data, size); },
        libraryOptions);
    if (result.status != huffcodec::Status::ok) {
        lines.problem(problemFor(result.status));
        return std::nullopt;
    }
    if (!output.close()) {
        lines.problem(Problem::errorWritingOutput);
        return std::nullopt;
    }
    if (remover) {
        remover->keep();
    }
    lines.done();
    return result;
}
