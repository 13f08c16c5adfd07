// SPDX-License-Identifier: MIT
//
// A directory held open by descriptor. The huffcodec command opens, creates,
// renames and removes the files in it relative to that descriptor, never by
// a path from the top: the commands may run as root over directories that
// other users own, and a user who renames a directory or puts a symbolic link
// in its place while the command works must not redirect any of that to a
// file the caller did not name.
#ifndef HUFFCODEC_FILES_DIRECTORY_HPP
#define HUFFCODEC_FILES_DIRECTORY_HPP

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <utility>

class Directory {
public:
    // The directory path names, symbolic links followed (the caller named
    // it), held for naming the files in it: enough to open, create, rename
    // and remove them, without permission to list it.
    static Directory named(const std::string& path);
    // The directory name in parent, opened for listing; a symbolic link is
    // refused (ENOTDIR or ELOOP), as is anything but a directory.
    static Directory entry(const Directory& parent, const std::string& name);
    // Takes over descriptor, a directory open for listing.
    static Directory adopt(int descriptor) { return Directory(descriptor, 0); }

    Directory() = default;
    ~Directory();
    Directory(Directory&& other) noexcept
        : fd(std::exchange(other.fd, -1)), openError(other.openError), info(other.info) {}
    Directory& operator=(Directory&& other) noexcept;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    bool isOpen() const { return fd >= 0; }
    int descriptor() const { return fd; }
    // The errno of a failed open.
    int error() const { return openError; }
    // The group a file created in it gets: the directory's own where it has
    // the set-group-ID bit, else the process's.
    gid_t newFileGroup() const;

private:
    Directory(int descriptor, int error);

    int fd = -1;
    int openError = 0;
    struct stat info {};
};

// A path cut into the directory that holds its last part and that part:
// "d/e/f" into "d/e" and "f", "f" into "." and "f", "/f" into "/" and "f".
// A path that ends in a slash names a directory: its last part is empty.
struct PathParts {
    std::string directory;
    std::string name;
};
PathParts splitPath(const std::string& path);

#endif  // HUFFCODEC_FILES_DIRECTORY_HPP
