// SPDX-License-Identifier: MIT
//
// A file opened for writing (created or truncated) that takes whole blocks
// and reports every failed write, including one that shows only at close.
// Writes to a regular file reach it in aligned blocks of 1 MiB (see
// OutputFile.cpp), from a thread of its own if asked; what is held back is
// written by close or the destructor.
#ifndef HUFFCODEC_CLI_OUTPUTFILE_HPP
#define HUFFCODEC_CLI_OUTPUTFILE_HPP

#include <cstddef>
#include <memory>
#include <string>

// Owns one write-only file descriptor.
class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    // Takes over descriptor, already open for writing (-1: not open).
    explicit OutputFile(int descriptor);
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

    // From here on, a thread of the file's own writes the blocks while the
    // caller goes on; a failed write shows at a later write or at close. Only
    // for a regular file; if no thread can start, writes stay on the caller.
    void writeInBackground();

    // Writes what is held back, then closes the file; false if either
    // reports an error.
    bool close();

private:
    class BackgroundWriter;

    void stageIfRegular();
    bool writeThrough(const char* bytes, std::size_t size);
    bool flush();

    int fd;
    std::unique_ptr<char[]> stage;  // bytes held back; none for a device or a pipe
    std::size_t staged = 0;
    std::unique_ptr<BackgroundWriter> background;
};

#endif  // HUFFCODEC_CLI_OUTPUTFILE_HPP
