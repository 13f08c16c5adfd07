// The command line both commands share: a program name and two files, the
// input and the output, which must not be the same file.
#ifndef CODEC_FILEARGUMENTS_HPP
#define CODEC_FILEARGUMENTS_HPP

#include <string>

class FileArguments {
public:
    // Prints the usage lines and ends the process; each command has its own.
    using UsageAndExit = void (*)(const char* programName);

    // Takes infile and outfile from argv. On a wrong number of arguments, or
    // an outfile that is the infile (the same text, or the same file under
    // another name, which opening the output would truncate), prints what is
    // wrong and calls usageAndExit. Without a program name (an empty argument
    // vector) the usage lines name commandName.
    FileArguments(int argc, char* argv[], const char* commandName, UsageAndExit usageAndExit);

    // The two usage lines, on standard error.
    static void printUsage(const char* programName);

    const std::string& infile() const { return in; }
    const std::string& outfile() const { return out; }

private:
    std::string in;
    std::string out;
};

#endif  // CODEC_FILEARGUMENTS_HPP
