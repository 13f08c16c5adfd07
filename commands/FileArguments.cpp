// SPDX-License-Identifier: MIT
//
// Argument checks of the two commands.
#include "FileArguments.hpp"

#include <cstdlib>
#include <iostream>

#include "output/OutputFile.hpp"

FileArguments FileArguments::parse(int argc, char* argv[], const char* commandName) {
    FileArguments arguments;
    arguments.programName =
        argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : commandName;
    if (argc != 3) {
        arguments.check = Check::wrongCount;
        return arguments;
    }
    arguments.infile = argv[1];
    arguments.outfile = argv[2];
    if (arguments.infile == arguments.outfile ||
        OutputFile::wouldOverwrite(arguments.outfile, arguments.infile)) {
        arguments.check = Check::sameFile;
    }
    return arguments;
}

void FileArguments::usageAndExit(const char* programName) {
    std::cerr << programName << " called with incorrect arguments." << std::endl;
    std::cerr << "Usage: " << programName << " infile outfile" << std::endl;
    std::exit(-1);
}
