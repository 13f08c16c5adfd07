// SPDX-License-Identifier: MIT
//
// Reading a directory.
#include "DirectoryEntries.hpp"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct CloseDirectory {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

}  // namespace

std::vector<std::string> directoryEntries(const std::string& path, int& error) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, CloseDirectory> directory(::opendir(path.c_str()));
    error = directory ? 0 : errno;
    while (directory) {
        // readdir leaves errno alone at the end of the directory.
        errno = 0;
        const dirent* entry = ::readdir(directory.get());
        if (entry == nullptr) {
            error = errno;
            break;
        }
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}
