// Revision codes, packed dates and access codes: the values every image check compares.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/definitions.h"
#include "update/image_codes.h"

namespace {

using rflash::hexField;
using rflash::imageDateFromText;
using rflash::longDriveDate;
using rflash::revisionCode;
using rflash::shortDriveDate;
using rflash::twoDigitField;

std::span<const std::uint8_t> bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(RevisionCode, FirstDigitHighOtherTwoAsNibbles) {
    struct Case {
        const char* text;
        std::uint16_t code;
    };
    for (const Case& c : {Case{"1.07", 0x0107}, Case{"0000", 0x0000}, Case{"0.99", 0x0099},
                          Case{"2.10", 0x0210}, Case{"9.99", 0x0999}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(revisionCode(c.text[0], c.text[2], c.text[3]), c.code);
    }
    // Not digits: each byte is still computed in 8 bits ('A' - '0' = 17).
    EXPECT_EQ(revisionCode('A', '0', '0'), 0x1100);
    EXPECT_EQ(revisionCode('1', 'A', '0'), 0x0110);
}

TEST(TwoDigitField, ReadsHexadecimalAfterWhiteSpaceAndGivesZeroWithoutADigit) {
    struct Case {
        std::string text;
        std::uint8_t value;
    };
    for (const Case& c : {Case{"09", 0x09}, Case{"31", 0x31}, Case{" 7/", 0x07}, Case{"\t12", 0x12},
                          Case{"1/", 0x01}, Case{"ab", 0xAB}, Case{"123", 0x12}, Case{"//", 0},
                          Case{"  ", 0}, Case{"-1", 0}, Case{"", 0}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(twoDigitField(bytes(c.text)), c.value);
    }
}

TEST(HexField, NeverReadsPastTheEndOfItsText) {
    std::string text = "2009";
    EXPECT_EQ(hexField(bytes(text).first(2), 4), 0x20u);
    EXPECT_EQ(hexField(bytes("   ").first(3), 2), std::nullopt);
}

TEST(MonthFromName, MapsTheTwelveNamesExactly) {
    const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::uint8_t months[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x10, 0x11, 0x12};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(rflash::monthFromName(bytes(names[i])), months[i]) << names[i];
    for (const char* other : {"jan", "MAR", "Foo", "Ja", "   "}) {
        EXPECT_EQ(rflash::monthFromName(bytes(other)), 0) << other;
    }
}

TEST(ImageDate, BothFormsGiveTheSamePackedDate) {
    struct Case {
        std::string text;
        bool monthName;
        std::uint32_t date;
    };
    for (const Case& c : {Case{"09/03/04", false, 0x20090304}, Case{"10/12/31", false, 0x20101231},
                          Case{"Mar04 2009", true, 0x20090304}, Case{"Oct31-2010", true, 0x20101031},
                          Case{"Foo04 2009", true, 0x20090004},  // unknown month: month byte 0
                          Case{"09/xx/04", false, 0x20090004},   // no digit: that byte 0
                          Case{"Dec01 1999", true, 0x19991201}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(imageDateFromText(bytes(c.text), c.monthName), c.date);
    }
}

TEST(DriveDate, ShortAndLongFormsGiveTheSamePackedDate) {
    EXPECT_EQ(shortDriveDate(bytes("09/03/04  ")), 0x20090304u);
    EXPECT_EQ(longDriveDate(bytes("2009/03/04")), 0x20090304u);
    // Fields that are not there leave their bytes 0; what was read before them stays.
    struct Case {
        std::string text;
        std::uint32_t date;
    };
    for (const Case& c : {Case{"2009/03", 0x20090300}, Case{"2009", 0x20090000}, Case{"2009-03-04", 0x20090000},
                          Case{"    ", 0}, Case{"2009/03/  ", 0x20090300}, Case{"2009/ 3/ 4", 0x20090304}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(longDriveDate(bytes(c.text)), c.date);
    }
}

TEST(ModeAccessCode, StockLoaderAddsTheFamilyOffsetKitsetTakesTheKey) {
    EXPECT_EQ(rflash::modeAccessCode(rflash::kModeAccessKey, "STOCK   "), 0x3C71D0D1u);
    EXPECT_EQ(rflash::modeAccessCode(rflash::kModeAccessKey, "KITSET  "), 0x3C71D0A4u);
    EXPECT_EQ(rflash::modeAccessCode(0xFFFFFFF0u, "STOCK   "), 0x1Du);  // modulo 2^32
    for (const char* other : {"stock   ", "STOCK  X", "OTHER   ", "KITSET A"}) {
        EXPECT_EQ(rflash::modeAccessCode(rflash::kModeAccessKey, other), std::nullopt) << other;
    }
}

}  // namespace
