// SPDX-License-Identifier: MIT
//
// The command line both commands share: a program name and two files, the
// input and the output, which must not be the same file.
#ifndef HUFFCODEC_COMMANDS_FILEARGUMENTS_HPP
#define HUFFCODEC_COMMANDS_FILEARGUMENTS_HPP

#include <string>

struct FileArguments {
    enum class Check {
        ok,
        wrongCount,  // not exactly two arguments
        sameFile,    // the output is the input (the same text, or the same file
                     // under another name, which opening the output would truncate)
    };

    Check check = Check::ok;
    std::string programName;  // argv[0], or the command's name when there is none
    std::string infile;
    std::string outfile;

    // Takes infile and outfile from argv and checks them.
    static FileArguments parse(int argc, char* argv[], const char* commandName);

    // Prints the two usage lines on standard error and ends the process with
    // status 255.
    [[noreturn]] static void usageAndExit(const char* programName);
};

#endif  // HUFFCODEC_COMMANDS_FILEARGUMENTS_HPP
