// SPDX-License-Identifier: MIT
//
// A file opened for writing (created or truncated) that takes pieces of any
// size and reports every failed write, including one that shows only at
// close. A regular file gets its bytes in whole pages at page-aligned offsets
// (see OutputFile.cpp), large pieces straight from the caller's buffer; what
// is held back is written by close or the destructor.
#ifndef HUFFCODEC_FILES_OUTPUTFILE_HPP
#define HUFFCODEC_FILES_OUTPUTFILE_HPP

#include <sys/stat.h>

#include <cstddef>
#include <memory>
#include <string>

// Owns one write-only file descriptor.
class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    // Takes over descriptor, already open for writing (-1: not open).
    explicit OutputFile(int descriptor);
    // The same, where fstat has already said what descriptor is.
    OutputFile(int descriptor, const struct stat& info);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool isOpen() const { return fd >= 0; }
    int descriptor() const { return fd; }

    // True when path names an existing file that is input (same device and
    // inode, links followed), however spelt: opening path for writing would
    // truncate input before it is read.
    static bool wouldOverwrite(const std::string& path, const std::string& input);

    // Writes all of data, retrying short writes and interrupted calls; false
    // on an error, including a write that takes nothing. The bytes may be
    // held back until a later write or close.
    bool write(const void* data, std::size_t size);

    // Writes what is held back, so that the file holds every byte given;
    // false on an error. The file stays open.
    bool flush();

    // Writes what is held back, then closes the file; false if either
    // reports an error.
    bool close();

    // The errno of the first failed write or close; 0 before one.
    int error() const { return writeError; }

private:
    struct Release {
        void operator()(char* block) const;
    };

    void stageIfRegular();
    void stage(bool regular);
    bool writeThrough(const char* bytes, std::size_t size);
    // Writes the staged bytes, then size bytes of bytes, in as few calls as
    // the kernel takes them; the stage is empty after it.
    bool writeStagedAnd(const char* bytes, std::size_t size);
    // Records error unless an earlier one is recorded; returns false.
    bool fail(int error);

    int fd;
    std::unique_ptr<char[], Release> held;  // bytes held back; none for a device or a pipe
    std::size_t staged = 0;
    int writeError = 0;
};

#endif  // HUFFCODEC_FILES_OUTPUTFILE_HPP
