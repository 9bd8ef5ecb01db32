// One whole update of the current target, with its question and its transfer.
#include <gtest/gtest.h>

#include "platform/emulated/handles.h"
#include "platform/platform.h"
#include "platform/scsi.h"
#include "update/drive_fixture.h"
#include "update/update_procedure.h"

namespace {

using rflash_test::DriveSteps;
using rflash_test::matchingDrive;

TEST_F(DriveSteps, OnlyAnExplicitYesToTheDriveQuestionLetsTheUpdateGoAhead) {
    struct Case {
        std::vector<int> answers;
        std::int32_t result;
    };
    for (const Case& c : {Case{{}, rflash::kDriveDeclined}, Case{{platform::IDNO}, rflash::kDriveDeclined},
                          Case{{platform::IDCANCEL}, rflash::kDriveDeclined},
                          Case{{platform::IDYES}, rflash::kDriveUpdated}}) {
        SCOPED_TRACE(c.answers.empty() ? 0 : c.answers[0]);
        emu::reset();
        attach();
        putImage();
        emu::scriptAnswers(c.answers);
        rflash::program.updateAllDrives = 0;
        EXPECT_EQ(rflash::updateDrive(), c.result);
        ASSERT_EQ(emu::boxesShown().size(), 1u);
        EXPECT_EQ(emu::boxesShown()[0].type, platform::MB_YESNO | platform::MB_ICONQUESTION);
        EXPECT_EQ(commandsWith(scsi::WRITE_BUFFER).empty(), c.result == rflash::kDriveDeclined);
    }
}

TEST_F(DriveSteps, AnImageOfOddSizeEndsWithAShortPieceSentInPlaceFromImageBuffer) {
    constexpr std::size_t kSize = 3 * 32768 + 100;
    emu::DeviceConfig config = matchingDrive();
    config.imageSize = kSize;
    attach(config);
    emu::ImageRecipe recipe;
    recipe.size = kSize;
    std::vector<std::uint8_t> image = emu::buildFirmwareImage(recipe);
    emu::addFile(emu::kDefaultImageName, image);
    rflash::program.updateAllDrives = 1;

    EXPECT_EQ(rflash::updateDrive(), rflash::kDriveUpdated);

    auto pieces = commandsWith(scsi::WRITE_BUFFER);
    ASSERT_EQ(pieces.size(), 6u);  // mode 4, four pieces, mode 5
    const std::uint32_t offsets[] = {0, 0x8000, 0x10000, 0x18000};
    const std::uint32_t lengths[] = {0x8000, 0x8000, 0x8000, 100};
    for (std::size_t i = 0; i < 4; ++i) {
        const emu::TraceEntry& piece = pieces[i + 1];
        SCOPED_TRACE(i);
        EXPECT_EQ(piece.cdb[1], 7);
        EXPECT_EQ(piece.cdb[2], 0xF0);
        EXPECT_EQ(static_cast<std::uint32_t>(piece.cdb[3] << 16 | piece.cdb[4] << 8 | piece.cdb[5]), offsets[i]);
        EXPECT_EQ(static_cast<std::uint32_t>(piece.cdb[7] << 8 | piece.cdb[8]), lengths[i]);
        EXPECT_EQ(piece.transferLength, lengths[i]);
        EXPECT_EQ(piece.buffer, imageBuffer.data() + offsets[i]);
        EXPECT_EQ(piece.timeoutSeconds, 60u);
    }
    EXPECT_EQ(emu::drive(device).receivedImage(), image);
    EXPECT_EQ(emu::drive(device).restarts(), 1);
    EXPECT_NE(emu::consoleOutput().find("\n\rProcessing 0%\rProcessing 33%\rProcessing 66%\rProcessing 99%"
                                        "\rProcessing 100% --> Data transfer complete\r\nNow internal re-flashing..."),
              std::string::npos);
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::File), 0);
}

}  // namespace
