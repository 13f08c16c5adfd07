// SPDX-License-Identifier: MIT
//
// One input of the huffcodec command.
#include "CodecJob.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <sstream>

#include "Diagnostics.hpp"
#include "FileNames.hpp"
#include "Listing.hpp"
#include "StagedOutput.hpp"
#include "WatchedOutput.hpp"

using Mode = CommandLine::Mode;

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

CodecJob::CodecJob(const CommandLine& commandLine, const huffcodec::Options& options,
                   mode_t fileMode)
    : line(commandLine),
      libraryOptions(options),
      newFileMode(fileMode),
      progress(line.verbosity > 0 && ::isatty(2) != 0) {}

bool CodecJob::run(const Input& input) {
    const std::string name = input.shownName();
    if (!input.named && line.mode != Mode::compress && !line.force && ::isatty(0) != 0) {
        say(name, "refusing to read compressed data from a terminal (-f forces it)");
        return false;
    }
    switch (line.mode) {
        case Mode::list:
            return list(input, name);
        case Mode::test:
            return test(input, name);
        case Mode::compress:
        case Mode::decompress:
            break;
    }
    return convert(input, name);
}

bool CodecJob::list(const Input& input, const std::string& name) {
    Listing listing;
    const huffcodec::Status status = listing.read(input.file);
    if (status != huffcodec::Status::ok) {
        say(name, status == huffcodec::Status::readError ? reasonOf(listing.error())
                                                         : huffcodec::statusMessage(status));
        return false;
    }
    if (!listedHeading) {
        Listing::printHeading();
        listedHeading = true;
    }
    listing.printRow(name, line.verbosity > 1);
    return true;
}

bool CodecJob::test(const Input& input, const std::string& name) {
    WatchedOutput discarded("/dev/null", WatchedOutput::Creation::truncate, false, false);
    if (!discarded.file().isOpen()) {
        say("/dev/null", reasonOf(discarded.openError()));
        return false;
    }
    if (!runJob(input.file, discarded.file(), name, "/dev/null")) {
        return false;
    }
    if (line.verbosity > 0) {
        say(name, "OK");
    }
    return true;
}

bool CodecJob::convert(const Input& input, const std::string& name) {
    if (line.toStdout || (!input.named && !line.output)) {
        return toStandardOutput(input, name);
    }
    const std::string path = outputName(input, name);
    if (path.empty()) {
        return false;
    }
    if (input.named && (path == input.path || OutputFile::wouldOverwrite(path, input.path))) {
        say(name, "input and output are the same file");
        return false;
    }
    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (!exists || S_ISREG(existing.st_mode) || S_ISDIR(existing.st_mode)) {
        return intoFile(input, name, path);
    }
    // A device or a pipe (-o /dev/null) is written in place, and nothing
    // replaces it.
    WatchedOutput direct(path, WatchedOutput::Creation::truncate, false, false);
    if (!direct.file().isOpen()) {
        say(path, reasonOf(direct.openError()));
        return false;
    }
    const std::optional<FileJob::Result> result = runJob(input.file, direct.file(), name, path);
    if (result) {
        sayDone(*result, name, path);
    }
    return result.has_value();
}

std::string CodecJob::outputName(const Input& input, const std::string& name) const {
    if (line.output) {
        return *line.output;
    }
    if (line.mode == Mode::decompress) {
        if (!hasCompressedSuffix(input.path)) {
            say(name, std::string("no ") + kCompressedSuffix + " suffix (-o names the output)");
            return "";
        }
        return restoredName(input.path);
    }
    if (hasCompressedSuffix(input.path) && !line.force) {
        say(name, std::string("already has the ") + kCompressedSuffix +
                      " suffix (-f compresses it again)");
        return "";
    }
    return compressedName(input.path);
}

bool CodecJob::intoFile(const Input& input, const std::string& name, const std::string& path) {
    struct stat existing {};
    if (!line.force && ::lstat(path.c_str(), &existing) == 0) {
        say(path, "already exists (-f overwrites it)");
        return false;
    }
    StagedOutput staged(path);
    if (!staged.isOpen()) {
        say(path, reasonOf(staged.openError()));
        return false;
    }
    const std::optional<FileJob::Result> result = runJob(input.file, staged.file(), name, path);
    if (!result) {
        return false;
    }
    const int renameError = staged.commit(input.named ? input.info.st_mode : newFileMode,
                                          input.named ? &input.info : nullptr);
    if (renameError != 0) {
        say(path, reasonOf(renameError));
        return false;
    }
    // Only once the output is complete, closed and in place; a device or a
    // pipe named as the input stays.
    if (line.removeInputs && input.named && S_ISREG(input.info.st_mode) &&
        ::unlink(input.path.c_str()) != 0) {
        say(name, "not removed: " + reasonOf(errno));
        return false;
    }
    sayDone(*result, name, path);
    return true;
}

bool CodecJob::toStandardOutput(const Input& input, const std::string& name) {
    if (line.mode == Mode::compress && !line.force && ::isatty(1) != 0) {
        say(kStandardOutputName, "refusing to write compressed data to a terminal (-f forces it)");
        return false;
    }
    // Appending to the input would feed it its own output.
    struct stat standardOutput {};
    if (::fstat(1, &standardOutput) == 0 && S_ISREG(standardOutput.st_mode) &&
        sameFile(standardOutput, input.info)) {
        say(name, "input and output are the same file");
        return false;
    }
    // A descriptor of its own, which the job closes; standard output stays.
    OutputFile output(::fcntl(1, F_DUPFD_CLOEXEC, 3));
    if (!output.isOpen()) {
        say(kStandardOutputName, reasonOf(errno));
        return false;
    }
    const std::optional<FileJob::Result> result =
        runJob(input.file, output, name, kStandardOutputName);
    if (result) {
        sayDone(*result, name, kStandardOutputName);
    }
    return result.has_value();
}

std::optional<FileJob::Result> CodecJob::runJob(InputFile& file, OutputFile& output,
                                                const std::string& name,
                                                const std::string& outputName) {
    const bool compressing = line.mode == Mode::compress;
    FileJob::Observer observer;
    observer.started = [&](FileJob::Stage stage) {
        if (stage == FileJob::Stage::counting) {
            progress.stage("counting");
        } else if (stage == FileJob::Stage::writing) {
            progress.stage(compressing ? "encoding" : "decoding");
        }
    };
    observer.progressed = [&](std::uint64_t bytes) { progress.update(bytes); };
    FileJob job(libraryOptions, observer);
    progress.start(name);
    const FileJob::Result result =
        compressing ? job.compress(file, output) : job.decompress(file, output);
    progress.clear();
    if (!result.ok()) {
        sayFailure(result, name, outputName);
        return std::nullopt;
    }
    return result;
}

void CodecJob::sayDone(const FileJob::Result& result, const std::string& name,
                       const std::string& output) const {
    if (line.verbosity < 2) {
        return;
    }
    const bool compressing = line.mode == Mode::compress;
    const std::uint64_t compressed = compressing ? result.outputBytes : result.inputBytes;
    std::ostringstream text;
    // The ratio compress and uncompress print for the file.
    text << result.inputBytes << " bytes -> " << output << ": " << result.outputBytes
         << " bytes, ratio "
         << static_cast<double>(result.originalSize) / static_cast<double>(compressed);
    say(name, text.str());
}
