// SPDX-License-Identifier: MIT
//
// An unnamed temporary file: the copy compress keeps of an input that cannot
// seek, written while the input is counted and read back to encode it.
#ifndef HUFFCODEC_FILES_TEMPORARYFILE_HPP
#define HUFFCODEC_FILES_TEMPORARYFILE_HPP

#include "InputFile.hpp"
#include "output/OutputFile.hpp"

// Opens a temporary file for reading and writing in $TMPDIR, or /tmp when
// that is unset or empty: with O_TMPFILE, so that it never has a name, or,
// where the file system lacks that, created and unlinked at once. It goes
// away with its last descriptor, however the process ends. Returns the
// descriptor, or -1.
int openTemporaryFile();

// One temporary file, open twice: written through writer, then read back
// from the start through reader once writer is closed.
struct TemporaryCopy {
    TemporaryCopy();

    // False when the file could not be opened; error() tells why.
    bool isOpen() const { return writer.isOpen() && reader.isOpen(); }
    // The errno of a failed open.
    int error() const { return openError; }

private:
    // Declared first: the two files set it as they open.
    int openError = 0;

public:
    OutputFile writer;
    InputFile reader;
};

#endif  // HUFFCODEC_FILES_TEMPORARYFILE_HPP
