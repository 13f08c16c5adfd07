// SPDX-License-Identifier: MIT
//
// Unnamed temporary files.
#include "TemporaryFile.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

int openTemporaryFile() {
    const char* variable = ::getenv("TMPDIR");
    const std::string directory = variable != nullptr && variable[0] != '\0' ? variable : "/tmp";
    const int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    std::string pattern = directory + "/compress-XXXXXX";
    const int named = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (named >= 0) {
        ::unlink(pattern.c_str());
    }
    return named;
}

namespace {

// Keeps the errno of a failed open: what runs after it may change errno.
int openedOrError(int fd, int& error) {
    if (fd < 0) {
        error = errno;
    }
    return fd;
}

}  // namespace

TemporaryCopy::TemporaryCopy()
    : writer(openedOrError(openTemporaryFile(), openError)),
      // The same file, for reading it back once writer has closed it.
      reader(writer.isOpen()
                 ? openedOrError(::fcntl(writer.descriptor(), F_DUPFD_CLOEXEC, 0), openError)
                 : -1) {}
