// SPDX-License-Identifier: MIT
//
// Output names.
#include "FileNames.hpp"

namespace {

constexpr std::size_t kSuffixSize = sizeof kCompressedSuffix - 1;

}  // namespace

bool hasCompressedSuffix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameSize = slash == std::string::npos ? path.size() : path.size() - slash - 1;
    return nameSize > kSuffixSize &&
           path.compare(path.size() - kSuffixSize, kSuffixSize, kCompressedSuffix) == 0;
}

std::string compressedName(const std::string& path) {
    return path + kCompressedSuffix;
}

std::string restoredName(const std::string& path) {
    return path.substr(0, path.size() - kSuffixSize);
}
