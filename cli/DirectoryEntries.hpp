// SPDX-License-Identifier: MIT
//
// The names in a directory, for huffcodec -r.
#ifndef HUFFCODEC_CLI_DIRECTORYENTRIES_HPP
#define HUFFCODEC_CLI_DIRECTORYENTRIES_HPP

#include <string>
#include <vector>

// The names in the directory at path, "." and ".." left out, in byte order so
// that a run takes the files in the same order every time. error receives
// the errno of a failed open or read, else 0.
std::vector<std::string> directoryEntries(const std::string& path, int& error);

#endif  // HUFFCODEC_CLI_DIRECTORYENTRIES_HPP
