// SPDX-License-Identifier: MIT
//
// An output file of the huffcodec command, written under a temporary name in
// the output's directory and renamed into place only once it is complete, so
// that its name never holds part of a file and an existing file there stays
// whole until then. A failure, and SIGINT, SIGTERM or SIGHUP, remove the
// temporary file instead. Owner, mode and times are set through the open
// descriptor before the rename, and the rename is relative to the directory
// held open: no name that someone else can swap for a symbolic link is ever
// followed.
#ifndef HUFFCODEC_FILES_STAGEDOUTPUT_HPP
#define HUFFCODEC_FILES_STAGEDOUTPUT_HPP

#include <sys/stat.h>

#include <string>

#include "output/Directory.hpp"
#include "output/OutputFile.hpp"
#include "output/WatchedOutput.hpp"

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

#endif  // HUFFCODEC_FILES_STAGEDOUTPUT_HPP
