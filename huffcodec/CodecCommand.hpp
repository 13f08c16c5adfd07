// SPDX-License-Identifier: MIT
//
// The huffcodec command from argv to its exit status: the start-up guards,
// the command line (help, version, usage errors), the thread count (-T, else
// HUFFCODEC_THREADS), and every input in turn, those under a directory with
// -r. Each input's own part is CodecJob's.
#ifndef HUFFCODEC_COMMAND_CODECCOMMAND_HPP
#define HUFFCODEC_COMMAND_CODECCOMMAND_HPP

#include <sys/types.h>

#include <string>

#include "CodecJob.hpp"
#include "CommandLine.hpp"
#include "JobOptions.hpp"
#include "output/Directory.hpp"

class CodecCommand {
public:
    // All of huffcodec's main. Returns 0 when every input succeeded, 1 when
    // one failed, 2 for a usage error.
    static int run(int argc, char* argv[]);

    CodecCommand(const CodecCommand&) = delete;
    CodecCommand& operator=(const CodecCommand&) = delete;

private:
    CodecCommand(const CommandLine& line, int threads, mode_t newFileMode);

    // Each input of the command line in turn.
    void takeAll();
    void takeStandardInput();
    // A file, or with -r a directory, by its name on the command line.
    void takeNamed(const std::string& path);
    // The files under directory, named path in the lines, that the mode
    // takes (-r): opened relative to it, symbolic links never followed.
    void walk(const Directory& directory, const std::string& path);
    // A regular file found by walk.
    void takeEntry(const Directory& directory, const std::string& name, const std::string& path);
    // Runs the job, an allocation failure reported as the input's.
    void runJob(const CodecJob::Input& input);
    void fail(const std::string& name, const std::string& text);

    const CommandLine& line;
    JobOptions jobOptions;
    CodecJob job;
    bool failed = false;
};

#endif  // HUFFCODEC_COMMAND_CODECCOMMAND_HPP
