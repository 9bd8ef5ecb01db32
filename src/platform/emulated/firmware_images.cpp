#include "platform/emulated/firmware_images.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "update/firmware_image.h"

namespace emu {
namespace {

constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Two decimal digits from a byte holding them as nibbles.
unsigned digitsOf(std::uint32_t byte) {
    return (byte >> 4 & 0xF) * 10 + (byte & 0xF);
}

// Writes `text` into the field, blank-padded or cut to `width`, as far as the image reaches.
void putField(std::vector<std::uint8_t>& image, std::size_t offset, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width && offset + i < image.size(); ++i) {
        image[offset + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
    }
}

}  // namespace

std::uint8_t imageFillerByte(std::size_t offset) {
    // Varies within and across pieces so that a piece sent to the wrong offset shows.
    auto mixed = static_cast<std::uint32_t>(offset) * 2654435761u;
    return static_cast<std::uint8_t>(mixed >> 24 ^ offset >> 15);
}

std::string imageDateText(std::uint32_t date, ImageDateForm form) {
    unsigned century = digitsOf(date >> 24 & 0xFF);
    unsigned year = digitsOf(date >> 16 & 0xFF);
    unsigned monthByte = date >> 8 & 0xFF;
    unsigned day = digitsOf(date & 0xFF);
    char text[32];
    if (form == ImageDateForm::Short) {
        std::snprintf(text, sizeof text, "%02u/%02u/%02u", year % 100, digitsOf(monthByte) % 100, day % 100);
    } else {
        unsigned month = digitsOf(monthByte);
        const char* name = month >= 1 && month <= 12 ? kMonthNames[month - 1] : "???";
        std::snprintf(text, sizeof text, "%s%02u %02u%02u", name, day % 100, century % 100, year % 100);
    }
    return text;
}

std::vector<std::uint8_t> buildFirmwareImage(const ImageRecipe& recipe) {
    std::vector<std::uint8_t> image(recipe.size);
    for (std::size_t offset = 0; offset < image.size(); ++offset) image[offset] = imageFillerByte(offset);

    bool monthName = recipe.dateForm == ImageDateForm::MonthName;
    std::string identification = recipe.identification;
    if (identification.empty()) {
        identification = monthName ? "Quellon DVD-RW  QRW-E28 " : "ZANTOVA DVD-RW  QRW-E28 ";
    }
    std::string dateText = recipe.dateText.empty() ? imageDateText(recipe.date, recipe.dateForm) : recipe.dateText;

    putField(image, rflash::kImageIdentificationOffset, identification, 24);
    putField(image, rflash::kImageRevisionTextOffset, recipe.revision, 5);
    putField(image, rflash::kImageHardwareRevisionOffset, recipe.hardwareRevision, 8);
    putField(image, rflash::kImageKernelVendorCodeOffset, recipe.kernelVendorCode, 8);
    putField(image, rflash::kImageNormalVendorCodeOffset, recipe.normalVendorCode, 8);
    putField(image, rflash::kImagePartLetterOffset, std::string(1, recipe.partLetter), 1);
    putField(image, rflash::kImageDateTextOffset, dateText, monthName ? 10 : 8);
    return image;
}

}  // namespace emu
