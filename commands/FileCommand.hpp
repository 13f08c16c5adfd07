// SPDX-License-Identifier: MIT
//
// One run of a command that turns one file into another: what both commands
// do around the file job. The start-up guards, HUFFCODEC_THREADS and the
// arguments, opening the input, a report line for each stage of the job and
// for the problem that stopped it, and the report of running out of memory.
#ifndef HUFFCODEC_COMMANDS_FILECOMMAND_HPP
#define HUFFCODEC_COMMANDS_FILECOMMAND_HPP

#include <optional>
#include <string>

#include "FileJob.hpp"
#include "JobOptions.hpp"
#include "Report.hpp"
#include "huffcodec/huffcodec.hpp"

class FileCommand {
public:
    // What sets one command apart from the other in the parts they share.
    struct Traits {
        // The program's name in the usage lines when argv[0] is missing or empty.
        const char* name;
        // Prints the usage lines and ends the process with status 255.
        void (*usageAndExit)(const char* programName);
    };

    // The command's own part, from running its job to its last report line;
    // returns the exit status.
    using Body = int (*)(FileCommand& command);

    // All of a command's main: prepares the process (see prepareProcess),
    // reads HUFFCODEC_THREADS, checks the arguments (a wrong count or the same
    // file twice ends in traits.usageAndExit), then runs body. A
    // std::bad_alloc from any of it ends the report with "  Problem: out of
    // memory." once the files are closed (and removed, if they are to be).
    // Returns the exit status: 255 (as -1) on any reported failure.
    static int run(int argc, char* argv[], const Traits& traits, Body body);

    FileCommand(const FileCommand&) = delete;
    FileCommand& operator=(const FileCommand&) = delete;

    Report& report() { return lines; }

    // FileJob::compress or FileJob::decompress.
    using Job = FileJob::Result (FileJob::*)(InputFile& input, const std::string& outputPath);

    // Opens infile (or reports "Error opening") and runs job from it to
    // outfile, a report line for each stage; the header, once known, on a
    // line of its own that starts with headerWords. Returns the job's result,
    // or nothing once its problem has been reported.
    std::optional<FileJob::Result> runJob(Job job, const char* headerWords);

private:
    FileCommand(Report& report, std::string infile, std::string outfile, int threads);

    // The report lines of the job's stages and header.
    void reportStage(FileJob::Stage stage);
    void reportDone(FileJob::Stage stage);
    bool reportHeader(const huffcodec::Header& header);
    void reportFailure(const FileJob::Result& result);

    Report& lines;
    const std::string inputPath;
    const std::string outputPath;
    const char* headerLineStart = "";
    JobOptions jobOptions;
};

#endif  // HUFFCODEC_COMMANDS_FILECOMMAND_HPP
