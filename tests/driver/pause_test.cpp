#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "driver/program.h"
#include "platform/emulated/clock.h"
#include "platform/emulated/host.h"
#include "platform/platform.h"

namespace {

using Periods = std::vector<platform::UINT>;

TEST(PauseMs, LastsTheRequestedTimeWhereverTheClockStarts) {
    for (platform::DWORD start : {0x00000000u, 0x7FFFFFFFu, 0xFFFFFFFFu - 500u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(start);
        emu::resetClock();
        emu::setClock(start);
        rflash::pauseMs(2000);
        EXPECT_GE(emu::elapsedMs(), 2000u);
        EXPECT_LE(emu::elapsedMs(), 2002u);
    }
}

TEST(PauseMs, ZeroStillTakesAndGivesBackTheTimerPeriodAndReadsTheClockOnce) {
    rflash::pauseMs(0);
    EXPECT_EQ(emu::elapsedMs(), 1u);
    EXPECT_EQ(emu::timerPeriodsBegun(), Periods{1});
    EXPECT_EQ(emu::timerPeriodsEnded(), Periods{1});
}

TEST(PauseMs, UsesTheFinestPeriodGrantedAndEndsThatOne) {
    emu::refuseTimerPeriodsBelow(5);
    rflash::pauseMs(10);
    EXPECT_EQ(emu::timerPeriodsRequested(), (Periods{1, 2, 3, 4, 5}));
    EXPECT_EQ(emu::timerPeriodsBegun(), Periods{5});
    EXPECT_EQ(emu::timerPeriodsEnded(), Periods{5});
    EXPECT_GE(emu::elapsedMs(), 10u);
}

// A platform that grants no period must not hold the program forever: the search gives up and the
// pause runs at whatever resolution there is, with no period to give back.
TEST(PauseMs, PausesWithoutAPeriodWhenNoneIsGranted) {
    for (platform::UINT refusedBelow : {1001u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(refusedBelow);
        emu::resetClock();
        emu::refuseTimerPeriodsBelow(refusedBelow);
        rflash::pauseMs(50);
        Periods upTo1000(1000);
        std::iota(upTo1000.begin(), upTo1000.end(), 1u);
        EXPECT_EQ(emu::timerPeriodsRequested(), upTo1000);
        EXPECT_TRUE(emu::timerPeriodsBegun().empty());
        EXPECT_TRUE(emu::timerPeriodsEnded().empty());
        EXPECT_GE(emu::elapsedMs(), 50u);
        EXPECT_LE(emu::elapsedMs(), 52u);
    }
}

}  // namespace
