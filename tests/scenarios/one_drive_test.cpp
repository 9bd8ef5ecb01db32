// One drive that needs the update, updated from start to end.
#include <gtest/gtest.h>

#include "messages/catalogue.h"
#include "platform/emulated/devices.h"
#include "platform/emulated/files.h"
#include "platform/emulated/firmware_images.h"
#include "platform/emulated/handles.h"
#include "scenarios/scenario_fixture.h"

namespace {

using namespace rflash_test;

const std::vector<std::string> kOneUpdate =
    sequence({kFound, kSelectedAndChecked, kPrepared, {kEnterKernelMode, kInquiry}, allPieces(),
              {kEnterNormalMode, kInquiry}});

TEST(OneDrive, IsUpdatedOverPassThroughFromStartToEnd) {
    EXPECT_EQ(runScenario("one-drive", {platform::IDYES, platform::IDOK}), 0);

    EXPECT_EQ(emu::consoleOutput(), kBanner + startingDevice(1) + kCurrent105 + kNowUpdating + progressOf64Pieces() +
                                        kClosingLine + kNew107 + kSuccess + kCompleted);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kQuestion105To107, kYesNoBox, platform::IDYES},
                                         {kCompleted, kInfoBox, platform::IDOK}}));
    EXPECT_EQ(cdbsOf(0), kOneUpdate);

    const auto trace = emu::traceOf(0);
    const emu::TraceEntry& kernelMode = trace[8];
    const emu::TraceEntry& confirm = trace[9];
    const emu::TraceEntry& normalMode = trace[74];
    const emu::TraceEntry& readBack = trace[75];
    // The drive takes a mode change only with its family's model text and the access code for
    // its "STOCK   " loader.
    EXPECT_EQ(kernelMode.status, 0);
    EXPECT_EQ(normalMode.status, 0);
    EXPECT_EQ(kernelMode.transferLength, 256u);
    EXPECT_EQ(kernelMode.timeoutSeconds, 60u);
    // 2000 ms after the mode change, then 1000 ms before the confirming Inquiry.
    EXPECT_GE(confirm.timeMs - kernelMode.completedMs, 3000u);
    EXPECT_LT(confirm.timeMs - kernelMode.completedMs, 3050u);
    EXPECT_EQ(normalMode.timeoutSeconds, 180u);
    EXPECT_EQ(normalMode.transferLength, 256u);
    EXPECT_GE(readBack.timeMs - normalMode.completedMs, 5000u);
    EXPECT_LT(readBack.timeMs - normalMode.completedMs, 5050u);

    // Every piece went straight from imageBuffer: its addresses step through one block.
    const auto* imageStart = static_cast<const std::uint8_t*>(trace[10].buffer);
    for (std::size_t k = 0; k < 64; ++k) {
        EXPECT_EQ(trace[10 + k].buffer, imageStart + k * 0x8000) << k;
        EXPECT_EQ(trace[10 + k].timeoutSeconds, 60u);
    }
    ASSERT_EQ(emu::fileReads().size(), 1u);
    EXPECT_EQ(emu::fileReads()[0].destination, imageStart);
    EXPECT_EQ(emu::drive(0).receivedImage(), emu::buildFirmwareImage());
    EXPECT_EQ(emu::drive(0).reportedRevision(), "1.07");
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::File), 0);
}

TEST(OneDrive, OnAJapanesePcSpeaksJapanese) {
    EXPECT_EQ(runScenario("japanese", {platform::IDYES, platform::IDOK}), 0);

    auto japanese = [](std::uint32_t code) { return std::string(rflash::catalogueRow(code)->japanese); };
    const std::string closing =
        "\rProcessing 100% --> \xCC\xA7\xB0\xD1\xB3\xAA\xB1\x93\x5D\x91\x97\x8A\xAE\x97\xB9\r\n"
        "\x8C\xBB\x8D\xDD\xC4\xDE\xD7\xB2\xCC\xDE\x93\xE0\x95\x94\x82\xC5\xB1\xAF\xCC\xDF\xC3\xDE\xB0\xC4"
        "\x92\x86\x82\xC5\x82\xB7...";
    std::string starting = japanese(34);
    starting.replace(starting.find("%d"), 2, "1");
    EXPECT_EQ(emu::consoleOutput(), kBanner + starting + kCurrent105 + japanese(61) + progressOf64Pieces() + closing +
                                        kNew107 + japanese(12) + japanese(35));
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[1], (Box{japanese(35), kInfoBox, platform::IDOK}));
    EXPECT_EQ(cdbsOf(0), kOneUpdate);
}

}  // namespace
