// The ordered pool: items run side by side, are consumed strictly in order,
// never start more than `ahead` places past the one awaited, and stop
// starting once a consumer refuses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "OrderedPool.h"

namespace {

struct PoolRun {
    std::vector<size_t> consumed;
    std::vector<size_t> started;
    size_t furthestAhead = 0;
    bool complete = false;
};

// Items take uneven times so that later ones often finish first.
PoolRun RunItems(size_t count, unsigned threads, size_t ahead, size_t refuseAt = SIZE_MAX) {
    PoolRun run;
    std::mutex lock;
    std::atomic<size_t> awaited{0};
    run.complete = RunInOrder(
        count, threads, ahead,
        [&](size_t i) {
            {
                std::lock_guard<std::mutex> held(lock);
                run.started.push_back(i);
                run.furthestAhead = std::max(run.furthestAhead, i - awaited.load());
            }
            std::this_thread::sleep_for(std::chrono::microseconds((i * 7919) % 5 * 300));
        },
        [&](size_t i) {
            run.consumed.push_back(i);
            awaited = i + 1;
            return i != refuseAt;
        },
        {}, 1);
    return run;
}

} // namespace

TEST(OrderedPool, ConsumesInOrderAndStaysWithinReach) {
    struct Case {
        size_t count;
        unsigned threads;
        size_t ahead;
    };
    for (const Case& c : {Case{0, 4, 4}, Case{1, 4, 4}, Case{40, 1, 1}, Case{40, 3, 1},
                          Case{40, 3, 12}, Case{40, 8, 2}, Case{5, 16, 64}}) {
        const PoolRun run = RunItems(c.count, c.threads, c.ahead);
        EXPECT_TRUE(run.complete);
        std::vector<size_t> all(c.count);
        for (size_t i = 0; i < c.count; ++i) all[i] = i;
        EXPECT_EQ(run.consumed, all) << c.count << " items, " << c.threads << " threads";
        EXPECT_EQ(run.started.size(), c.count);
        EXPECT_LT(run.furthestAhead, std::max<size_t>(c.ahead, 1)) << c.threads << " threads";
    }
}

TEST(OrderedPool, RefusalStopsFurtherStarts) {
    for (unsigned threads : {1u, 4u}) {
        const PoolRun run = RunItems(100, threads, 4, 10);
        EXPECT_FALSE(run.complete);
        ASSERT_FALSE(run.consumed.empty());
        EXPECT_EQ(run.consumed.back(), 10u);
        EXPECT_EQ(run.consumed.size(), 11u);
        // Nothing beyond the reach of the refused item was started.
        for (size_t i : run.started) EXPECT_LT(i, 10u + 4u) << threads << " threads";
    }
}
