// Block reads over a POSIX file descriptor.
#include "InputFile.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

InputFile::InputFile(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

InputFile::~InputFile() {
    if (fd >= 0) {
        ::close(fd);
    }
}

long InputFile::read(void* buffer, std::size_t size) {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = ::read(fd, bytes + filled, size - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    return static_cast<long>(filled);
}

bool InputFile::rewind() {
    return ::lseek(fd, 0, SEEK_SET) == 0;
}
