// One drive in a state other than plain and ready: holding only its loader, stuck in it, failing
// a piece, with a disc in it or not ready.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/emulated/devices.h"
#include "platform/emulated/firmware_images.h"
#include "scenarios/scenario_fixture.h"
#include "support/fresh_state.h"

namespace {

using namespace rflash_test;

const std::string kCurrent0001 = "\nCurrent Revision>> ZANTOVA DVD-RW  QRW-E28  0001  09/03/04";
const std::string kNew0001 = "\nNew Revision    >> ZANTOVA DVD-RW  QRW-E28  0001  09/03/04";
const std::string kFailedNormalMode = "\nFailed to move to the normal mode.";
const std::string kQuestion0001To107 =
    "\r\nDo you want to update the F/W\r\nFrom : ZANTOVA DVD-RW  QRW-E28  0001  (2009/03/04)\r\n"
    "To : ZANTOVA DVD-RW  QRW-E28  1.07  (2009/04/01)";

TEST(DriveStates, ADriveWithoutNormalFirmwareGetsTheImageWithoutAModeChange) {
    EXPECT_EQ(runScenario("no-normal-firmware", {platform::IDYES, platform::IDOK}), 0);
    EXPECT_EQ(emu::consoleOutput(), kBanner + startingDevice(1) + kCurrent0001 + kNowUpdating + progressOf64Pieces() +
                                        kClosingLine + kNew107 + kSuccess + kCompleted);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kQuestion0001To107, kYesNoBox, platform::IDYES},
                                         {kCompleted, kInfoBox, platform::IDOK}}));
    EXPECT_EQ(cdbsOf(0), sequence({kFound, kSelectedAndChecked, kPrepared, allPieces(), {kEnterNormalMode, kInquiry}}));
}

TEST(DriveStates, ADriveStuckInKernelModeIsOfferedARetryAndNoEndsTheRun) {
    EXPECT_EQ(runScenario("stuck-in-kernel",
                          {platform::IDYES, platform::IDYES, platform::IDYES, platform::IDNO, platform::IDOK}),
              1);
    const std::string attempt2 =
        kCurrent0001 + kNowUpdating + progressOf64Pieces() + kClosingLine + kFailedNormalMode + kNew0001;
    EXPECT_EQ(emu::consoleOutput(), kBanner + startingDevice(1) + kCurrent105 + kNowUpdating + progressOf64Pieces() +
                                        kClosingLine + kFailedNormalMode + kNew0001 + attempt2 + kTerminated);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kQuestion105To107, kYesNoBox, platform::IDYES},
                                         {kRetryQuestion, kYesNoBox, platform::IDYES},
                                         {kQuestion0001To107, kYesNoBox, platform::IDYES},
                                         {kRetryQuestion, kYesNoBox, platform::IDNO},
                                         {kTerminated, kWarningBox, platform::IDOK}}));
    // The retry sends the whole image again from offset 0, to the drive already in kernel mode.
    EXPECT_EQ(cdbsOf(0), sequence({kFound, kSelectedAndChecked, kPrepared, {kEnterKernelMode, kInquiry}, allPieces(),
                                   {kEnterNormalMode, kInquiry}, {kInquiry, kDriveInfo}, kPrepared, allPieces(),
                                   {kEnterNormalMode, kInquiry}}));
    // A failed store is followed by 2000 ms before the drive is asked again.
    const auto trace = emu::traceOf(0);
    EXPECT_GE(trace[75].timeMs - trace[74].completedMs, 2000u);
    EXPECT_LT(trace[75].timeMs - trace[74].completedMs, 2050u);
}

TEST(DriveStates, AFailingPieceLeadsToTheReadBackAndTheRetryQuestion) {
    EXPECT_EQ(runScenario("failing-piece", {platform::IDYES, platform::IDOK, platform::IDYES, platform::IDYES,
                                            platform::IDOK}),
              0);
    const std::string tenPieces = "\n\rProcessing 0%\rProcessing 1%\rProcessing 3%\rProcessing 4%\rProcessing 6%"
                                  "\rProcessing 7%\rProcessing 9%\rProcessing 10%\rProcessing 12%\rProcessing 14%";
    const std::string failedPiece = "\r\nFailed to update the normal part.";
    EXPECT_EQ(emu::consoleOutput(), kBanner + startingDevice(1) + kCurrent105 + kNowUpdating + tenPieces +
                                        failedPiece + kNew0001 + kCurrent0001 + kNowUpdating + progressOf64Pieces() +
                                        kClosingLine + kNew107 + kSuccess + kCompleted);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kQuestion105To107, kYesNoBox, platform::IDYES},
                                         {failedPiece, kErrorBox, platform::IDOK},
                                         {kRetryQuestion, kYesNoBox, platform::IDYES},
                                         {kQuestion0001To107, kYesNoBox, platform::IDYES},
                                         {kCompleted, kInfoBox, platform::IDOK}}));
    const std::vector<std::string> pieces = allPieces();
    const std::vector<std::string> firstPieces(pieces.begin(), pieces.begin() + 10);
    EXPECT_EQ(cdbsOf(0), sequence({kFound, kSelectedAndChecked, kPrepared, {kEnterKernelMode, kInquiry}, firstPieces,
                                   {kInquiry}, {kInquiry, kDriveInfo}, kPrepared, allPieces(),
                                   {kEnterNormalMode, kInquiry}}));
    EXPECT_EQ(emu::drive(0).receivedImage(), emu::buildFirmwareImage());
}

TEST(DriveStates, OnlyAnEmptyOrStoppedDriveIsUpdated) {
    struct Case {
        const char* scenario;
        std::vector<int> answers;
        std::string outcome;      // what follows the current revision line
        std::vector<Box> boxes;
        std::size_t testUnitReadys;
    };
    const std::string updated = kNowUpdating + progressOf64Pieces() + kClosingLine + kNew107 + kSuccess + kCompleted;
    const std::vector<Box> updatedBoxes = {{kQuestion105To107, kYesNoBox, platform::IDYES},
                                           {kCompleted, kInfoBox, platform::IDOK}};
    const std::string discInserted = "\nDisc is inserted into the drive.\nPlease eject a disc.";
    const Case cases[] = {
        {"disc-turning", {platform::IDOK}, discInserted, {{discInserted, kInfoBox, platform::IDOK}}, 1},
        {"becoming-ready", {}, "\nError : Drive is now becoming ready.\nPlease eject the disc", {}, 1},
        {"not-ready-other", {}, "\nError : Unknown Error is occurred.", {}, 1},
        {"unit-attention", {platform::IDYES, platform::IDOK}, updated, updatedBoxes, 2},
        {"disc-stopped", {platform::IDYES, platform::IDOK}, updated, updatedBoxes, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        resetEverything();
        EXPECT_EQ(runScenario(c.scenario, c.answers), 0);
        EXPECT_EQ(emu::consoleOutput(), kBanner + startingDevice(1) + kCurrent105 + c.outcome);
        EXPECT_EQ(boxes(), c.boxes);
        auto cdbs = cdbsOf(0);
        EXPECT_EQ(static_cast<std::size_t>(std::count(cdbs.begin(), cdbs.end(), kTestUnitReady)), c.testUnitReadys);
        std::vector<std::string> upToPreparation(cdbs.begin(), cdbs.begin() + std::min<std::size_t>(cdbs.size(), 7));
        EXPECT_EQ(upToPreparation, sequence({kFound, kSelectedAndChecked, {kStopUnit}}));
        if (c.outcome != updated) {
            EXPECT_EQ(cdbs.size(), 6 + 1 + c.testUnitReadys);  // nothing after the preparation
        }
    }
}

}  // namespace
