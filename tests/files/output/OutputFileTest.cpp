// SPDX-License-Identifier: MIT
//
// The output file's pages, held back or written straight from the caller's
// pieces: whatever the sizes of the writes, the file holds the bytes in
// order, and a failure to write what was held back shows at close.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "output/OutputFile.hpp"

namespace {

using namespace testing_support;

TEST(OutputFile, HoldsTheBytesInOrderWhateverTheWriteSizes) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    const std::string data = randomBytes(5, 5 * kMiB + 123);
    std::mt19937 random(7);
    std::vector<std::size_t> small;
    for (std::size_t total = 0; total < data.size(); total += small.back()) {
        small.push_back(1 + random() % 300000);
    }
    // Pieces below, at and around a page and the 64 KiB held back at most,
    // across their boundaries, large ones, and all at once.
    constexpr std::size_t kPage = 4096;
    constexpr std::size_t kHeld = 64 << 10;
    const std::vector<std::vector<std::size_t>> splits = {
        small,
        {kPage - 1, 1, kPage, kPage + 1, kHeld - 1, 1, kHeld, kHeld + 1, 3, kHeld - 3, 7},
        {kMiB - 1, 1, kMiB, kMiB + 1, 3},
        {100, 3 * kMiB + 5},
        {data.size()}};
    TempDir dir;
    for (const auto& sizes : splits) {
        const std::string path = dir.path("out");
        {
            OutputFile output(path);
            ASSERT_TRUE(output.isOpen());
            std::size_t at = 0;
            for (const std::size_t size : sizes) {
                const std::size_t n = std::min(size, data.size() - at);
                ASSERT_TRUE(output.write(data.data() + at, n));
                at += n;
            }
            ASSERT_TRUE(output.write(data.data() + at, data.size() - at));
            ASSERT_TRUE(output.close());
        }
        EXPECT_TRUE(readFile(path) == data);
    }
}

// A small piece is held back and fails at close; a large one fails at once.
// Either way the file takes what the limit lets through.
TEST(OutputFile, CloseReportsBytesHeldBackThatCannotBeWritten) {
    for (const std::size_t size : {std::size_t{5000}, std::size_t{200000}}) {
        SCOPED_TRACE(size);
        TempDir dir;
        rlimit saved{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = 1000;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        OutputFile output(dir.path("out"));
        const std::string bytes(size, 'x');
        const bool wrote = output.write(bytes.data(), bytes.size());
        const bool closed = output.close();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(wrote, size < 64 << 10);  // held back, or written at once
        EXPECT_EQ(closed, !wrote);
        EXPECT_EQ(output.error(), EFBIG);
        EXPECT_EQ(readFile(dir.path("out")).size(), 1000u);
    }
}

}  // namespace
