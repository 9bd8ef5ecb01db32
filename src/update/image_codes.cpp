#include "update/image_codes.h"

#include <array>
#include <cstring>

#include "driver/definitions.h"

namespace rflash {
namespace {

bool isSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexDigitValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct HexScan {
    std::uint32_t value = 0;
    int digits = 0;
    std::size_t consumed = 0;  // white space and digits
};

// Optional leading white space, then at most maxDigits hexadecimal digits; stops at the text's end.
HexScan scanHex(std::span<const std::uint8_t> text, int maxDigits) {
    HexScan scan;
    std::size_t at = 0;
    while (at < text.size() && isSpace(text[at])) ++at;
    for (; at < text.size() && scan.digits < maxDigits; ++at, ++scan.digits) {
        int digit = hexDigitValue(text[at]);
        if (digit < 0) break;
        scan.value = scan.value * 16 + static_cast<std::uint32_t>(digit);
    }
    scan.consumed = at;
    return scan;
}

// The text from `offset` on, empty when the offset lies past its end.
std::span<const std::uint8_t> from(std::span<const std::uint8_t> text, std::size_t offset) {
    return offset < text.size() ? text.subspan(offset) : std::span<const std::uint8_t>{};
}

// Packs century, year, month and day bytes, high to low.
std::uint32_t packDate(std::uint8_t century, std::uint8_t year, std::uint8_t month, std::uint8_t day) {
    return static_cast<std::uint32_t>(century) << 24 | static_cast<std::uint32_t>(year) << 16 |
           static_cast<std::uint32_t>(month) << 8 | day;
}

constexpr std::uint8_t kTwentyFirstCentury = 0x20;

constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Month bytes are two decimal digits as nibbles: October is 0x10.
constexpr std::array<std::uint8_t, 12> kMonthBytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                                                       0x07, 0x08, 0x09, 0x10, 0x11, 0x12};

}  // namespace

std::uint16_t revisionCode(char first, char third, char fourth) {
    auto high = static_cast<std::uint8_t>(first - '0');
    auto low = static_cast<std::uint8_t>((third - '0') * 16 + (fourth - '0'));
    return static_cast<std::uint16_t>(high << 8 | low);
}

std::optional<std::uint32_t> hexField(std::span<const std::uint8_t> text, int maxDigits) {
    HexScan scan = scanHex(text, maxDigits);
    if (scan.digits == 0) return std::nullopt;
    return scan.value;
}

std::uint8_t twoDigitField(std::span<const std::uint8_t> text) {
    return static_cast<std::uint8_t>(hexField(text, 2).value_or(0));
}

std::uint8_t monthFromName(std::span<const std::uint8_t> name) {
    if (name.size() < 3) return 0;
    for (std::size_t month = 0; month < kMonthNames.size(); ++month) {
        if (std::memcmp(name.data(), kMonthNames[month], 3) == 0) return kMonthBytes[month];
    }
    return 0;
}

std::uint32_t imageDateFromText(std::span<const std::uint8_t> dateText, bool monthNameForm) {
    if (monthNameForm) {
        return packDate(twoDigitField(from(dateText, 6)), twoDigitField(from(dateText, 8)),
                        monthFromName(dateText), twoDigitField(from(dateText, 3)));
    }
    return packDate(kTwentyFirstCentury, twoDigitField(dateText), twoDigitField(from(dateText, 3)),
                    twoDigitField(from(dateText, 6)));
}

std::uint32_t shortDriveDate(std::span<const std::uint8_t> dateText) {
    return packDate(kTwentyFirstCentury, twoDigitField(dateText), twoDigitField(from(dateText, 3)),
                    twoDigitField(from(dateText, 6)));
}

std::uint32_t longDriveDate(std::span<const std::uint8_t> dateText) {
    // Read as "year/month/day" left to right: the first field that is missing, or a separator
    // that is not '/', ends the reading.
    std::uint32_t date = 0;
    std::size_t at = 0;
    auto field = [&](int maxDigits, int shift) {
        HexScan scan = scanHex(from(dateText, at), maxDigits);
        if (scan.digits == 0) return false;
        at += scan.consumed;
        date |= scan.value << shift;
        return true;
    };
    auto separator = [&] {
        if (at >= dateText.size() || dateText[at] != '/') return false;
        ++at;
        return true;
    };
    if (field(4, 16) && separator() && field(2, 8) && separator()) field(2, 0);
    return date;
}

std::optional<std::uint32_t> modeAccessCode(std::uint32_t modeAccessKey, const char* kernelVendorCode) {
    if (std::memcmp(kernelVendorCode, kStockVendorCode, kVendorCodeLength) == 0) {
        return modeAccessKey + kStockFamilyOffset;  // modulo 2^32
    }
    if (std::memcmp(kernelVendorCode, kKitsetVendorCode, kVendorCodeLength) == 0) return modeAccessKey;
    return std::nullopt;
}

}  // namespace rflash
