// SPDX-License-Identifier: MIT
//
// An output file of the huffcodec command, written under a temporary name in
// the output's directory and renamed into place only once it is complete, so
// that its name never holds part of a file and an existing file there stays
// whole until then. A failure, and SIGINT, SIGTERM or SIGHUP, remove the
// temporary file instead.
#ifndef HUFFCODEC_CLI_STAGEDOUTPUT_HPP
#define HUFFCODEC_CLI_STAGEDOUTPUT_HPP

#include <sys/stat.h>

#include <string>

#include "OutputFile.hpp"
#include "WatchedOutput.hpp"

class StagedOutput {
public:
    // Creates the temporary file (".huffcodec-" and six characters) in the
    // directory of path.
    explicit StagedOutput(const std::string& path);

    // False when the temporary file could not be created; openError() says
    // why.
    bool isOpen() { return staged.file().isOpen(); }
    int openError() const { return staged.openError(); }
    OutputFile& file() { return staged.file(); }

    // Once the file is written and closed: gives it the permission bits of
    // mode and, if given, the access and modification times of like, then
    // renames it to the path. Returns 0, or the errno of the failed rename
    // (the temporary file is then removed).
    int commit(mode_t mode, const struct stat* like);

private:
    std::string target;
    WatchedOutput staged;
};

#endif  // HUFFCODEC_CLI_STAGEDOUTPUT_HPP
