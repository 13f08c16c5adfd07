// SPDX-License-Identifier: MIT
//
// The progress line.
#include "Progress.hpp"

#include <cstdio>

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kInterval = std::chrono::milliseconds(250);
constexpr double kMiB = 1024.0 * 1024.0;

}  // namespace

void Progress::start(const std::string& name) {
    fileName = name;
    stageName = "";
    fileStart = stageStart = Clock::now();
}

void Progress::stage(const char* what) {
    stageName = what;
    stageStart = Clock::now();
}

void Progress::update(std::uint64_t bytes) {
    if (!shown) {
        return;
    }
    const Clock::time_point now = Clock::now();
    if (now - fileStart < kQuietStart || (written && now - lastWritten < kInterval)) {
        return;
    }
    const double seconds = std::chrono::duration<double>(now - stageStart).count();
    const double mib = static_cast<double>(bytes) / kMiB;
    // \r back to the start of the line, ESC [ K erases what a longer line
    // left.
    std::fprintf(stderr, "\rhuffcodec: %s: %s %.1f MiB, %.1f MiB/s\x1b[K", fileName.c_str(),
                 stageName, mib, seconds > 0 ? mib / seconds : 0.0);
    std::fflush(stderr);
    written = true;
    lastWritten = now;
}

void Progress::clear() {
    if (written) {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
        written = false;
    }
}
