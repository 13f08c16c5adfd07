// SPDX-License-Identifier: MIT
//
// The ordered pipeline alone: however its jobs' finishing order falls,
// runInOrder takes chunk after chunk, each with its own job's result, on one
// to four threads, shared ones or the run's own; and a run that its fill or
// its take stops early returns with no job running and none left to start.
#include "parallel/Workers.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using huffcodec::Filled;

constexpr std::uint64_t kChunks = 24;

// What chunk k's job makes of it: another value for every chunk.
std::uint64_t resultOf(std::uint64_t k) {
    return k * 0x9E3779B97F4A7C15u + 1;
}

// How a run ends: fill(fillStop) returns fillEnd, take(takeStop) returns
// false; takes calls of take are made.
struct End {
    const char* name;
    std::uint64_t fillStop;
    Filled fillEnd;
    std::uint64_t takeStop;
    std::uint64_t takes;
};

// One run of the table: threads threads, shared ones or the run's own, let in
// by the fill of chunk threadsFrom; slotCount slots, filled ahead chunks
// beyond the next one taken.
struct Row {
    int threads;
    bool shared;
    std::size_t slotCount;
    std::size_t ahead;
    std::uint64_t threadsFrom;
    End end;
};

std::vector<Row> rows() {
    const End ends[] = {{"fill's last chunk", kChunks - 1, Filled::lastChunk, kChunks, kChunks},
                        {"input ends after a chunk", kChunks, Filled::none, kChunks, kChunks},
                        {"fill ends early", 9, Filled::none, kChunks, 9},
                        {"take stops early", kChunks, Filled::none, 7, 8}};
    std::vector<Row> table;
    for (int threads = 1; threads <= 4; ++threads) {
        for (const bool shared : {false, true}) {
            for (std::size_t slotCount = 1; slotCount <= 5; ++slotCount) {
                for (const std::size_t ahead : {std::size_t{1}, slotCount}) {
                    for (const std::uint64_t threadsFrom : {0, 3}) {
                        for (const End& end : ends) {
                            table.push_back({threads, shared, slotCount, ahead, threadsFrom, end});
                        }
                    }
                }
            }
        }
    }
    return table;
}

TEST(SlotQueue, TakesChunksInOrderWhateverOrderTheyFinishIn) {
    // Chunk k's job sleeps delays[k] microseconds; a quarter of them not at all.
    std::mt19937 random(91);
    std::vector<int> delays(kChunks);
    for (int& delay : delays) {
        delay = random() % 4 == 0 ? 0 : static_cast<int>(random() % 200);
    }
    huffcodec::WorkerThreads shared(3, false);
    int outOfOrderRuns = 0;  // runs whose jobs finished out of chunk order
    for (const Row& row : rows()) {
        SCOPED_TRACE(std::to_string(row.threads) + (row.shared ? " shared" : "") + " threads, " +
                     std::to_string(row.slotCount) + " slots, ahead " + std::to_string(row.ahead) +
                     ", threads from chunk " + std::to_string(row.threadsFrom) + ", " +
                     row.end.name);
        struct Slot {
            std::uint64_t chunk = 0, result = 0, finished = 0;
        };
        std::vector<Slot> slots(row.slotCount);
        std::atomic<int> running{0};
        std::atomic<std::uint64_t> started{0}, finished{0};
        huffcodec::SlotQueue pool(row.slotCount, [&](std::size_t s) {
            ++running;
            ++started;
            Slot& slot = slots[s];
            std::this_thread::sleep_for(std::chrono::microseconds(delays[slot.chunk]));
            slot.result = resultOf(slot.chunk);
            slot.finished = finished++;
            --running;
        });
        const huffcodec::Workers workers{row.threads, false, row.shared ? &shared : nullptr, 0};
        std::uint64_t filled = 0, lastFinished = 0;
        bool outOfOrder = false;
        std::vector<std::uint64_t> taken;  // the results taken, 0 for another chunk's
        huffcodec::runInOrder(
            pool, row.slotCount,
            [&](std::uint64_t k) {
                if (k == row.threadsFrom) {
                    pool.allowThreads(workers);
                }
                if (k == row.end.fillStop && row.end.fillEnd == Filled::none) {
                    return Filled::none;
                }
                slots[k % row.slotCount].chunk = k;
                pool.submit(k % row.slotCount);
                ++filled;
                return k == row.end.fillStop ? row.end.fillEnd : Filled::chunk;
            },
            [&] { return row.ahead; },
            [&](std::uint64_t k) {
                const Slot& slot = slots[k % row.slotCount];
                taken.push_back(slot.chunk == k ? slot.result : 0);
                outOfOrder = outOfOrder || slot.finished < lastFinished;
                lastFinished = slot.finished;
                return k != row.end.takeStop;
            });
        const std::uint64_t startedAtReturn = started;
        EXPECT_EQ(running, 0);
        EXPECT_EQ(finished, startedAtReturn);
        EXPECT_GE(startedAtReturn, row.end.takes);
        EXPECT_LE(startedAtReturn, filled);
        std::vector<std::uint64_t> expected;
        for (std::uint64_t k = 0; k < row.end.takes; ++k) {
            expected.push_back(resultOf(k));
        }
        EXPECT_EQ(taken, expected);
        // A dropped job that a thread could still take would start meanwhile.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(started, startedAtReturn);
        outOfOrderRuns += outOfOrder ? 1 : 0;
    }
    // Else no run of the table had its jobs finish out of order.
    EXPECT_GT(outOfOrderRuns, 0);
}

}  // namespace
