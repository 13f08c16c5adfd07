// SPDX-License-Identifier: MIT
//
// An output file and what removes it unless the job that writes it succeeds:
// the file jobs' output at a path given (created or truncated), and the
// huffcodec command's temporary file beside its output (created under a new
// name). Destroyed in the right order: the file closed, then removed, then
// the signal handlers put back.
#ifndef HUFFCODEC_FILES_WATCHEDOUTPUT_HPP
#define HUFFCODEC_FILES_WATCHEDOUTPUT_HPP

#include <optional>
#include <string>

#include "output/Directory.hpp"
#include "output/OutputFile.hpp"
#include "output/OutputRemover.hpp"
#include "output/RemovalSignals.hpp"

class WatchedOutput {
public:
    // Creates path, or truncates it if it exists; removed: a failure removes
    // it (see OutputRemover), and with signals so do SIGINT, SIGTERM and
    // SIGHUP (see RemovalSignals).
    WatchedOutput(std::string path, bool removed, bool signals);
    // Creates a new file in directory (which outlives this), readable and
    // writable by its owner alone, named prefix and six characters that no
    // file there has; a failure and the three signals remove it.
    WatchedOutput(const Directory& directory, const std::string& prefix);
    WatchedOutput(const WatchedOutput&) = delete;
    WatchedOutput& operator=(const WatchedOutput&) = delete;

    // The job succeeded: the file stays.
    void keep();

    OutputFile& file() { return *output; }
    // The file's name: the path given, or the new name in the directory.
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

#endif  // HUFFCODEC_FILES_WATCHEDOUTPUT_HPP
