// SPDX-License-Identifier: MIT
//
// ThreadPool: one set of worker threads shared by calls on several threads.
#include "huffcodec/huffcodec.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.hpp"

namespace {

using namespace testing_support;
using huffcodec::Status;

// Calls on several threads share one pool: each gets what it gets alone,
// also while another thread sets the pool up again and again. A pool is
// checked like the other options.
TEST(Pool, CallsShareOnePool) {
    huffcodec::ThreadPool pool;
    EXPECT_EQ(pool.workers(), 0);
    EXPECT_EQ(pool.create(-1), Status::invalidArgument);
    ASSERT_EQ(pool.create(2, true), Status::ok);
    EXPECT_EQ(pool.workers(), 2);
    std::vector<std::string> inputs;
    for (int k = 0; k < 3; ++k) {
        inputs.push_back(randomBytes(20 + k, 40000 + 1000 * k, 5 + 100 * k));
    }
    std::vector<std::thread> callers;
    std::vector<int> mismatches(inputs.size(), 0);
    std::atomic<std::size_t> finished{0};
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        callers.emplace_back([&, k] {
            const std::string& data = inputs[k];
            huffcodec::Tuning tuning;
            tuning.decodeChunkBytes = 256;
            tuning.encodeChunkBytes = 256;
            huffcodec::Options options = optionsWith(3, &tuning);
            options.pool = &pool;
            for (int round = 0; round < 5; ++round) {
                std::string file(huffcodec::compressBound(data.size()), '\0');
                const auto packed = huffcodec::compress(data.data(), data.size(), file.data(),
                                                        file.size(), options);
                file.resize(packed.bytesProduced);
                std::string restored(data.size(), '\0');
                const auto unpacked = huffcodec::decompress(
                    file.data(), file.size(), restored.data(), restored.size(), options);
                mismatches[k] += packed.status != Status::ok || unpacked.status != Status::ok ||
                                 file != compressReference(data) || restored != data;
            }
            ++finished;
        });
    }
    for (int workers = 0; finished < inputs.size(); workers = (workers + 1) % 4) {
        EXPECT_EQ(pool.create(workers), Status::ok);
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(inputs.size(), 0));
}

}  // namespace
