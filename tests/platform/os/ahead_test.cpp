// The start-up worker: order, results, failures, and a second round after
// it has ended.
#include "platform/os/ahead.h"

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(Ahead, JobsRunInTheirOrderOffTheCallersThreadAndFinishWaitsForAll) {
    std::mutex m;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    for (int round = 0; round < 2; ++round) {
        // The second round comes after the worker ended: a new one runs it.
        for (int i = 0; i < 20; ++i) {
            plat::RunAhead([&, i, round] {
                // A slow first job, so the rest queue up behind it.
                if (i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                std::lock_guard<std::mutex> lock(m);
                order.push_back(round * 100 + i);
                threads.push_back(std::this_thread::get_id());
            });
        }
        plat::FinishAhead();
        std::lock_guard<std::mutex> lock(m);
        ASSERT_EQ(order.size(), 20u * (round + 1));
    }
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], (i / 20) * 100 + i % 20) << i;
    for (std::thread::id id : threads) EXPECT_NE(id, std::this_thread::get_id());
    plat::FinishAhead();  // nothing queued: returns at once
}

TEST(Ahead, AResultOrWhatTheJobThrewReachesItsFuture) {
    std::future<int> answer = plat::RunAheadFor<int>([] { return 42; });
    std::future<int> failure = plat::RunAheadFor<int>([]() -> int { throw std::runtime_error("no pixels"); });
    std::future<int> after = plat::RunAheadFor<int>([] { return 7; });
    EXPECT_EQ(answer.get(), 42);
    try {
        failure.get();
        ADD_FAILURE() << "the job's exception was lost";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "no pixels");
    }
    // The worker went on after the job that threw.
    EXPECT_EQ(after.get(), 7);
    plat::FinishAhead();
}

}  // namespace
