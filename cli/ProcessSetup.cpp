// SPDX-License-Identifier: MIT
//
// Standard descriptors, write signals and the last resort when memory runs out.
#include "ProcessSetup.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <exception>

namespace {

void (*cleanUpOnTerminate)() = nullptr;

[[noreturn]] void onTerminate() {
    if (std::current_exception() != nullptr) {
        std::abort();
    }
    if (cleanUpOnTerminate != nullptr) {
        cleanUpOnTerminate();
    }
    // Nothing here needs memory: no stream, one write.
    static const char kLine[] = "  Problem: out of memory.\n";
    const ssize_t ignored = ::write(2, kLine, sizeof kLine - 1);
    static_cast<void>(ignored);
    ::_exit(255);
}

}  // namespace

bool prepareProcess(void (*cleanUp)()) {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // The lower descriptors are open by now, so open takes exactly fd.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            if (opened >= 0) {
                ::close(opened);
            }
            return false;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    cleanUpOnTerminate = cleanUp;
    std::set_terminate(onTerminate);
    return true;
}
