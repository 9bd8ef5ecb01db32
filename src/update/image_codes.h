// Revision codes, packed dates and the mode-change access code: the encodings the image checks
// compare, kept free of any device or file access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace rflash {

// Firmware edition codes (8 characters, blank-padded) of the drive family.
constexpr char kStockVendorCode[] = "STOCK   ";
constexpr char kKitsetVendorCode[] = "KITSET  ";
constexpr std::size_t kVendorCodeLength = 8;

// Revision code of a revision text D.DD from its first, third and fourth characters: the first
// digit in the high byte, the other two as nibbles of the low byte (1.07 gives 0x0107). Each
// byte is computed in 8 bits, whatever the characters are.
std::uint16_t revisionCode(char first, char third, char fourth);

// A hexadecimal number of at most `maxDigits` digits after optional leading white space, read
// from the start of `text` and never past its end. Nothing readable gives no value.
std::optional<std::uint32_t> hexField(std::span<const std::uint8_t> text, int maxDigits);

// A two-digit date field as one byte of a packed date; a field without a hexadecimal digit
// gives 0.
std::uint8_t twoDigitField(std::span<const std::uint8_t> text);

// The month byte of a packed date for an English month abbreviation ("Jan" 0x01 ... "Dec"
// 0x12, exact case); 0 for anything else.
std::uint8_t monthFromName(std::span<const std::uint8_t> name);

// The packed date of an image header's date text (starting at its first byte). monthNameForm:
// "Mmm dd cc yy" (month name, day at 3, century at 6, year at 8), otherwise "yy/mm/dd" in the
// 21st century. Only the bytes of the text are read.
std::uint32_t imageDateFromText(std::span<const std::uint8_t> dateText, bool monthNameForm);

// The packed date of a drive's date text yy/mm/dd (21st century).
std::uint32_t shortDriveDate(std::span<const std::uint8_t> dateText);
// The packed date of a drive's date text yyyy/mm/dd; the fields read before the first one that
// is missing keep their value, the rest stay 0.
std::uint32_t longDriveDate(std::span<const std::uint8_t> dateText);

// The access code a mode change carries for a drive whose loader carries `kernelVendorCode`
// (8 bytes): the key plus the family offset for "STOCK   ", the key itself for "KITSET  ".
// No other loader edition may receive a mode change: no value.
std::optional<std::uint32_t> modeAccessCode(std::uint32_t modeAccessKey, const char* kernelVendorCode);

}  // namespace rflash
