// SPDX-License-Identifier: MIT
//
// One run of a command that turns one file into another: what both commands
// do around their own stages. The start-up guards, HUFFCODEC_THREADS and the
// arguments, opening the two files, the stages that build the code tree and
// write the output, and the report of running out of memory.
#ifndef HUFFCODEC_CLI_FILECOMMAND_HPP
#define HUFFCODEC_CLI_FILECOMMAND_HPP

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "InputFile.hpp"
#include "OutputFile.hpp"
#include "OutputRemover.hpp"
#include "Report.hpp"
#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"

class FileCommand {
public:
    // What a failure after openOutput() does to the output file: keeps the
    // bytes written before the problem, or removes a regular file, as SIGINT,
    // SIGTERM and SIGHUP then do too (see OutputRemover).
    enum class FailedOutput { kept, removed };

    // What sets one command apart from the other in the parts they share.
    struct Traits {
        // The program's name in the usage lines when argv[0] is missing or empty.
        const char* name;
        // Prints the usage lines and ends the process with status 255.
        void (*usageAndExit)(const char* programName);
        FailedOutput failedOutput;
    };

    // The command's own part, from opening its files to its last report line;
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
    const std::string& infile() const { return inputPath; }
    // The thread count and the command's one pool of workers, kept off the
    // calling thread, for every call into the library.
    const huffcodec::Options& options() const { return libraryOptions; }

    // Opens infile, or reports that it cannot; false then.
    bool openInput();
    // The input, once openInput() has succeeded.
    InputFile& input() { return *inputFile; }

    // Creates or truncates outfile, watched for removal from here on if the
    // command removes it, or reports that it cannot; false then.
    bool openOutput();

    // The stage that builds coder (a huffcodec::Decoder or Encoder) for
    // header; false once the problem has been reported.
    template <class Coder>
    bool buildCodeTree(Coder& coder, const huffcodec::Header& header) {
        lines.begin("Building Huffman code tree...");
        return lines.finish(coder.build(header));
    }

    // Writes the whole output through the library: reads source and writes
    // the output file, with options().
    using Pass = std::function<huffcodec::StreamResult(const huffcodec::ReadFn& read,
                                                       const huffcodec::WriteFn& write,
                                                       const huffcodec::Options& options)>;

    // The last stage: "Writing to file "OUT"...", pass over source and the
    // output file, and the output closed. Returns pass's result, or nothing
    // once the problem has been reported; with FailedOutput::removed, the
    // output file stays only once this has succeeded.
    std::optional<huffcodec::StreamResult> writeOutput(InputFile& source, const Pass& pass);

private:
    FileCommand(Report& report, const Traits& traits, std::string infile, std::string outfile,
                int threads);

    Report& lines;
    const FailedOutput failedOutput;
    const std::string inputPath;
    const std::string outputPath;
    // Started as the library's calls need them, joined when the command ends.
    huffcodec::ThreadPool workers;
    huffcodec::Tuning tuning;  // the workers kept off the calling thread's processor
    huffcodec::Options libraryOptions;
    std::optional<InputFile> inputFile;
    // Declared before the output, so that the output is closed before the
    // remover decides.
    std::optional<OutputRemover> remover;
    std::optional<OutputFile> outputFile;
};

#endif  // HUFFCODEC_CLI_FILECOMMAND_HPP
