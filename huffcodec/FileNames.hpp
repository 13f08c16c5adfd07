// SPDX-License-Identifier: MIT
//
// The names huffcodec gives its outputs: FILE.huf for FILE, and FILE again
// for FILE.huf.
#ifndef HUFFCODEC_COMMAND_FILENAMES_HPP
#define HUFFCODEC_COMMAND_FILENAMES_HPP

#include <string>

inline constexpr char kCompressedSuffix[] = ".huf";

// True when the file name (after the last slash) ends in ".huf" after at
// least one other character.
bool hasCompressedSuffix(const std::string& path);

std::string compressedName(const std::string& path);
// path without its ".huf"; path must have the suffix.
std::string restoredName(const std::string& path);

#endif  // HUFFCODEC_COMMAND_FILENAMES_HPP
