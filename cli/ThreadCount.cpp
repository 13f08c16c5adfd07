// SPDX-License-Identifier: MIT
//
// The HUFFCODEC_THREADS setting.
#include "ThreadCount.hpp"

#include <cstdlib>
#include <iostream>
#include <string>

#include "huffcodec/huffcodec.hpp"

namespace {

constexpr int kMaxThreads = 1024;

// The value as a thread count, or 0 if it is not a whole number from 1 to
// kMaxThreads (digits only).
int parseThreadCount(const std::string& text) {
    if (text.empty() || text.size() > 4) {
        return 0;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = 10 * value + (c - '0');
    }
    return value >= 1 && value <= kMaxThreads ? value : 0;
}

}  // namespace

int threadCountFromEnvironment() {
    const int available = huffcodec::availableProcessors();
    const char* setting = std::getenv("HUFFCODEC_THREADS");
    if (setting == nullptr) {
        return available;
    }
    const int count = parseThreadCount(setting);
    if (count == 0) {
        std::cerr << "warning: HUFFCODEC_THREADS=\"" << setting
                  << "\" is not a thread count; using " << available << std::endl;
        return available;
    }
    return count;
}
