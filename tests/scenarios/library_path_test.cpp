// Updates through the ASPI library: behind an IEEE 1394 adapter and behind the Intel IDE driver.
#include <gtest/gtest.h>

#include <optional>

#include "platform/emulated/devices.h"
#include "platform/scsi.h"
#include "scenarios/scenario_fixture.h"

namespace {

using namespace rflash_test;

const std::string kCurrent0001 = "\nCurrent Revision>> ZANTOVA DVD-RW  QRW-E28  0001  09/03/04";
const std::string kNew0001 = "\nNew Revision    >> ZANTOVA DVD-RW  QRW-E28  0001  09/03/04";
const std::string kQuestion0001To107 =
    "\r\nDo you want to update the F/W\r\nFrom : ZANTOVA DVD-RW  QRW-E28  0001  (2009/03/04)\r\n"
    "To : ZANTOVA DVD-RW  QRW-E28  1.07  (2009/04/01)";

std::vector<emu::TraceEntry> commandsWith(std::uint8_t opcode, std::optional<std::uint8_t> mode = std::nullopt) {
    std::vector<emu::TraceEntry> found;
    for (const emu::TraceEntry& entry : emu::traceOf(0)) {
        if (entry.cdb[0] == opcode && (!mode || entry.cdb[1] == *mode)) found.push_back(entry);
    }
    return found;
}

TEST(LibraryPath, BehindAnIeee1394AdapterWritesArePolledAndAnInterruptedStoreIsAccepted) {
    EXPECT_EQ(runScenario("ieee1394", {platform::IDYES, platform::IDOK}), 0);

    // The store ends with a unit attention because the drive restarted: no message 15, and the
    // drive reports the new revision.
    EXPECT_EQ(emu::consoleOutput(), kBanner + "\r\nDetect the IEEE1394 interface." + startingDevice(1) + kCurrent105 +
                                        kNowUpdating + progressOf64Pieces() + kClosingLine + kNew107 + kSuccess +
                                        kCompleted);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kQuestion105To107, kYesNoBox, platform::IDYES},
                                         {kCompleted, kInfoBox, platform::IDOK}}));
    EXPECT_EQ(cdbsOf(0), sequence({kFound, kSelectedAndChecked, kPrepared, {kEnterKernelMode, kInquiry}, allPieces(),
                                   {kEnterNormalMode, kInquiry}}));

    // Every WRITE BUFFER is polled: the program looks for its end only after a 500 ms pause, so
    // the next piece starts no sooner. Commands that complete by their event follow at once.
    auto pieces = commandsWith(scsi::WRITE_BUFFER, scsi::BUFFER_MODE_DOWNLOAD_OFFSETS_SAVE_ACTIVATE);
    ASSERT_EQ(pieces.size(), 64u);
    for (std::size_t k = 1; k < pieces.size(); ++k) {
        EXPECT_GE(pieces[k].timeMs - pieces[k - 1].timeMs, 500u) << k;
        EXPECT_LT(pieces[k].timeMs - pieces[k - 1].timeMs, 550u) << k;
    }
    auto trace = emu::traceOf(0);
    EXPECT_LT(trace[3].timeMs - trace[2].timeMs, 50u);  // selection: Inquiry, then READ BUFFER
    // The accepted failure: 5000 ms in the mode change and 5000 ms more for the IEEE 1394
    // adapter, then the read-back.
    auto stores = commandsWith(scsi::WRITE_BUFFER, scsi::BUFFER_MODE_DOWNLOAD_SAVE_ACTIVATE);
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0].sense[2], scsi::UNIT_ATTENTION);
    EXPECT_FALSE(emu::drive(0).inKernelMode());
    EXPECT_EQ(emu::drive(0).restarts(), 1);
    // Inquiries: enumeration, selection, current revision, kernel check, read-back.
    auto inquiries = commandsWith(scsi::INQUIRY);
    ASSERT_EQ(inquiries.size(), 5u);
    EXPECT_GE(inquiries[4].timeMs - stores[0].completedMs, 10000u);
    EXPECT_LT(inquiries[4].timeMs - stores[0].completedMs, 10550u);  // the poll, then the pauses
}

TEST(LibraryPath, BehindTheIntelIdeDriverTheDriveRestartsAfterTheLastPieceAndIsAskedAgain) {
    EXPECT_EQ(runScenario("intel-ide", {platform::IDYES, platform::IDOK}), 0);

    std::string progress = progressOf64Pieces();
    progress.erase(progress.rfind('\r'));  // the last piece is announced as 100% instead
    EXPECT_EQ(emu::consoleOutput(), kBanner + "\r\nDetect the Intel's IDE driver." + startingDevice(1) + kCurrent105 +
                                        kNowUpdating + progress + "\rProcessing 100%" +
                                        "\r\nNow internal rebooting with new firmware...." + kNew107 + kSuccess +
                                        kCompleted);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kQuestion105To107, kYesNoBox, platform::IDYES},
                                         {kCompleted, kInfoBox, platform::IDOK}}));
    EXPECT_EQ(cdbsOf(0), sequence({kFound, kSelectedAndChecked, kPrepared, {kEnterKernelMode, kInquiry}, allPieces(),
                                   {kEnterNormalMode, kInquiry, kInquiry, kInquiry, kInquiry}}));

    auto inquiries = commandsWith(scsi::INQUIRY);
    auto kernelMode = commandsWith(scsi::WRITE_BUFFER, scsi::BUFFER_MODE_DOWNLOAD_ACTIVATE);
    auto store = commandsWith(scsi::WRITE_BUFFER, scsi::BUFFER_MODE_DOWNLOAD_SAVE_ACTIVATE);
    ASSERT_EQ(inquiries.size(), 8u);
    ASSERT_EQ(kernelMode.size(), 1u);
    ASSERT_EQ(store.size(), 1u);
    // No 2000 ms pause after the kernel mode change here: only the 1000 ms before the check.
    EXPECT_GE(inquiries[3].timeMs - kernelMode[0].completedMs, 1000u);
    EXPECT_LT(inquiries[3].timeMs - kernelMode[0].completedMs, 1050u);
    // 5000 ms in the mode change and 5000 ms after it; then the Inquiry is retried every 3000 ms
    // while the drive restarts.
    EXPECT_GE(inquiries[4].timeMs - store[0].completedMs, 10000u);
    EXPECT_LT(inquiries[4].timeMs - store[0].completedMs, 10050u);
    for (std::size_t retry = 5; retry < 8; ++retry) {
        EXPECT_GE(inquiries[retry].timeMs - inquiries[retry - 1].completedMs, 3000u) << retry;
        EXPECT_LT(inquiries[retry].timeMs - inquiries[retry - 1].completedMs, 3050u) << retry;
    }
}

}  // namespace
