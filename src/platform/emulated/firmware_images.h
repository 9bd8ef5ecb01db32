// Firmware image files for the emulated PC: valid images of the drive family, built from their
// header fields, for tests and for the demo's sample images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace emu {

enum class ImageDateForm {
    Short,      // "yy/mm/dd"
    MonthName,  // "Mmmdd cc yy" as "Mar04 2009", with "Quellon " identification
};

struct ImageRecipe {
    std::string revision = "1.07";         // revision text D.DD
    std::uint32_t date = 0x20090401;       // packed date, written in dateForm
    ImageDateForm dateForm = ImageDateForm::Short;
    std::string dateText;                  // when not empty: written instead of `date`, as given
    std::string hardwareRevision = "SAT     ";
    std::string kernelVendorCode = "STOCK   ";
    std::string normalVendorCode = "STOCK   ";
    char partLetter = 'N';
    std::string identification;            // 24 characters; empty: the maker's, or "Quellon ..."
    std::size_t size = 2 * 1024 * 1024;
};

// The image the compiled-in definition names.
constexpr const char* kDefaultImageName = "W7283051.107";

// An image with the header fields given in `recipe` and a fixed filler pattern elsewhere. Texts
// are blank-padded or cut to their field's width. An image smaller than the header carries the
// header bytes that fit.
std::vector<std::uint8_t> buildFirmwareImage(const ImageRecipe& recipe = {});

// The date text of a packed date in the given form.
std::string imageDateText(std::uint32_t date, ImageDateForm form);

// The filler byte at `offset` of every built image (outside the header fields).
std::uint8_t imageFillerByte(std::size_t offset);

}  // namespace emu
