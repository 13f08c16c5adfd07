// Argument checks of the two commands.
#include "FileArguments.hpp"

#include <iostream>

#include "OutputFile.hpp"

FileArguments::FileArguments(int argc, char* argv[], const char* commandName,
                             UsageAndExit usageAndExit) {
    const char* programName =
        argc > 0 && argv[0] != nullptr && argv[0][0] != '\0' ? argv[0] : commandName;
    if (argc != 3) {
        usageAndExit(programName);
    }
    in = argv[1];
    out = argv[2];
    if (in == out || OutputFile::wouldOverwrite(out, in)) {
        std::cerr << "infile and outfile must be different files" << std::endl;
        usageAndExit(programName);
    }
}

void FileArguments::printUsage(const char* programName) {
    std::cerr << programName << " called with incorrect arguments." << std::endl;
    std::cerr << "Usage: " << programName << " infile outfile" << std::endl;
}
