// The drive side of the image checks: its information block, its revision lines and the
// comparison of the loaded image with the drive.
#include "update/firmware_image.h"

#include <cstring>
#include <span>

#include "discovery/state.h"
#include "driver/program.h"
#include "driver/state.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/state.h"
#include "platform/scsi.h"
#include "transport/commands.h"
#include "transport/state.h"
#include "update/image_codes.h"
#include "update/state.h"

namespace rflash {
namespace {

constexpr std::int32_t kDriveInfoTimeoutMs = 60000;

// Inquiry data offsets read here.
constexpr std::size_t kIdentificationOffset = 8;   // vendor and product, 24 bytes
constexpr std::size_t kProductOffset = 16;
constexpr std::size_t kRevisionOffset = 32;        // D.DD and one more byte
constexpr std::size_t kDateTextOffset = 37;        // yy/mm/dd or yyyy/mm/dd
constexpr std::size_t kDateTextLength = 10;
constexpr std::size_t kShortDateSlash1 = 39;
constexpr std::size_t kShortDateSlash2 = 42;

// The after-update Inquiry on the library path with the Intel IDE driver: the drive may still be
// restarting.
constexpr int kAfterUpdateInquiryRetries = 6;
constexpr std::uint32_t kAfterUpdateInquiryPauseMs = 3000;

bool kernelRevision(const std::uint8_t* revision) {
    return std::memcmp(revision, "000", 3) == 0;
}

bool sameCode(const char* code, const void* other) {
    return std::memcmp(code, other, kVendorCodeLength) == 0;
}

bool knownEditionOr(const char* driveCode, const std::uint8_t* imageCode) {
    return sameCode(driveCode, kKitsetVendorCode) || sameCode(driveCode, kStockVendorCode) ||
           sameCode(driveCode, imageCode);
}

}  // namespace

std::int32_t readDriveInfoBlock() {
    update.normalPartBlank = -1;
    transport.commandTimeoutMs = kDriveInfoTimeoutMs;
    std::int32_t status = readBuffer(program.currentTarget, scsi::BUFFER_MODE_DATA, kDriveInfoBufferId, 0,
                                     kDriveInfoLength, reinterpret_cast<std::uint8_t*>(&transport.driveInfo));
    if (status != 0) return status;
    std::int32_t blank = transport.driveInfo.infoNormalVendorCode[0] == ' ' ? 1 : 0;
    update.driveInKernelMode = blank;
    update.normalPartBlank = blank;
    return 0;
}

std::int32_t readDriveRevision(std::int32_t afterUpdate) {
    update.driveDate = 0;
    std::uint8_t* data = update.inquiryData.data();
    std::int32_t status = inquiry(program.currentTarget, data);
    if (status != 0 && afterUpdate == 1 && discovery.useAspi == 1 && discovery.hostDriverKind == 1) {
        for (int retry = 0; retry < kAfterUpdateInquiryRetries && status != 0; ++retry) {
            pauseMs(kAfterUpdateInquiryPauseMs);
            status = inquiry(program.currentTarget, data);
        }
    }
    if (status != 0) {
        showMessage(9, MsgPrint);
        return status;
    }

    const auto* text = reinterpret_cast<const char*>(data);
    const char* identification = text + kIdentificationOffset;
    const char* revision = text + kRevisionOffset;
    const char* dateText = text + kDateTextOffset;
    std::span<const std::uint8_t> dateBytes(data + kDateTextOffset, kDateTextLength);
    if (afterUpdate == 0) {
        if (data[kShortDateSlash1] == '/' && data[kShortDateSlash2] == '/') {
            formatScratch("\nCurrent Revision>> %.24s %.5s %.8s", identification, revision, dateText);
            // A drive in kernel mode reports no date of its firmware.
            if (!kernelRevision(data + kRevisionOffset)) update.driveDate = shortDriveDate(dateBytes);
        } else {
            formatScratch("\nCurrent Revision>> %.24s %.5s %.10s", identification, revision, dateText);
            update.driveDate = longDriveDate(dateBytes);
        }
        update.driveRevision = revisionCode(revision[0], revision[2], revision[3]);
    } else if (std::memcmp(data + kProductOffset, "DVD-RW", 6) == 0) {
        formatScratch("\nNew Revision    >> %.24s %.5s %.8s", identification, revision, dateText);
    } else {
        formatScratch("\nNew Revision    >> %.24s %.5s %.10s", identification, revision, dateText);
    }
    printText(messages.scratchText.c_str());
    return 0;
}

std::int32_t checkImageAgainstDrive() {
    std::int32_t status = readDriveInfoBlock();
    if (status != 0) {
        showMessage(0, MsgError);
        return status;
    }
    const DriveInfoBlock& info = transport.driveInfo;
    const std::uint8_t* image = discovery.imageBuffer.data;

    if (!sameCode(info.infoHardwareRevision, image + kImageHardwareRevisionOffset)) {
        showMessage(1, MsgError);
        return -1;
    }
    if (!knownEditionOr(info.infoKernelVendorCode, image + kImageKernelVendorCodeOffset)) {
        showMessage(37, MsgError);
        return -1;
    }
    // Without a normal part there is no revision to compare: the image is what the drive needs.
    if (update.normalPartBlank == 1) return 0;
    if (!knownEditionOr(info.infoNormalVendorCode, image + kImageNormalVendorCodeOffset)) {
        showMessage(3, MsgError);
        return -1;
    }
    if (update.imageDate <= update.driveDate && program.newRevision <= update.driveRevision) {
        showMessage(54, program.updateAllDrives == 1 ? MsgPrint : MsgInfo);
        return 1;
    }
    if (update.driveRevision > 0 && update.driveRevision < 0x100) {
        showMessage(73, MsgError);
        return -1;
    }
    if (sameCode(info.infoKernelVendorCode, kStockVendorCode)) {
        update.vendorCodeClass = std::memcmp(info.infoHardwareRevision, "SCSI", 4) == 0 ? 0x300 : 0x100;
    } else {
        update.vendorCodeClass = -1;
    }
    return 0;
}

}  // namespace rflash
