// The log's times: one per line, in the order logged, kept and dropped with
// their lines.
#include "platform/os/log_times.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/os/log.h"

TEST(LogTimes, EachLineKeepsItsTimeInOrderAndTheOldestGoWithTheirLines) {
    plat::ClearLog();
    plat::Log("t", "first");
    plat::LogWarning("t", "second");
    auto timed = plat::TimedLogLines();
    ASSERT_EQ(timed.size(), 2u);
    EXPECT_EQ(timed[0].text, "t: first");
    EXPECT_EQ(timed[1].text, "warning: t: second");
    EXPECT_GT(timed[0].seconds, 0.0);
    EXPECT_LE(timed[0].seconds, timed[1].seconds);

    // Past the 1000 kept lines, line and time leave together.
    for (int i = 0; i < 1005; ++i) plat::Log("t", "line %d", i);
    timed = plat::TimedLogLines();
    const auto lines = plat::LogLines();
    ASSERT_EQ(timed.size(), lines.size());
    EXPECT_EQ(timed.front().text, lines.front());
    EXPECT_EQ(timed.back().text, "t: line 1004");
    for (size_t i = 1; i < timed.size(); ++i) ASSERT_LE(timed[i - 1].seconds, timed[i].seconds) << i;

    plat::ClearLog();
    EXPECT_TRUE(plat::TimedLogLines().empty());
}
