// SPDX-License-Identifier: MIT
//
// The entries of a directory, for huffcodec -r.
#ifndef HUFFCODEC_COMMAND_DIRECTORYENTRIES_HPP
#define HUFFCODEC_COMMAND_DIRECTORYENTRIES_HPP

#include <string>
#include <vector>

#include "output/Directory.hpp"

struct DirectoryEntry {
    enum class Kind { file, directory, other };
    std::string name;
    Kind kind;  // as the entry is, a symbolic link not followed (other)
};

// The entries of directory, opened for listing, "." and ".." left out, in
// byte order of their names so that a run takes the files in the same order
// every time. error receives the errno of a failed read, else 0.
std::vector<DirectoryEntry> directoryEntries(const Directory& directory, int& error);

#endif  // HUFFCODEC_COMMAND_DIRECTORYENTRIES_HPP
