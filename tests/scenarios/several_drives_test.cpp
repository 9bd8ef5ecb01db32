// Several drives: one question for all of them or one for each, and a fatal failure midway.
#include <gtest/gtest.h>

#include "platform/emulated/devices.h"
#include "scenarios/scenario_fixture.h"

namespace {

using namespace rflash_test;

const std::string kThreeFound = "\r\n3 target device(s) is found.\r\nDo you want to update all drives ?";
const std::string kUpdatedTail = kNowUpdating + progressOf64Pieces() + kClosingLine + kNew107 + kSuccess;
const std::vector<std::string> kOneUpdate =
    sequence({kFound, kSelectedAndChecked, kPrepared, {kEnterKernelMode, kInquiry}, allPieces(),
              {kEnterNormalMode, kInquiry}});

TEST(SeveralDrives, YesToTheFirstQuestionUpdatesThemAllWithoutAskingEach) {
    EXPECT_EQ(runScenario("several-drives", {platform::IDYES, platform::IDOK}), 0);
    std::string expected = kBanner;
    for (int number = 1; number <= 3; ++number) expected += startingDevice(number) + kCurrent105 + kUpdatedTail;
    EXPECT_EQ(emu::consoleOutput(), expected + kCompleted);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kThreeFound, kYesNoBox, platform::IDYES},
                                         {kCompleted, kInfoBox, platform::IDOK}}));
    for (emu::DeviceId drive = 0; drive < 3; ++drive) EXPECT_EQ(cdbsOf(drive), kOneUpdate) << drive;
    // Each success is followed by 2000 ms before the next drive is touched.
    auto first = emu::traceOf(0);
    auto second = emu::traceOf(1);
    EXPECT_GE(second[2].timeMs - first.back().completedMs, 2000u);
}

TEST(SeveralDrives, NoToTheFirstQuestionAsksForEachDrive) {
    EXPECT_EQ(runScenario("several-drives",
                          {platform::IDNO, platform::IDYES, platform::IDNO, platform::IDYES, platform::IDOK}),
              0);
    const std::string twoUpdated = "\r\n2drive(s) have been updated successfully.";
    EXPECT_EQ(emu::consoleOutput(), kBanner + startingDevice(1) + kCurrent105 + kUpdatedTail + startingDevice(2) +
                                        kCurrent105 + startingDevice(3) + kCurrent105 + kUpdatedTail + twoUpdated);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kThreeFound, kYesNoBox, platform::IDNO},
                                         {kQuestion105To107, kYesNoBox, platform::IDYES},
                                         {kQuestion105To107, kYesNoBox, platform::IDNO},
                                         {kQuestion105To107, kYesNoBox, platform::IDYES},
                                         {twoUpdated, kInfoBox, platform::IDOK}}));
    EXPECT_EQ(cdbsOf(0), kOneUpdate);
    EXPECT_EQ(cdbsOf(1), sequence({kFound, kSelectedAndChecked, kPrepared}));
    EXPECT_EQ(cdbsOf(2), kOneUpdate);
}

TEST(SeveralDrives, AFatalFailureOnTheSecondOfThreeEndsTheRun) {
    EXPECT_EQ(runScenario("fatal-second", {platform::IDYES, platform::IDOK}), 1);
    EXPECT_EQ(emu::consoleOutput(), kBanner + startingDevice(1) + kCurrent105 + kUpdatedTail + startingDevice(2) +
                                        kCurrent105 + kNowUpdating + "\nFailed to move to the kernel mode." +
                                        kTerminated);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kThreeFound, kYesNoBox, platform::IDYES},
                                         {kTerminated, kWarningBox, platform::IDOK}}));
    EXPECT_EQ(cdbsOf(0), kOneUpdate);
    EXPECT_EQ(cdbsOf(1), sequence({kFound, kSelectedAndChecked, kPrepared, {kEnterKernelMode}}));
    EXPECT_EQ(cdbsOf(2), kFound);  // never visited after the enumeration
}

}  // namespace
