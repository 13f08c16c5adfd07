// SPDX-License-Identifier: MIT
//
// A file opened for writing (created or truncated) that takes whole blocks
// and reports every failed write, including one that shows only at close.
#ifndef HUFFCODEC_CLI_OUTPUTFILE_HPP
#define HUFFCODEC_CLI_OUTPUTFILE_HPP

#include <cstddef>
#include <string>

// Owns one write-only file descriptor.
class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    // Takes over descriptor, already open for writing (-1: not open).
    explicit OutputFile(int descriptor) : fd(descriptor) {}
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
    // on an error, including a write that takes nothing.
    bool write(const void* data, std::size_t size);

    // Closes the file; false if the close reports an error.
    bool close();

private:
    int fd;
};

#endif  // HUFFCODEC_CLI_OUTPUTFILE_HPP
