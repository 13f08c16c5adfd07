// SPDX-License-Identifier: MIT
//
// Unnamed temporary files.
#include "TemporaryFile.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

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
