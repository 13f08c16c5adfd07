// SPDX-License-Identifier: MIT
//
// One input of the huffcodec command, from the open file to the last line
// about it: where its output goes and the checks on that (the suffix, a file
// already there, the same file, a terminal), the file job or the listing,
// the output renamed into place with the input's permissions and times, the
// input removed (--rm), and the line that says what went wrong, or with -v
// how it went.
//
// With it, the names of outputs made from an input's name (FILE.huf and back).
#ifndef HUFFCODEC_COMMAND_CODECJOB_HPP
#define HUFFCODEC_COMMAND_CODECJOB_HPP

#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>

#include "CommandLine.hpp"
#include "Diagnostics.hpp"
#include "FileJob.hpp"
#include "InputFile.hpp"
#include "Progress.hpp"
#include "huffcodec/huffcodec.hpp"
#include "output/Directory.hpp"
#include "output/OutputFile.hpp"

class CodecJob {
public:
    // A file named on the command line or found under a directory, or
    // standard input (not named, path empty).
    struct Input {
        std::string path;
        InputFile& file;
        const struct stat& info;  // of the open file
        bool named;
        const Directory* directory;  // that holds it; null for standard input
        std::string entry;           // its name there

        // As the lines name it.
        std::string shownName() const { return named ? path : kStandardInputName; }
    };

    // line and options outlive the job; a new output of standard input gets
    // newFileMode's permissions.
    CodecJob(const CommandLine& line, const huffcodec::Options& options, mode_t newFileMode);

    // False when the input failed, once the line that says why is written.
    bool run(const Input& input);

    // Whether -l has written its table to standard output.
    bool listedAny() const { return listedHeading; }

private:
    bool list(const Input& input, const std::string& name);
    bool test(const Input& input, const std::string& name);
    // -z and -d: into a file, a device or pipe already there, or standard
    // output.
    bool convert(const Input& input, const std::string& name);
    bool toStandardOutput(const Input& input, const std::string& name);
    // Into entry of directory, named path in the lines, through a staged
    // file; exists: something, a link included, stands at entry.
    bool intoFile(const Input& input, const std::string& name, const Directory& directory,
                  const std::string& entry, const std::string& path, bool exists);
    // The output's name in the input's directory; empty, and the line said,
    // when the input's name gives none.
    std::string outputEntry(const Input& input, const std::string& name) const;
    // --rm: removes the input's name once its output is in place.
    bool removeInput(const Input& input, const std::string& name) const;
    // Closes an output that is not staged; false, once said, if that fails.
    static bool closed(OutputFile& output, const std::string& outputName);

    // The file job of the mode from file to output, with the progress line;
    // nothing, once the line that says why is written, when it failed.
    // accept, if set, sees each member's header as the job's observer does.
    std::optional<FileJob::Result> runJob(
        InputFile& file, OutputFile& output, const std::string& name, const std::string& outputName,
        const std::function<bool(const huffcodec::Header&)>& accept = nullptr);
    // Where -t and -l throw the decoded bytes: /dev/null, opened once (the
    // job says so if that failed).
    OutputFile& discarded();
    // With -v, what the job made of the input.
    void sayDone(const FileJob::Result& result, const std::string& name,
                 const std::string& output) const;

    const CommandLine& line;
    const huffcodec::Options& libraryOptions;
    const mode_t newFileMode;
    Progress progress;
    std::optional<OutputFile> discard;
    int discardError = 0;  // of its open
    bool listedHeading = false;
};

// The names of outputs made from an input's name.
inline constexpr char kCompressedSuffix[] = ".huf";

// True when the file name (after the last slash) ends in ".huf" after at
// least one other character.
bool hasCompressedSuffix(const std::string& path);

std::string compressedName(const std::string& path);
// path without its ".huf"; path must have the suffix.
std::string restoredName(const std::string& path);

#endif  // HUFFCODEC_COMMAND_CODECJOB_HPP
