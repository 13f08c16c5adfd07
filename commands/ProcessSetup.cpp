// SPDX-License-Identifier: MIT
//
// Standard descriptors, write signals and the last resort when memory runs out.
#include "ProcessSetup.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

void (*cleanUpOnTerminate)() = nullptr;
LastResort lastResort;
bool closedAtStart[3] = {false, false, false};

[[noreturn]] void onTerminate() {
    if (std::current_exception() != nullptr) {
        std::abort();
    }
    if (cleanUpOnTerminate != nullptr) {
        cleanUpOnTerminate();
    }
    // Nothing here needs memory: no stream, one write.
    const ssize_t ignored = ::write(2, lastResort.line, std::strlen(lastResort.line));
    static_cast<void>(ignored);
    ::_exit(lastResort.status);
}

}  // namespace

bool prepareProcess(void (*cleanUp)(), LastResort outOfMemory) {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        closedAtStart[fd] = true;
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
    lastResort = outOfMemory;
    std::set_terminate(onTerminate);
    return true;
}

bool wasClosedAtStart(int fd) {
    return fd >= 0 && fd <= 2 && closedAtStart[fd];
}
