// The mode changes: the block they carry, the access code for each loader edition, the check
// that the drive reached kernel mode.
#include <gtest/gtest.h>

#include <array>

#include "platform/emulated/clock.h"
#include "platform/emulated/handles.h"
#include "platform/platform.h"
#include "platform/scsi.h"
#include "transport/state.h"
#include "update/firmware_image.h"
#include "update/mode_change.h"
#include "update/state.h"
#include "update/drive_fixture.h"

namespace {

using rflash_test::DriveSteps;
using rflash_test::matchingDrive;

constexpr char kFailedKernel[] = "\nFailed to move to the kernel mode.";

std::array<std::uint8_t, 10> cdbOf(const emu::TraceEntry& entry) {
    std::array<std::uint8_t, 10> cdb{};
    std::copy_n(entry.cdb.begin(), cdb.size(), cdb.begin());
    return cdb;
}

TEST_F(DriveSteps, BothModeChangesCarryTheModelTextAndTheAccessCodeOfTheLoaderEdition) {
    struct Case {
        const char* kernelVendorCode;
        std::array<std::uint8_t, 4> accessCode;
    };
    for (const Case& c : {Case{"STOCK   ", {0xD1, 0xD0, 0x71, 0x3C}}, Case{"KITSET  ", {0xA4, 0xD0, 0x71, 0x3C}}}) {
        SCOPED_TRACE(c.kernelVendorCode);
        emu::reset();
        emu::DeviceConfig config = matchingDrive();
        config.kernelVendorCode = c.kernelVendorCode;
        attach(config);
        ASSERT_EQ(rflash::readDriveInfoBlock(), 0);

        std::uint64_t start = emu::elapsedMs();
        ASSERT_EQ(rflash::enterKernelMode(rflash::kFamilyCode), 0);
        EXPECT_GE(emu::elapsedMs() - start, 2000u);  // the drive is given 2 s to hand over
        EXPECT_TRUE(emu::drive(device).inKernelMode());
        std::vector<std::uint8_t> kernelBlock(parameterBuffer.begin(), parameterBuffer.begin() + 256);

        // The drive cannot store a partial image, so the mode 5 command fails; its block is
        // what counts here.
        rflash::enterNormalMode(rflash::kFamilyCode);
        std::vector<std::uint8_t> normalBlock(parameterBuffer.begin(), parameterBuffer.begin() + 256);

        EXPECT_EQ(std::string(kernelBlock.begin(), kernelBlock.begin() + 16), "ZANTOVA  QRW-C28");
        EXPECT_TRUE(std::equal(c.accessCode.begin(), c.accessCode.end(), kernelBlock.begin() + 16));
        EXPECT_TRUE(std::all_of(kernelBlock.begin() + 20, kernelBlock.end(), [](std::uint8_t b) { return b == 0; }));
        EXPECT_EQ(normalBlock, kernelBlock);

        auto writes = commandsWith(scsi::WRITE_BUFFER);
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(cdbOf(writes[0]), (std::array<std::uint8_t, 10>{0x3B, 0x04, 0xFF, 0, 0, 0, 0, 0x01, 0x00, 0}));
        EXPECT_EQ(cdbOf(writes[1]), (std::array<std::uint8_t, 10>{0x3B, 0x05, 0xFF, 0, 0, 0, 0, 0x01, 0x00, 0}));
        EXPECT_EQ(writes[0].timeoutSeconds, 60u);
        EXPECT_EQ(writes[1].timeoutSeconds, 180u);
        EXPECT_EQ(writes[0].buffer, parameterBuffer.data());
        EXPECT_EQ(rflash::transport.commandTimeoutMs, 60000);
    }
}

TEST_F(DriveSteps, ALoaderOfAnotherEditionGetsNoModeChangeAtAll) {
    emu::DeviceConfig config = matchingDrive();
    config.kernelVendorCode = "OTHER   ";
    attach(config);
    ASSERT_EQ(rflash::readDriveInfoBlock(), 0);
    EXPECT_NE(rflash::enterKernelMode(rflash::kFamilyCode), 0);
    EXPECT_NE(rflash::enterNormalMode(rflash::kFamilyCode), 0);
    EXPECT_TRUE(commandsWith(scsi::WRITE_BUFFER).empty());
    EXPECT_EQ(emu::consoleOutput(), std::string(kFailedKernel) + "\nFailed to move to the normal mode.");
}

TEST_F(DriveSteps, ARefusedKernelModeChangeIsReportedWithoutThePause) {
    attach();
    ASSERT_EQ(rflash::readDriveInfoBlock(), 0);
    emu::injectFault(device, {.when = {.opcode = scsi::WRITE_BUFFER, .mode = 4},
                              .sense = {scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_PARAMETER_LIST, 0}});
    std::uint64_t start = emu::elapsedMs();
    EXPECT_NE(rflash::enterKernelMode(rflash::kFamilyCode), 0);
    EXPECT_LT(emu::elapsedMs() - start, 2000u);
    EXPECT_EQ(emu::consoleOutput(), kFailedKernel);
}

TEST_F(DriveSteps, KernelModeIsConfirmedByTheMakersIdentificationAndA000Revision) {
    struct Case {
        const char* vendor;
        const char* product;
        const char* kernelRevision;
        bool startsInKernelMode;
        std::int32_t result;
    };
    for (const Case& c : {Case{"ZANTOVA ", "DVD-RW  QRW-E28 ", "0001", true, 0},
                          Case{"ZANTOVA ", "DVD-RW  QRW-C28 ", "000X", true, 0},
                          Case{"ZANTOVA ", "DVD-RW  QRW-E28 ", "0001", false, -1},  // reports 1.05
                          Case{"ZANTOVA ", "DVD-RW  QRW-E28 ", "0011", true, -1},
                          Case{"ZANTOVa ", "DVD-RW  QRW-E28 ", "0001", true, -1},
                          Case{"ZANTOVA ", "DVD-RW  QRX-E28 ", "0001", true, -1},
                          Case{"ZANTOVA ", "DVD-RAM QRW-E28 ", "0001", true, -1}}) {
        SCOPED_TRACE(testing::Message() << c.vendor << c.product << " " << c.kernelRevision);
        emu::reset();
        emu::DeviceConfig config = matchingDrive();
        config.vendor = c.vendor;
        config.product = c.product;
        config.kernelRevision = c.kernelRevision;
        config.startsInKernelMode = c.startsInKernelMode;
        attach(config);
        rflash::update.driveInKernelMode = 1 - (c.result == 0 ? 1 : 0);
        EXPECT_EQ(rflash::confirmKernelMode(), c.result);
        EXPECT_EQ(rflash::update.driveInKernelMode, c.result == 0 ? 1 : 0);
        EXPECT_EQ(emu::consoleOutput(), "");  // the refusal is silent
    }
}

TEST_F(DriveSteps, AFailedConfirmingInquiryKeepsTheKernelModeFlag) {
    attach();
    emu::injectFault(device, {.when = {.opcode = scsi::INQUIRY}, .sense = {scsi::HARDWARE_ERROR, 0, 0}});
    rflash::update.driveInKernelMode = 1;
    EXPECT_EQ(rflash::confirmKernelMode(), -1);
    EXPECT_EQ(rflash::update.driveInKernelMode, 1);
    EXPECT_EQ(emu::consoleOutput(), "\nFailed to execute Inquiry Command.");
}

}  // namespace

namespace {

// The store command's failure is accepted only behind an IEEE 1394 adapter, and only when the
// drive answered NOT READY or UNIT ATTENTION (its restart interrupting the reply): then the mode
// change goes on as after a success, with its 5000 ms pause. Anything else is reported at once.
TEST_F(DriveSteps, AFailedStoreIsAcceptedOnlyBehindAnIeee1394AdapterWithKey2Or6) {
    struct Case {
        const char* name;
        std::int32_t ieee1394Adapter;
        std::uint8_t senseKeyByte;
        bool accepted;
    };
    const Case cases[] = {
        {"IEEE 1394, unit attention", 0, scsi::UNIT_ATTENTION, true},
        {"IEEE 1394, not ready", 0, scsi::NOT_READY, true},
        {"IEEE 1394, illegal request", 0, scsi::ILLEGAL_REQUEST, false},
        {"IEEE 1394, not ready with the length bit", 0, 0x22, false},
        {"no IEEE 1394 adapter, unit attention", -1, scsi::UNIT_ATTENTION, false},
    };
    std::vector<std::uint8_t> requestBlock(2 * 1024 * 1024);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emu::reset();
        rflash::update = {};
        rflash::transport = {};
        rflash::discovery.useAspi = 1;
        rflash::discovery.aspiRequestBlock = {nullptr, requestBlock.data(), requestBlock.size()};
        rflash::discovery.sendAspi32Command = [](platform::LPVOID request) {
            return emu::executeAspiRequest(static_cast<platform::SRB_ExecSCSICmd*>(request));
        };
        rflash::discovery.targetList[0] = {0, 0, 0};
        emu::DeviceId drive = emu::attachAspiDrive(0, 0, matchingDrive());
        emu::injectFault(drive, {.when = {.opcode = scsi::WRITE_BUFFER, .mode = scsi::BUFFER_MODE_DOWNLOAD_SAVE_ACTIVATE},
                                 .sense = {c.senseKeyByte, 0, 0}});
        ASSERT_EQ(rflash::readDriveInfoBlock(), 0);
        rflash::discovery.ieee1394Adapter = c.ieee1394Adapter;

        std::uint64_t before = emu::elapsedMs();
        std::int32_t result = rflash::enterNormalMode(rflash::kFamilyCode);
        std::uint64_t took = emu::elapsedMs() - before;

        EXPECT_EQ(rflash::transport.commandTimeoutMs, 60000);
        if (c.accepted) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(emu::consoleOutput(), "");
            EXPECT_GE(took, 5000u);
        } else {
            EXPECT_NE(result, 0);
            EXPECT_EQ(emu::consoleOutput(), "\nFailed to move to the normal mode.");
            EXPECT_LT(took, 5000u);
        }
    }
}

}  // namespace
