#include <gtest/gtest.h>

#include "platform/emulated/clock.h"
#include "platform/platform.h"

namespace {

TEST(EmulatedClock, ReadingTheClockMovesItAcrossTheWrap) {
    emu::setClock(0xFFFFFFFEu);
    EXPECT_EQ(platform::timeGetTime(), 0xFFFFFFFEu);
    EXPECT_EQ(platform::timeGetTime(), 0xFFFFFFFFu);
    EXPECT_EQ(platform::timeGetTime(), 0u);
    EXPECT_EQ(emu::elapsedMs(), 3u);
}

TEST(EmulatedClock, ScheduledWorkRunsInTimeOrderAsTheClockAdvances) {
    std::vector<int> order;
    emu::schedule(30, [&] { order.push_back(30); });
    emu::schedule(10, [&] { order.push_back(10); });
    emu::schedule(10, [&] { order.push_back(11); });
    emu::advanceClock(20);
    EXPECT_EQ(order, (std::vector<int>{10, 11}));
    EXPECT_EQ(emu::nextScheduledInMs(), 10);
    emu::advanceClock(10);
    EXPECT_EQ(order, (std::vector<int>{10, 11, 30}));
    EXPECT_EQ(emu::nextScheduledInMs(), -1);
}

}  // namespace
