// SPDX-License-Identifier: MIT
//
// The HUFFCODEC_THREADS setting.
#include "ThreadCount.hpp"

#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <string>

#include "huffcodec/huffcodec.hpp"

namespace {

// The commands take counts up to 1024, as they always have; the library runs
// a count above its limit, huffcodec::kMaxThreads, as that limit, which is
// the one that holds (the manual pages say so).
constexpr int kMostThreadsAccepted = 1024;
static_assert(kMostThreadsAccepted >= huffcodec::kMaxThreads);
constexpr std::size_t kMaxDigits = 4;  // of kMostThreadsAccepted
// Of a value that is not a thread count, the bytes the warning shows.
constexpr std::size_t kShownBytes = 40;

// The value as the warning quotes it, so that it stays one line of plain
// text: its first kShownBytes bytes, each byte outside printable ASCII and
// the quote and backslash as \xNN, then "..." if there is more.
std::string shownValue(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    for (const char c : text.substr(0, kShownBytes)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '"' && c != '\\') {
            shown += c;
        } else {
            shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
        }
    }
    if (text.size() > kShownBytes) {
        shown += "...";
    }
    return shown;
}

}  // namespace

int parseThreadCount(const std::string& text) {
    if (text.empty()) {
        return -1;
    }
    const std::size_t first = text.find_first_not_of('0');
    if (first == std::string::npos) {
        return 0;
    }
    if (text.size() - first > kMaxDigits) {
        return -1;
    }
    int value = 0;
    for (std::size_t i = first; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = 10 * value + (text[i] - '0');
    }
    return value <= kMostThreadsAccepted ? value : -1;
}

int threadCountFromEnvironment() {
    const int available = huffcodec::availableProcessors();
    const char* setting = std::getenv("HUFFCODEC_THREADS");
    if (setting == nullptr) {
        return available;
    }
    const int count = parseThreadCount(setting);
    if (count == 0) {
        return available;
    }
    if (count < 0) {
        std::cerr << "warning: HUFFCODEC_THREADS=\"" << shownValue(setting)
                  << "\" is not a thread count; using " << available << std::endl;
        return available;
    }
    return count;
}
