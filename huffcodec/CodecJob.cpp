// SPDX-License-Identifier: MIT
//
// One input of the huffcodec command.
#include "CodecJob.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <sstream>

#include "Diagnostics.hpp"
#include "Listing.hpp"
#include "ProcessSetup.hpp"
#include "output/WatchedOutput.hpp"

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
    bool listed = true;
    const std::optional<FileJob::Result> result =
        runJob(input.file, discarded(), name, "/dev/null", [&](const huffcodec::Header& header) {
            listed = listing.add(header) && listed;
            return listed;
        });
    if (!result) {
        return false;
    }
    if (!listedHeading) {
        Listing::printHeading();
        listedHeading = true;
    }
    listing.printRow(name, result->inputBytes, line.verbosity > 1);
    return true;
}

bool CodecJob::test(const Input& input, const std::string& name) {
    if (!runJob(input.file, discarded(), name, "/dev/null")) {
        return false;
    }
    if (line.verbosity > 0) {
        say(name, "OK");
    }
    return true;
}

OutputFile& CodecJob::discarded() {
    if (!discard) {
        discard.emplace("/dev/null");
        discardError = discard->isOpen() ? 0 : errno;
    }
    return *discard;
}

bool CodecJob::convert(const Input& input, const std::string& name) {
    if (line.toStdout || (!input.named && !line.output)) {
        return toStandardOutput(input, name);
    }
    // -o names a file in a directory of its own; else the output goes
    // beside the input.
    std::optional<Directory> named;
    const Directory* directory = input.directory;
    std::string entry;
    std::string path;
    if (line.output) {
        path = *line.output;
        const PathParts parts = splitPath(path);
        if (parts.name.empty()) {
            say(path, reasonOf(EISDIR));
            return false;
        }
        named.emplace(Directory::named(parts.directory));
        if (!named->isOpen()) {
            say(path, reasonOf(named->error()));
            return false;
        }
        directory = &*named;
        entry = parts.name;
    } else {
        entry = outputEntry(input, name);
        if (entry.empty()) {
            return false;
        }
        path = input.path.substr(0, input.path.size() - input.entry.size()) + entry;
    }
    // The entry itself, and where it is a link what it leads to.
    struct stat existing {};
    const bool entryExists =
        ::fstatat(directory->descriptor(), entry.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    const bool exists =
        entryExists && (!S_ISLNK(existing.st_mode) ||
                        ::fstatat(directory->descriptor(), entry.c_str(), &existing, 0) == 0);
    if (input.named && exists && sameFile(existing, input.info)) {
        say(name, "input and output are the same file");
        return false;
    }
    if (!line.output || !exists || S_ISREG(existing.st_mode) || S_ISDIR(existing.st_mode)) {
        return intoFile(input, name, *directory, entry, path, entryExists);
    }
    // A device or a pipe named with -o (-o /dev/null) is written in place,
    // and nothing replaces it.
    WatchedOutput direct(path, false, false);
    if (!direct.file().isOpen()) {
        say(path, reasonOf(direct.openError()));
        return false;
    }
    const std::optional<FileJob::Result> result = runJob(input.file, direct.file(), name, path);
    if (!result || !closed(direct.file(), path)) {
        return false;
    }
    sayDone(*result, name, path);
    return true;
}

std::string CodecJob::outputEntry(const Input& input, const std::string& name) const {
    if (line.mode == Mode::decompress) {
        if (!hasCompressedSuffix(input.entry)) {
            say(name, std::string("no ") + kCompressedSuffix + " suffix (-o names the output)");
            return "";
        }
        return restoredName(input.entry);
    }
    if (hasCompressedSuffix(input.entry) && !line.force) {
        say(name, std::string("already has the ") + kCompressedSuffix +
                      " suffix (-f compresses it again)");
        return "";
    }
    return compressedName(input.entry);
}

bool CodecJob::intoFile(const Input& input, const std::string& name, const Directory& directory,
                        const std::string& entry, const std::string& path, bool exists) {
    if (!line.force && exists) {
        say(path, "already exists (-f overwrites it)");
        return false;
    }
    StagedOutput staged(directory, entry);
    if (!staged.isOpen()) {
        say(path, reasonOf(staged.openError()));
        return false;
    }
    const std::optional<FileJob::Result> result = runJob(input.file, staged.file(), name, path);
    if (!result) {
        return false;
    }
    const int commitError = staged.commit(input.named ? &input.info : nullptr, newFileMode);
    if (commitError != 0) {
        say(path, reasonOf(commitError, huffcodec::Status::writeError));
        return false;
    }
    // Only once the output is complete, closed and in place; a device or a
    // pipe named as the input stays.
    if (line.removeInputs && input.named && S_ISREG(input.info.st_mode) &&
        !removeInput(input, name)) {
        return false;
    }
    sayDone(*result, name, path);
    return true;
}

bool CodecJob::removeInput(const Input& input, const std::string& name) const {
    // The name is removed only while it still is the file that was read (or
    // a symbolic link the caller named, which goes, not what it points to):
    // a file put in its place meanwhile stays.
    struct stat entry {};
    if (::fstatat(input.directory->descriptor(), input.entry.c_str(), &entry,
                  AT_SYMLINK_NOFOLLOW) != 0) {
        say(name, "not removed: " + reasonOf(errno));
        return false;
    }
    if (!sameFile(entry, input.info) && !S_ISLNK(entry.st_mode)) {
        say(name, "not removed: replaced while it was read");
        return false;
    }
    if (::unlinkat(input.directory->descriptor(), input.entry.c_str(), 0) != 0) {
        say(name, "not removed: " + reasonOf(errno));
        return false;
    }
    return true;
}

bool CodecJob::closed(OutputFile& output, const std::string& outputName) {
    if (!output.close()) {
        say(outputName, reasonOf(output.error(), huffcodec::Status::writeError));
        return false;
    }
    return true;
}

bool CodecJob::toStandardOutput(const Input& input, const std::string& name) {
    if (line.mode == Mode::compress && !line.force && ::isatty(1) != 0) {
        say(kStandardOutputName, "refusing to write compressed data to a terminal (-f forces it)");
        return false;
    }
    if (wasClosedAtStart(1)) {
        say(kStandardOutputName, reasonOf(EBADF));
        return false;
    }
    // Appending to the input would feed it its own output.
    struct stat standardOutput {};
    if (::fstat(1, &standardOutput) == 0 && S_ISREG(standardOutput.st_mode) &&
        sameFile(standardOutput, input.info)) {
        say(name, "input and output are the same file");
        return false;
    }
    // A descriptor of its own, closed here; standard output stays.
    OutputFile output(::fcntl(1, F_DUPFD_CLOEXEC, 3));
    if (!output.isOpen()) {
        say(kStandardOutputName, reasonOf(errno));
        return false;
    }
    const std::optional<FileJob::Result> result =
        runJob(input.file, output, name, kStandardOutputName);
    if (!result || !closed(output, kStandardOutputName)) {
        return false;
    }
    sayDone(*result, name, kStandardOutputName);
    return true;
}

std::optional<FileJob::Result> CodecJob::runJob(
    InputFile& file, OutputFile& output, const std::string& name, const std::string& outputName,
    const std::function<bool(const huffcodec::Header&)>& accept) {
    if (!output.isOpen()) {
        say(outputName, reasonOf(discardError));
        return std::nullopt;
    }
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
    observer.accept = accept;
    FileJob job(libraryOptions, observer);
    job.takeEveryMember();
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

namespace {

constexpr std::size_t kSuffixSize = sizeof kCompressedSuffix - 1;

}  // namespace

bool hasCompressedSuffix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameSize = slash == std::string::npos ? path.size() : path.size() - slash - 1;
    return nameSize > kSuffixSize &&
           path.compare(path.size() - kSuffixSize, kSuffixSize, kCompressedSuffix) == 0;
}

std::string compressedName(const std::string& path) {
    return path + kCompressedSuffix;
}

std::string restoredName(const std::string& path) {
    return path.substr(0, path.size() - kSuffixSize);
}
