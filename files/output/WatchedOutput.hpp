// SPDX-License-Identifier: MIT
//
// An output file and what removes it unless the job that writes it succeeds
// (WatchedOutput): the file jobs' output at a path given (created or
// truncated), and the huffcodec command's temporary file beside its output
// (created under a new name). Destroyed in the right order: the file closed,
// then removed, then the signal handlers put back.
//
// StagedOutput: an output file of the huffcodec command, written under a
// temporary name in the output's directory and renamed into place only once
// it is complete, so that its name never holds part of a file and an
// existing file there stays whole until then. A failure, and SIGINT, SIGTERM
// or SIGHUP, remove the temporary file instead. Owner, mode and times are set
// through the open descriptor before the rename, and the rename is relative
// to the directory held open: no name that someone else can swap for a
// symbolic link is ever followed.
#ifndef HUFFCODEC_FILES_WATCHEDOUTPUT_HPP
#define HUFFCODEC_FILES_WATCHEDOUTPUT_HPP

#include <sys/stat.h>

#include <optional>
#include <string>

#include "output/Directory.hpp"
#include "output/OutputFile.hpp"
#include "output/OutputRemoval.hpp"

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

class StagedOutput {
public:
    // Creates the temporary file (".huffcodec-" and six characters) in
    // directory, which outlives this, for the output named name there.
    StagedOutput(const Directory& directory, std::string name);

    // False when the temporary file could not be created; openError() says
    // why.
    bool isOpen() { return staged.file().isOpen(); }
    int openError() const { return staged.openError(); }
    OutputFile& file() { return staged.file(); }

    // Once every byte is written: gives the file the owner, group,
    // permission bits and access and modification times of like where the
    // process may (the set-user-ID and set-group-ID bits only with the owner
    // and group they belong to), or without like the permission bits of
    // newFileMode; closes it and renames it to the output's name. Returns 0,
    // or the errno of the failed close or rename (the temporary file is then
    // removed).
    int commit(const struct stat* like, mode_t newFileMode);

private:
    const Directory& directory;
    std::string target;
    WatchedOutput staged;
};

#endif  // HUFFCODEC_FILES_WATCHEDOUTPUT_HPP
