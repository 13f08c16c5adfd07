// SPDX-License-Identifier: MIT
//
// Reading a directory.
#include "DirectoryEntries.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct CloseDirectory {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

// What an entry is without following it: from the listing where the file
// system tells, else asked of the entry itself.
DirectoryEntry::Kind kindOf(const Directory& directory, const dirent& entry) {
    using Kind = DirectoryEntry::Kind;
    switch (entry.d_type) {
        case DT_REG:
            return Kind::file;
        case DT_DIR:
            return Kind::directory;
        case DT_UNKNOWN:
            break;
        default:
            return Kind::other;
    }
    struct stat info {};
    if (::fstatat(directory.descriptor(), entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return Kind::other;
    }
    return S_ISREG(info.st_mode)   ? Kind::file
           : S_ISDIR(info.st_mode) ? Kind::directory
                                   : Kind::other;
}

}  // namespace

std::vector<DirectoryEntry> directoryEntries(const Directory& directory, int& error) {
    std::vector<DirectoryEntry> entries;
    // A descriptor of the listing's own, which closedir closes.
    const int listed = ::fcntl(directory.descriptor(), F_DUPFD_CLOEXEC, 0);
    const std::unique_ptr<DIR, CloseDirectory> stream(listed >= 0 ? ::fdopendir(listed) : nullptr);
    error = stream ? 0 : errno;
    if (!stream && listed >= 0) {
        ::close(listed);
    }
    while (stream) {
        // readdir leaves errno alone at the end of the directory.
        errno = 0;
        const dirent* entry = ::readdir(stream.get());
        if (entry == nullptr) {
            error = errno;
            break;
        }
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            entries.push_back({entry->d_name, kindOf(directory, *entry)});
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return entries;
}
