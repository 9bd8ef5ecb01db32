#include "update/firmware_image.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "discovery/state.h"
#include "driver/program.h"
#include "driver/state.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/state.h"
#include "platform/platform.h"
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

constexpr char kMonthNameFormMaker[] = "Quellon ";
constexpr std::size_t kImageDateTextLength = 8;
constexpr std::size_t kMonthNameDateTextLength = 10;

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

// Reads exactly `size` bytes of the open file into `destination`; false on any shortfall.
bool readWholeFile(platform::HANDLE file, std::uint8_t* destination, platform::DWORD size) {
    platform::DWORD total = 0;
    while (total < size) {
        platform::DWORD read = 0;
        if (!platform::ReadFile(file, destination + total, size - total, &read, nullptr)) return false;
        if (read == 0 || read > size - total) return false;
        total += read;
    }
    return true;
}

// Opens the image file and reads it whole to the start of imageBuffer. Returns the number of
// bytes read, or -1 when the file cannot be opened, sized or read, is empty, or does not fit.
std::int32_t readImageFile(const char* fileName, SharedBuffer& buffer) {
    platform::HANDLE file = platform::CreateFileA(fileName, platform::GENERIC_READ, platform::FILE_SHARE_READ,
                                                  nullptr, platform::OPEN_EXISTING,
                                                  platform::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == platform::INVALID_HANDLE_VALUE) return -1;
    platform::DWORD sizeHigh = 0;
    platform::DWORD size = platform::GetFileSize(file, &sizeHigh);
    // An empty file is no image; a file larger than the buffer would be read past its end.
    bool fits = size != platform::INVALID_FILE_SIZE && sizeHigh == 0 && size != 0 && buffer.data != nullptr &&
                size <= buffer.size;
    bool read = fits && readWholeFile(file, buffer.data, size);
    platform::CloseHandle(file);
    return read ? static_cast<std::int32_t>(size) : -1;
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

std::int32_t loadFirmwareImage() {
    update.imageDate = 0;
    SharedBuffer& buffer = discovery.imageBuffer;
    std::int32_t size = readImageFile(program.workingEntry.imageFileName, buffer);
    if (size < 0) return -1;
    // A file shorter than the header is judged on zeros, never on what an earlier load left.
    if (static_cast<std::size_t>(size) < kImageHeaderLength) {
        std::fill(buffer.data + size, buffer.data + std::min<std::size_t>(kImageHeaderLength, buffer.size), 0);
    }
    program.workingEntry.imageSize = size;

    const std::uint8_t* image = buffer.data;
    std::memcpy(update.newRevisionText.data(), image + kImageRevisionTextOffset, update.newRevisionText.size());
    const auto* revision = reinterpret_cast<const char*>(image + kImageRevisionTextOffset);
    program.newRevision = revisionCode(revision[0], revision[2], revision[3]);

    bool monthNameForm = std::memcmp(image + kImageIdentificationOffset, kMonthNameFormMaker, 8) == 0;
    std::span<const std::uint8_t> dateText(image + kImageDateTextOffset,
                                           monthNameForm ? kMonthNameDateTextLength : kImageDateTextLength);
    update.imageDate = imageDateFromText(dateText, monthNameForm);

    const UpdateDefinition& entry = program.updateDefinitions[program.workingEntry.selectedEntryIndex];
    if (update.imageDate < entry.minimumImageDate) {
        showMessage(69, MsgError);
        return -1;
    }
    std::uint8_t partLetter = image[kImagePartLetterOffset];
    if (!sameCode(kStockVendorCode, image + kImageKernelVendorCodeOffset) || (partLetter != 'N' && partLetter != 'P')) {
        showMessage(40, MsgError);
        return -1;
    }
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
