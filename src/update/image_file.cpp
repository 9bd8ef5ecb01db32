// The firmware image file: read whole into imageBuffer, decoded and checked on its own.
#include <algorithm>
#include <cstring>
#include <span>

#include "discovery/state.h"
#include "driver/state.h"
#include "messages/catalogue.h"
#include "platform/platform.h"
#include "update/firmware_image.h"
#include "update/image_codes.h"
#include "update/state.h"

namespace rflash {
namespace {

// An identification beginning with this maker's name marks the month-name form of the date.
constexpr char kMonthNameFormMaker[] = "Quellon ";
constexpr std::size_t kImageDateTextLength = 8;
constexpr std::size_t kMonthNameDateTextLength = 10;

bool sameCode(const char* code, const void* other) {
    return std::memcmp(code, other, kVendorCodeLength) == 0;
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

}  // namespace rflash
