// Sharing work among threads: each share runs once, on a thread of its own,
// and an error in any share comes back to the caller.
#include "Threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace plotrun::test {
namespace {

// A share whose thread cannot be started runs on the caller; a test cannot
// make the system refuse a thread, so only the common way is checked here.
TEST(Threads, EveryShareOfWorkRunsOnceEachOnItsOwnThread)
{
    for (const int shares : {1, 2, 5}) {
        std::vector<std::thread::id> ran(static_cast<size_t>(shares));
        std::vector<int> runs(static_cast<size_t>(shares));
        runShares(shares, [&](int t) {
            ran[static_cast<size_t>(t)] = std::this_thread::get_id();
            ++runs[static_cast<size_t>(t)];
        });
        EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), shares);
        EXPECT_EQ(ran[0], std::this_thread::get_id());
        std::sort(ran.begin(), ran.end());
        EXPECT_EQ(std::unique(ran.begin(), ran.end()) - ran.begin(), shares);
    }
    // A share that throws on another thread: every share still runs, and the
    // first share's error comes back to the caller.
    std::atomic<int> runs = 0;
    EXPECT_THROW(runShares(3,
                           [&](int t) {
                               ++runs;
                               if (t > 0)
                                   throw std::runtime_error("share " + std::to_string(t));
                           }),
                 std::runtime_error);
    EXPECT_EQ(runs, 3);
}

} // namespace
} // namespace plotrun::test
