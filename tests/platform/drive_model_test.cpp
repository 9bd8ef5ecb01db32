// The emulated DVD drive on its own: what it answers and how its modes change.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/emulated/drive_model.h"

namespace {

using emu::DataDirection;
using emu::DeviceConfig;
using emu::DriveModel;
using emu::MediumState;

using Bytes = std::vector<std::uint8_t>;

struct Result {
    emu::DriveReply reply;
    Bytes data;

    std::uint8_t key() const { return reply.sense[2]; }
    std::uint8_t asc() const { return reply.sense[12]; }
    std::uint8_t ascq() const { return reply.sense[13]; }
};

Result run(DriveModel& drive, Bytes cdb, DataDirection direction = DataDirection::None, const Bytes& dataOut = {},
           std::uint32_t room = 0) {
    Result result;
    emu::DriveCommand command{cdb, direction, dataOut, room};
    result.reply = drive.execute(command, result.data);
    return result;
}

Result inquiry(DriveModel& drive) {
    return run(drive, {0x12, 0, 0, 0, 96, 0}, DataDirection::In, {}, 96);
}

Result driveInfo(DriveModel& drive) {
    return run(drive, {0x3C, 2, 0xF1, 0, 0, 0, 0, 0, 48, 0}, DataDirection::In, {}, 48);
}

Result testUnitReady(DriveModel& drive) {
    return run(drive, {0, 0, 0, 0, 0, 0});
}

Bytes writeBufferCdb(std::uint8_t mode, std::uint8_t bufferId, std::uint32_t offset, std::uint32_t length) {
    return {0x3B, mode, bufferId, static_cast<std::uint8_t>(offset >> 16), static_cast<std::uint8_t>(offset >> 8),
            static_cast<std::uint8_t>(offset), 0, static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length), 0};
}

Bytes modeChangeBlock(std::uint32_t accessCode, const char* model = "ZANTOVA  QRW-C28") {
    Bytes block(256, 0);
    std::memcpy(block.data(), model, 16);
    for (int i = 0; i < 4; ++i) block[16 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(accessCode >> (8 * i));
    return block;
}

Result modeChange(DriveModel& drive, std::uint8_t mode, const Bytes& block) {
    return run(drive, writeBufferCdb(mode, 0xFF, 0, 256), DataDirection::Out, block);
}

Result sendPiece(DriveModel& drive, std::uint32_t offset, const Bytes& piece) {
    return run(drive, writeBufferCdb(7, 0xF0, offset, static_cast<std::uint32_t>(piece.size())), DataDirection::Out, piece);
}

std::string textAt(const Bytes& data, std::size_t offset, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(data.data()) + offset, length);
}

constexpr std::uint32_t kStockCode = 0x3C71D0A4 + 0x2D;

// An image with the header fields the drive takes over when it restarts.
Bytes imageOf(std::uint32_t size, const char* revision, const char* date, const char* normalCode) {
    Bytes image(size, 0xA5);
    std::memcpy(image.data() + 144, revision, 4);
    std::memcpy(image.data() + 240, normalCode, 8);
    std::memcpy(image.data() + 304, date, 8);
    return image;
}

TEST(DriveModel, InquiryCarriesIdentityRevisionAndDateText) {
    for (const char* date : {"09/03/04", "2009/03/04"}) {
        DriveModel drive(DeviceConfig{.revision = "1.05", .byte36 = 'x', .dateText = date});
        Result result = inquiry(drive);
        ASSERT_EQ(result.reply.status, 0);
        ASSERT_EQ(result.data.size(), 96u);
        EXPECT_EQ(result.data[0], 0x05);
        EXPECT_EQ(textAt(result.data, 8, 24), "ZANTOVA DVD-RW  QRW-E28 ");
        EXPECT_EQ(textAt(result.data, 32, 4), "1.05");
        EXPECT_EQ(result.data[36], 'x');
        EXPECT_EQ(textAt(result.data, 37, 10), (std::string(date) + "  ").substr(0, 10));
    }
}

TEST(DriveModel, InquiryStopsAtTheAllocationLengthAndTheHostsRoom) {
    DriveModel drive(DeviceConfig{});
    EXPECT_EQ(run(drive, {0x12, 0, 0, 0, 36, 0}, DataDirection::In, {}, 96).data.size(), 36u);
    EXPECT_EQ(run(drive, {0x12, 0, 0, 0, 96, 0}, DataDirection::In, {}, 20).data.size(), 20u);
}

TEST(DriveModel, DriveInformationBlockHoldsTheEditionFields) {
    DriveModel drive(DeviceConfig{.hardwareRevision = "TR-2", .kernelVendorCode = "KITSET", .normalVendorCode = "RETAIL"});
    Result result = driveInfo(drive);
    ASSERT_EQ(result.reply.status, 0);
    ASSERT_EQ(result.data.size(), 48u);
    EXPECT_EQ(textAt(result.data, 16, 24), "TR-2    KITSET  RETAIL  ");
}

TEST(DriveModel, MediumStatesAnswerTestUnitReady) {
    struct Case {
        MediumState medium;
        std::uint8_t status, key, asc, ascq;
    };
    for (Case c : {Case{MediumState::NoDisc, 2, 2, 0x3A, 0}, Case{MediumState::DiscStopped, 2, 2, 0x04, 0x02},
                   Case{MediumState::BecomingReady, 2, 2, 0x04, 0x01}, Case{MediumState::DiscTurning, 0, 0, 0, 0}}) {
        DriveModel drive(DeviceConfig{.medium = c.medium});
        Result result = testUnitReady(drive);
        EXPECT_EQ(result.reply.status, c.status);
        EXPECT_EQ(result.key(), c.key);
        EXPECT_EQ(result.asc(), c.asc);
        EXPECT_EQ(result.ascq(), c.ascq);
    }
}

TEST(DriveModel, StartStopUnitStopsStartsAndEjects) {
    DriveModel drive(DeviceConfig{.medium = MediumState::DiscTurning});
    EXPECT_EQ(run(drive, {0x1B, 0, 0, 0, 0x00, 0}).reply.status, 0);
    EXPECT_EQ(drive.medium(), MediumState::DiscStopped);
    run(drive, {0x1B, 0, 0, 0, 0x01, 0});
    EXPECT_EQ(drive.medium(), MediumState::DiscTurning);
    run(drive, {0x1B, 0, 0, 0, 0x10, 0});  // a power condition: no change of the medium
    EXPECT_EQ(drive.medium(), MediumState::DiscTurning);
    run(drive, {0x1B, 0, 0, 0, 0x02, 0});
    EXPECT_EQ(drive.medium(), MediumState::NoDisc);
}

TEST(DriveModel, UnitAttentionsComeBeforeEverythingButInquiry) {
    DriveModel drive(DeviceConfig{.medium = MediumState::DiscTurning, .pendingUnitAttentions = 2});
    EXPECT_EQ(inquiry(drive).reply.status, 0);
    for (int i = 0; i < 2; ++i) {
        Result result = testUnitReady(drive);
        EXPECT_EQ(result.key(), 6);
        EXPECT_EQ(result.asc(), 0x29);
    }
    EXPECT_EQ(testUnitReady(drive).reply.status, 0);
}

TEST(DriveModel, UnknownCommandsAndFieldsAreIllegalRequests) {
    DriveModel drive(DeviceConfig{});
    Result unknown = run(drive, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0});
    EXPECT_EQ(unknown.reply.status, 2);
    EXPECT_EQ(unknown.key(), 5);
    EXPECT_EQ(unknown.asc(), 0x20);
    EXPECT_EQ(unknown.reply.senseLength, 18);
    Result otherBuffer = run(drive, {0x3C, 2, 0xF2, 0, 0, 0, 0, 0, 48, 0}, DataDirection::In, {}, 48);
    EXPECT_EQ(otherBuffer.key(), 5);
    EXPECT_EQ(otherBuffer.asc(), 0x24);
}

TEST(DriveModel, ANonOpticalDeviceReportsTypeZeroAndNoDriveInformation) {
    DriveModel disk(DeviceConfig{.kind = emu::DeviceKind::Disk});
    EXPECT_EQ(inquiry(disk).data.at(0), 0x00);
    EXPECT_EQ(driveInfo(disk).key(), 5);
}

TEST(DriveModel, ModeChangeBlockMustCarryTheFamilysAccessCode) {
    struct Case {
        const char* loader;
        std::uint32_t code;
        const char* model;
        bool accepted;
    };
    for (Case c : {Case{"STOCK   ", kStockCode, "ZANTOVA  QRW-C28", true},
                   Case{"STOCK   ", 0x3C71D0A4, "ZANTOVA  QRW-C28", false},
                   Case{"KITSET  ", 0x3C71D0A4, "ZANTOVA  QRW-C28", true},
                   Case{"KITSET  ", kStockCode, "ZANTOVA  QRW-C28", false},
                   Case{"STOCK   ", kStockCode, "ZANTOVA  QRW-C29", false},
                   Case{"OTHER   ", 0x3C71D0A4, "ZANTOVA  QRW-C28", false}}) {
        DriveModel drive(DeviceConfig{.kernelVendorCode = c.loader});
        Result result = modeChange(drive, 4, modeChangeBlock(c.code, c.model));
        EXPECT_EQ(drive.inKernelMode(), c.accepted) << c.loader << " " << std::hex << c.code;
        if (!c.accepted) {
            EXPECT_EQ(result.key(), 5);
            EXPECT_EQ(result.asc(), 0x26);
        }
    }
}

TEST(DriveModel, KernelModeShowsInInquiryAndDriveInformation) {
    DriveModel drive(DeviceConfig{});
    ASSERT_EQ(modeChange(drive, 4, modeChangeBlock(kStockCode)).reply.status, 0);
    EXPECT_EQ(textAt(inquiry(drive).data, 32, 4), "0001");
    EXPECT_EQ(textAt(driveInfo(drive).data, 32, 8), "        ");
}

TEST(DriveModel, ImagePiecesAreTakenOnlyInKernelMode) {
    DriveModel drive(DeviceConfig{.imageSize = 0x10000});
    Result refused = sendPiece(drive, 0, Bytes(0x8000, 1));
    EXPECT_EQ(refused.key(), 5);
    EXPECT_EQ(refused.asc(), 0x2C);
    modeChange(drive, 4, modeChangeBlock(kStockCode));
    EXPECT_EQ(sendPiece(drive, 0x8000, Bytes(0x8000, 2)).reply.status, 0);
    EXPECT_EQ(drive.receivedImage().at(0x8000), 2);
    EXPECT_FALSE(drive.imageWhole());
    EXPECT_EQ(sendPiece(drive, 0xC000, Bytes(0x8000, 3)).key(), 5);  // past the image's end
}

TEST(DriveModel, AWholeImageRestartsTheDriveWithItsRevisionDateAndEdition) {
    DriveModel drive(DeviceConfig{.imageSize = 0x10000, .storeDurationMs = 9000});
    Bytes image = imageOf(0x10000, "1.07", "10/01/20", "RETAIL  ");
    modeChange(drive, 4, modeChangeBlock(kStockCode));
    sendPiece(drive, 0, Bytes(image.begin(), image.begin() + 0x8000));
    sendPiece(drive, 0x8000, Bytes(image.begin() + 0x8000, image.end()));
    Result stored = modeChange(drive, 5, modeChangeBlock(kStockCode));
    EXPECT_EQ(stored.reply.status, 0);
    EXPECT_EQ(stored.reply.durationMs, 9000u);
    EXPECT_FALSE(drive.inKernelMode());
    Bytes identity = inquiry(drive).data;
    EXPECT_EQ(textAt(identity, 32, 4), "1.07");
    EXPECT_EQ(textAt(identity, 37, 10), "10/01/20  ");
    EXPECT_EQ(textAt(driveInfo(drive).data, 32, 8), "RETAIL  ");
}

TEST(DriveModel, APartialImageLeavesTheDriveInKernelMode) {
    DriveModel drive(DeviceConfig{.imageSize = 0x10000});
    modeChange(drive, 4, modeChangeBlock(kStockCode));
    sendPiece(drive, 0, Bytes(0x8000, 1));
    Result stored = modeChange(drive, 5, modeChangeBlock(kStockCode));
    EXPECT_EQ(stored.reply.status, 2);
    EXPECT_TRUE(drive.inKernelMode());
    EXPECT_EQ(textAt(inquiry(drive).data, 32, 4), "0001");
}

TEST(DriveModel, ADriveWithoutNormalFirmwareStartsInKernelMode) {
    DriveModel drive(DeviceConfig{.normalVendorCode = "        "});
    EXPECT_TRUE(drive.inKernelMode());
    EXPECT_EQ(textAt(inquiry(drive).data, 32, 4), "0001");
}

}  // namespace
