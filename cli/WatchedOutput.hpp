// SPDX-License-Identifier: MIT
//
// An output file and what removes it unless the job that writes it succeeds:
// the file jobs' output at a path given (created or truncated), and the
// huffcodec command's temporary file beside its output (created under a new
// name). Destroyed in the right order: the file closed, then removed, then
// the signal handlers put back.
#ifndef HUFFCODEC_CLI_WATCHEDOUTPUT_HPP
#define HUFFCODEC_CLI_WATCHEDOUTPUT_HPP

#include <optional>
#include <string>

#include "OutputFile.hpp"
#include "OutputRemover.hpp"
#include "RemovalSignals.hpp"

class WatchedOutput {
public:
    enum class Creation {
        truncate,  // path is created, or truncated if it exists
        unique,    // path ends in XXXXXX, which a new file's name replaces (mkstemp)
    };

    // Creates the file; removed: a failure removes it (see OutputRemover), and
    // with signals so do SIGINT, SIGTERM and SIGHUP (see RemovalSignals).
    WatchedOutput(std::string path, Creation creation, bool removed, bool signals);
    WatchedOutput(const WatchedOutput&) = delete;
    WatchedOutput& operator=(const WatchedOutput&) = delete;

    // The job succeeded: the file stays.
    void keep();

    OutputFile& file() { return *output; }
    // The file's name, XXXXXX replaced.
    const std::string& path() const { return name; }
    // The errno of a file that could not be created.
    int openError() const { return error; }

private:
    std::string name;
    std::optional<OutputRemover> remover;
    std::optional<RemovalSignals> removalSignals;
    std::optional<OutputFile> output;
    int error = 0;
};

#endif  // HUFFCODEC_CLI_WATCHEDOUTPUT_HPP
