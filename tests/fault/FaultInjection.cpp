// Preloaded into a command (LD_PRELOAD), makes one read, write or close of one
// file fail or come up short, so that a test can strike every call in turn:
//   FAULT_OP=read|write|close  which call
//   FAULT_AT=N                 the Nth such call on the file, from 1
//   FAULT_KIND=eio|short|eintr fail with EIO, move half the bytes (at least
//                              one), or fail with EINTR having done nothing;
//                              a struck close releases the descriptor first,
//                              as Linux does
//   FAULT_PATH=file            the file, matched by device and inode; unset,
//                              every descriptor above 2
//   FAULT_REPORT=file          created once the fault has struck
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

enum class Op { none, read, write, close };
enum class Kind { eio, shortCount, eintr };

Op op = Op::none;
long at = 0;
Kind kind = Kind::eio;
const char* path = nullptr;
const char* report = nullptr;
long calls = 0;

bool is(const char* value, const char* text) {
    return value != nullptr && std::strcmp(value, text) == 0;
}

__attribute__((constructor)) void configure() {
    const char* opName = std::getenv("FAULT_OP");
    op = is(opName, "read")    ? Op::read
         : is(opName, "write") ? Op::write
         : is(opName, "close") ? Op::close
                               : Op::none;
    const char* atText = std::getenv("FAULT_AT");
    at = atText != nullptr ? std::atol(atText) : 0;
    const char* kindName = std::getenv("FAULT_KIND");
    kind = is(kindName, "short")   ? Kind::shortCount
           : is(kindName, "eintr") ? Kind::eintr
                                   : Kind::eio;
    path = std::getenv("FAULT_PATH");
    report = std::getenv("FAULT_REPORT");
}

template <class Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// True when this call is the one to strike.
bool strikes(Op callOp, int fd) {
    if (callOp != op || fd <= 2) {
        return false;
    }
    struct stat file {};
    struct stat target {};
    if (path != nullptr && (fstat(fd, &file) != 0 || stat(path, &target) != 0 ||
                            file.st_dev != target.st_dev || file.st_ino != target.st_ino)) {
        return false;
    }
    if (++calls != at) {
        return false;
    }
    if (report != nullptr) {
        static const auto realClose = next<int (*)(int)>("close");
        const int marker = open(report, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (marker >= 0) {
            realClose(marker);
        }
    }
    return true;
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
    static const auto real = next<ssize_t (*)(int, void*, size_t)>("read");
    const bool struck = strikes(Op::read, fd);
    if (struck && kind != Kind::shortCount) {
        errno = kind == Kind::eio ? EIO : EINTR;
        return -1;
    }
    return real(fd, buffer, struck ? (size + 1) / 2 : size);
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    const bool struck = strikes(Op::write, fd);
    if (struck && kind != Kind::shortCount) {
        errno = kind == Kind::eio ? EIO : EINTR;
        return -1;
    }
    return real(fd, data, struck ? (size + 1) / 2 : size);
}

extern "C" int close(int fd) {
    static const auto real = next<int (*)(int)>("close");
    const bool struck = strikes(Op::close, fd);
    const int result = real(fd);
    if (struck && kind != Kind::shortCount) {
        errno = kind == Kind::eio ? EIO : EINTR;
        return -1;
    }
    return result;
}
