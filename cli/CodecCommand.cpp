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
#include "FileNames.hpp"
#include "ProcessSetup.hpp"
#include "RemovalSignals.hpp"
#include "ThreadCount.hpp"
#include "Usage.hpp"

namespace {

// Flushes what help, version or -l wrote; false, once said, if it failed.
bool standardOutputWritten() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        say(kStandardOutputName, reasonOf(errno, huffcodec::Status::writeError));
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
                return standardOutputWritten() ? 0 : 1;
            case CommandLine::Action::version:
                printVersion();
                return standardOutputWritten() ? 0 : 1;
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
        const bool listed = standardOutputWritten();
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
    // A descriptor of its own, which the job closes; standard input stays.
    InputFile file(::fcntl(0, F_DUPFD_CLOEXEC, 3));
    struct stat info {};
    if (!file.isOpen() || ::fstat(0, &info) != 0) {
        fail(kStandardInputName, reasonOf(errno));
        return;
    }
    runJob({"", file, info, false});
}

void CodecCommand::takeNamed(const std::string& path) {
    {
        const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0) {
            fail(path, reasonOf(errno));
            return;
        }
        InputFile file(descriptor);
        struct stat info {};
        if (::fstat(descriptor, &info) != 0) {
            fail(path, reasonOf(errno));
            return;
        }
        if (!S_ISDIR(info.st_mode)) {
            runJob({path, file, info, true});
            return;
        }
        if (!line.recursive) {
            fail(path, reasonOf(EISDIR));
            return;
        }
    }
    // Closed first: each level down would hold one more.
    walk(path);
}

void CodecCommand::walk(const std::string& directory) {
    int error = 0;
    const std::vector<std::string> names = directoryEntries(directory, error);
    if (error != 0) {
        fail(directory, reasonOf(error));
    }
    const std::string prefix = directory.back() == '/' ? directory : directory + "/";
    for (const std::string& name : names) {
        const std::string path = prefix + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            fail(path, reasonOf(errno));
        } else if (S_ISDIR(info.st_mode)) {
            walk(path);
        } else if (S_ISREG(info.st_mode) &&
                   hasCompressedSuffix(path) != (line.mode == CommandLine::Mode::compress)) {
            // Symbolic links, devices and pipes are passed over, and so are
            // the files the mode does not take: compressed ones when
            // compressing, others when not.
            takeNamed(path);
        }
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
