// SPDX-License-Identifier: MIT
//
// A file opened for reading in large blocks, with read errors told apart from
// the end of the file (a stream library would report both as end of input).
#ifndef HUFFCODEC_FILES_INPUTFILE_HPP
#define HUFFCODEC_FILES_INPUTFILE_HPP

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Owns one read-only file descriptor.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    // Takes over descriptor, already open for reading (-1: not open). Its
    // data starts where the descriptor stands: a shell's standard input may
    // have been read part way. opened, if given: the descriptor was just
    // opened, stands at the start, and that is what fstat said of it.
    explicit InputFile(int descriptor, const struct stat* opened = nullptr);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False when the file could not be opened or is a directory.
    bool isOpen() const { return fd >= 0; }

    // Fills buffer with up to size bytes, retrying short reads so that a
    // result below size means the end of the file or an error. Returns the
    // number of bytes read, or -1 on a read error (a directory, an I/O
    // error). The bytes read before an error are returned first, and the
    // error from then on: what was read is never lost.
    long read(void* buffer, std::size_t size);

    // True once a read has failed.
    bool failed() const { return readError != 0; }
    // The errno of the failed read; 0 before one.
    int error() const { return readError; }

    // False for a pipe, a FIFO or a terminal, which rewind() cannot take back
    // to the start.
    bool canSeek() const;

    // The size of a regular file from where its data starts; -1 for
    // anything else, whose size is known only once it has been read.
    std::int64_t knownSize() const;

    // Back to where the data started; false if the file cannot seek (a pipe).
    bool rewind();

private:
    // Whether the descriptor is a regular file, asked once.
    bool regular() const;

    int fd;
    std::int64_t start = 0;  // the offset the data starts at
    int readError = 0;
    bool ended = false;            // a read found the end: the next ones need not ask
    mutable int regularFile = -1;  // unknown until asked
    std::int64_t openedSize = -1;  // of a regular file as it was opened, if told
};

#endif  // HUFFCODEC_FILES_INPUTFILE_HPP
