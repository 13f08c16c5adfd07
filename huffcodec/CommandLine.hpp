// SPDX-License-Identifier: MIT
//
// The huffcodec command's options and files, read from argv as the everyday
// compressors read theirs: short options bundled (-dkf), a value attached or
// in the next word (-T4, -T 4, --threads=4, --threads 4), options and files in
// any order, "--" ending the options, "-" naming standard input. The whole
// line is read before anything is done: a usage error anywhere wins over
// --help and --version.
//
// With it, what huffcodec -h and -V print on standard output (usage text,
// version).
#ifndef HUFFCODEC_COMMAND_COMMANDLINE_HPP
#define HUFFCODEC_COMMAND_COMMANDLINE_HPP

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    enum class Action { run, help, version, usageError };
    // -z, -d, -t, -l: the last one given counts.
    enum class Mode { compress, decompress, test, list };

    Action action = Action::run;
    std::string error;  // with Action::usageError: what is wrong, one line
    Mode mode = Mode::compress;
    bool toStdout = false;      // -c
    bool force = false;         // -f
    bool removeInputs = false;  // --rm; -k turns it off again
    bool recursive = false;     // -r
    int verbosity = 1;          // each -q takes one off, each -v adds one
    int threads = -1;           // -T as the library takes it (0: every processor); -1: not given
    std::optional<std::string> output;  // -o
    std::vector<std::string> files;     // "-" is standard input; none: standard input alone

    static CommandLine parse(int argc, char* argv[]);
};

void printHelp();
void printVersion();

#endif  // HUFFCODEC_COMMAND_COMMANDLINE_HPP
