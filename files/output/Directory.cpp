// SPDX-License-Identifier: MIT
//
// Directories held by descriptor.
#include "output/Directory.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

Directory::Directory(int descriptor, int error) : fd(descriptor), openError(error) {
    // A file created in it takes its group from it where it has the
    // set-group-ID bit: asked once, not for every file.
    if (fd >= 0 && ::fstat(fd, &info) != 0) {
        info.st_mode = 0;
    }
}

Directory Directory::named(const std::string& path) {
    const int opened = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return Directory(opened, opened < 0 ? errno : 0);
}

Directory Directory::entry(const Directory& parent, const std::string& name) {
    const int opened = ::openat(parent.fd, name.c_str(),
                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    return Directory(opened, opened < 0 ? errno : 0);
}

Directory::~Directory() {
    if (fd >= 0) {
        ::close(fd);
    }
}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) {
            ::close(fd);
        }
        fd = std::exchange(other.fd, -1);
        openError = other.openError;
        info = other.info;
    }
    return *this;
}

gid_t Directory::newFileGroup() const {
    static const gid_t processGroup = ::getegid();
    return (info.st_mode & S_ISGID) != 0 ? info.st_gid : processGroup;
}

PathParts splitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}
