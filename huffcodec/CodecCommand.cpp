// SPDX-License-Identifier: MIT
//
// The huffcodec command's run.
#include "CodecCommand.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <new>
#include <vector>

#include "Diagnostics.hpp"
#include "DirectoryEntries.hpp"
#include "ProcessSetup.hpp"
#include "ThreadCount.hpp"
#include "output/Directory.hpp"
#include "output/OutputRemoval.hpp"

namespace {

// Flushes what help, version or -l wrote; false, once said, if it failed.
// used: something was written; standard output closed at the start is then
// a failure too.
bool standardOutputWritten(bool used) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        say(kStandardOutputName, reasonOf(errno, huffcodec::Status::writeError));
        return false;
    }
    if (used && wasClosedAtStart(1)) {
        say(kStandardOutputName, reasonOf(EBADF));
        return false;
    }
    return true;
}

}  // namespace

int CodecCommand::run(int argc, char* argv[]) {
    if (!prepareProcess(RemovalSignals::removeNow, {"huffcodec: out of memory\n", 1})) {
        say("/dev/null", reasonOf(errno));
        return 1;
    }
    try {
        const CommandLine line = CommandLine::parse(argc, argv);
        switch (line.action) {
            case CommandLine::Action::help:
                printHelp();
                return standardOutputWritten(true) ? 0 : 1;
            case CommandLine::Action::version:
                printVersion();
                return standardOutputWritten(true) ? 0 : 1;
            case CommandLine::Action::usageError:
                say(line.error);
                std::cerr << "Try 'huffcodec --help' for more information." << std::endl;
                return 2;
            case CommandLine::Action::run:
                break;
        }
        // What a new file gets when no input lends it its permissions.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        CodecCommand command(line, line.threads >= 0 ? line.threads : threadCountFromEnvironment(),
                             0666 & ~mask);
        command.takeAll();
        const bool listed = standardOutputWritten(command.job.listedAny());
        return command.failed || !listed ? 1 : 0;
    } catch (const std::bad_alloc&) {
        say(huffcodec::statusMessage(huffcodec::Status::outOfMemory));
        return 1;
    }
}

CodecCommand::CodecCommand(const CommandLine& commandLine, int threads, mode_t newFileMode)
    : line(commandLine), jobOptions(threads), job(line, jobOptions.options(), newFileMode) {}

void CodecCommand::takeAll() {
    if (line.files.empty()) {
        takeStandardInput();
    }
    for (const std::string& file : line.files) {
        if (file == "-") {
            takeStandardInput();
        } else {
            takeNamed(file);
        }
    }
}

void CodecCommand::takeStandardInput() {
    if (wasClosedAtStart(0)) {
        fail(kStandardInputName, reasonOf(EBADF));
        return;
    }
    // A descriptor of its own, which the job closes; standard input stays.
    InputFile file(::fcntl(0, F_DUPFD_CLOEXEC, 3));
    struct stat info {};
    if (!file.isOpen() || ::fstat(0, &info) != 0) {
        fail(kStandardInputName, reasonOf(errno));
        return;
    }
    runJob({"", file, info, false, nullptr, ""});
}

void CodecCommand::takeNamed(const std::string& path) {
    // Links are followed here: the caller named the path.
    const PathParts parts = splitPath(path);
    if (parts.name.empty()) {
        // "d/" names a directory alone.
        const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
        if (descriptor < 0) {
            fail(path, reasonOf(errno));
        } else if (!line.recursive) {
            ::close(descriptor);
            fail(path, reasonOf(EISDIR));
        } else {
            walk(Directory::adopt(descriptor), path);
        }
        return;
    }
    // The directory that holds the file: its output goes there, and --rm
    // removes it from there.
    const Directory holder = Directory::named(parts.directory);
    if (!holder.isOpen()) {
        fail(path, reasonOf(holder.error()));
        return;
    }
    const int descriptor =
        ::openat(holder.descriptor(), parts.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    struct stat info {};
    if (descriptor < 0 || ::fstat(descriptor, &info) != 0) {
        fail(path, reasonOf(errno));
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        return;
    }
    if (!S_ISDIR(info.st_mode)) {
        InputFile file(descriptor, &info);
        runJob({path, file, info, true, &holder, parts.name});
    } else if (!line.recursive) {
        ::close(descriptor);
        fail(path, reasonOf(EISDIR));
    } else {
        walk(Directory::adopt(descriptor), path);
    }
}

void CodecCommand::walk(const Directory& directory, const std::string& path) {
    if (!directory.isOpen()) {
        fail(path, reasonOf(directory.error()));
        return;
    }
    int error = 0;
    const std::vector<DirectoryEntry> entries = directoryEntries(directory, error);
    if (error != 0) {
        fail(path, reasonOf(error));
    }
    const std::string prefix = path.back() == '/' ? path : path + "/";
    for (const DirectoryEntry& entry : entries) {
        const std::string entryPath = prefix + entry.name;
        if (entry.kind == DirectoryEntry::Kind::directory) {
            walk(Directory::entry(directory, entry.name), entryPath);
        } else if (entry.kind == DirectoryEntry::Kind::file &&
                   hasCompressedSuffix(entry.name) != (line.mode == CommandLine::Mode::compress)) {
            // Symbolic links, devices and pipes are passed over, and so are
            // the files the mode does not take: compressed ones when
            // compressing, others when not.
            takeEntry(directory, entry.name, entryPath);
        }
    }
}

void CodecCommand::takeEntry(const Directory& directory, const std::string& name,
                             const std::string& path) {
    // Not followed, and not waited for: what was listed as a regular file
    // may have been replaced by a link or a pipe since.
    const int descriptor = ::openat(directory.descriptor(), name.c_str(),
                                    O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0) {
        if (errno != ELOOP) {
            fail(path, reasonOf(errno));
        }
        return;
    }
    struct stat info {};
    if (::fstat(descriptor, &info) != 0) {
        fail(path, reasonOf(errno));
        ::close(descriptor);
        return;
    }
    InputFile file(descriptor, &info);
    if (S_ISREG(info.st_mode)) {
        runJob({path, file, info, true, &directory, name});
    }
}

void CodecCommand::runJob(const CodecJob::Input& input) {
    try {
        failed = !job.run(input) || failed;
    } catch (const std::bad_alloc&) {
        fail(input.shownName(), huffcodec::statusMessage(huffcodec::Status::outOfMemory));
    }
}

void CodecCommand::fail(const std::string& name, const std::string& text) {
    say(name, text);
    failed = true;
}
