#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "discovery/state.h"
#include "driver/state.h"
#include "messages/catalogue.h"
#include "platform/emulated/console.h"
#include "platform/platform.h"
#include "support/fresh_state.h"
#include "update/state.h"

namespace {

using rflash::showMessage;

constexpr const char* kUnknown = "\r\nUnknow Message Code\r\n";

void useCodePage(platform::UINT codePage) {
    rflash::program.codePage = static_cast<std::int32_t>(codePage);
}

void putInquiry(std::size_t offset, const std::string& bytes) {
    std::memcpy(rflash::update.inquiryData.data() + offset, bytes.data(), bytes.size());
}

// The printf conversions a text takes, in order ("%%" is none).
std::vector<std::string> conversionsOf(const char* text) {
    std::vector<std::string> found;
    for (const char* p = std::strchr(text, '%'); p != nullptr; p = std::strchr(p, '%')) {
        const char* end = p + 1;
        if (*end == '%') {
            p = end + 1;
            continue;
        }
        while (*end != '\0' && std::strchr("diouxXcsp", *end) == nullptr) ++end;
        found.emplace_back(p, end + 1);
        p = end + 1;
    }
    return found;
}

TEST(Catalogue, UnknownCodesGiveTheSameTextInBothLanguages) {
    for (platform::UINT codePage : {932u, 437u}) {
        for (std::uint32_t code : {101u, 0xFFFFFFFFu, 18u, 29u, 98u}) {
            SCOPED_TRACE(::testing::Message() << "code page " << codePage << ", code " << code);
            rflash_test::resetEverything();
            useCodePage(codePage);
            EXPECT_EQ(rflash::catalogueRow(code), nullptr);
            EXPECT_EQ(showMessage(code, rflash::MsgPrint), 0);
            EXPECT_EQ(showMessage(code, rflash::MsgInfo), 0);  // no answer scripted: the box was not shown
            EXPECT_EQ(emu::consoleOutput(), std::string(kUnknown) + kUnknown);
            ASSERT_EQ(emu::boxesShown().size(), 1u);
            EXPECT_EQ(emu::boxesShown()[0].text, kUnknown);
        }
    }
}

// Which codes have texts of their own: a line lost from the catalogue shows up here.
TEST(Catalogue, EveryCodeOfTheCatalogueHasBothTexts) {
    const std::set<std::uint32_t> withoutText{18, 29, 38, 43, 62, 71, 79, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98};
    for (std::uint32_t code = 0; code <= rflash::kLastMessageCode; ++code) {
        SCOPED_TRACE(code);
        const rflash::CatalogueRow* row = rflash::catalogueRow(code);
        if (withoutText.count(code) != 0) {
            EXPECT_EQ(row, nullptr);
            continue;
        }
        ASSERT_NE(row, nullptr);
        EXPECT_GT(std::strlen(row->japanese), 1u);
        EXPECT_GT(std::strlen(row->english), 1u);
        EXPECT_GE(std::strlen(row->japaneseUtf8), std::strlen(row->japanese));
    }
}

// showMessage passes each code exactly the arguments below; a text that asked for anything else
// would read arguments that are not there.
TEST(Catalogue, EachTextTakesTheConversionsItsArgumentsFill) {
    const std::map<std::uint32_t, std::vector<std::string>> arguments{
        {11, {"%.12s"}},
        {31, {"%d"}},
        {32, {"%d", "%.4s", "%.24s", "%.4s"}},
        {34, {"%d"}},
        {45, {"%.4s"}},
        {46, {"%.4s"}},
        {58, {"%d"}},
        {82, {"%.24s", "%.5s", "%.8s", "%.24s", "%.5s", "%.8s"}},
    };
    for (std::uint32_t code = 0; code <= rflash::kLastMessageCode; ++code) {
        const rflash::CatalogueRow* row = rflash::catalogueRow(code);
        if (row == nullptr) continue;
        SCOPED_TRACE(code);
        auto expected = arguments.count(code) != 0 ? arguments.at(code) : std::vector<std::string>{};
        EXPECT_EQ(conversionsOf(row->english), expected);
        EXPECT_EQ(conversionsOf(row->japaneseUtf8), expected);
        EXPECT_EQ(conversionsOf(row->japanese), expected);
    }
}

struct PinnedText {
    std::uint32_t code;
    std::string japanese;      // code page 932
    std::string japaneseUtf8;  // as the catalogue is written
    std::string english;
};

TEST(Catalogue, TextsReachConsoleAndBoxAsTheirExactBytes) {
    const std::vector<PinnedText> pinned{
        // The ideographic space between the sentences is 0x81 0x40.
        {13,
         "\n\xD2\xD3\xD8\x82\xCC\x8A\x84\x95t\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81" "B\x81@\xCC"
         "\xDF\xDB\xB8\xDE\xD7\xD1\x82\xF0\x92\x86\x92" "f\x82\xB5\x82\xDC\x82\xB7\x81" "B\n",
         "\n\xEF\xBE\x92\xEF\xBE\x93\xEF\xBE\x98\xE3\x81\xAE\xE5\x89\xB2\xE4\xBB\x98\xE3\x81\xAB\xE5\xA4\xB1\xE6\x95"
         "\x97\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F\xE3\x80\x82\xE3\x80\x80\xEF\xBE\x8C\xEF\xBE\x9F\xEF"
         "\xBE\x9B\xEF\xBD\xB8\xEF\xBE\x9E\xEF\xBE\x97\xEF\xBE\x91\xE3\x82\x92\xE4\xB8\xAD\xE6\x96\xAD\xE3\x81\x97"
         "\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82\n",
         "\nMemory allocation error.  Terminating program\n"},
        // Half-width katakana as single bytes, and an ASCII hyphen among them.
        {37,
         "\r\n\xB6\xB0\xC8\xD9\xD3-\xC4\xDE\x95\x94\x95\xAA\x82\xCC\x8B@\x8E\xED\x8C^\x94\xD4\x82\xAA\x88\xEA\x92v\x82"
         "\xB5\x82\xDC\x82\xB9\x82\xF1\x81" "B",
         "\r\n\xEF\xBD\xB6\xEF\xBD\xB0\xEF\xBE\x88\xEF\xBE\x99\xEF\xBE\x93-\xEF\xBE\x84\xEF\xBE\x9E\xE9\x83\xA8\xE5"
         "\x88\x86\xE3\x81\xAE\xE6\xA9\x9F\xE7\xA8\xAE\xE5\x9E\x8B\xE7\x95\xAA\xE3\x81\x8C\xE4\xB8\x80\xE8\x87\xB4"
         "\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\xE3\x80\x82",
         "\r\nModel name of kernel part is not macthed."},
        // A double-byte character whose second byte is a backslash (0x94 0x5C).
        {28,
         "\r\n\x82\xB1\x82\xCC\xCC\xDF\xDB\xB8\xDE\xD7\xD1\x82\xC5\x97\x98\x97p\x89\xC2\x94\x5C\x82\xC8\xC4\xDE\xD7"
         "\xB2\xCC\xDE\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81" "B",
         "\r\n\xE3\x81\x93\xE3\x81\xAE\xEF\xBE\x8C\xEF\xBE\x9F\xEF\xBE\x9B\xEF\xBD\xB8\xEF\xBE\x9E\xEF\xBE\x97\xEF"
         "\xBE\x91\xE3\x81\xA7\xE5\x88\xA9\xE7\x94\xA8\xE5\x8F\xAF\xE8\x83\xBD\xE3\x81\xAA\xEF\xBE\x84\xEF\xBE\x9E"
         "\xEF\xBE\x97\xEF\xBD\xB2\xEF\xBE\x8C\xEF\xBE\x9E\xE3\x81\x8C\xE3\x81\x82\xE3\x82\x8A\xE3\x81\xBE\xE3\x81"
         "\x9B\xE3\x82\x93\xE3\x80\x82",
         "\r\nAvailable target is not found."},
        // Full-width katakana beside half-width ones; English text of our own wording.
        {76,
         "\r\nDL+R\x96\xA2\x83T\x83|\x81[\x83g\x82\xCC\x83n\x81[\x83h\x83" "E\x83" "F\x83" "A\x82\xC9" "DL+R\x83T\x83|"
         "\x81[\x83g\x82\xCC" "FW\x82\xF0\x8F\x91\x82\xAB\x8D\x9E\x82\xE0\x82\xA4\x82\xC6\x82\xB5\x82\xC4\x82\xA2\x82"
         "\xDC\x82\xB7\x81" "B\r\n\xB1\xAF\xCC\xDF\xC3\xDE\xB0\xC4\x82\xF0\x8Ds\x82\xA2\x82\xDC\x82\xB7\x82\xA9\x81H",
         "\r\nDL+R\xE6\x9C\xAA\xE3\x82\xB5\xE3\x83\x9D\xE3\x83\xBC\xE3\x83\x88\xE3\x81\xAE\xE3\x83\x8F\xE3\x83\xBC"
         "\xE3\x83\x89\xE3\x82\xA6\xE3\x82\xA7\xE3\x82\xA2\xE3\x81\xAB" "DL+R\xE3\x82\xB5\xE3\x83\x9D\xE3\x83\xBC\xE3"
         "\x83\x88\xE3\x81\xAE" "FW\xE3\x82\x92\xE6\x9B\xB8\xE3\x81\x8D\xE8\xBE\xBC\xE3\x82\x82\xE3\x81\x86\xE3\x81"
         "\xA8\xE3\x81\x97\xE3\x81\xA6\xE3\x81\x84\xE3\x81\xBE\xE3\x81\x99\xE3\x80\x82\r\n\xEF\xBD\xB1\xEF\xBD\xAF"
         "\xEF\xBE\x8C\xEF\xBE\x9F\xEF\xBE\x83\xEF\xBE\x9E\xEF\xBD\xB0\xEF\xBE\x84\xE3\x82\x92\xE8\xA1\x8C\xE3\x81"
         "\x84\xE3\x81\xBE\xE3\x81\x99\xE3\x81\x8B\xEF\xBC\x9F",
         "\r\nFW of supporting DL+R is tried to be written to HW of not supporting DL+R.\r\nDo you continue to update ?"},
        {53, "", "",
         "\r\n\"Auto insert notification\" is enabled at the target DVD-RW drive.\r\nPlease disable \"Auto insert "
         "notification\" by the Device Manager of System properties and reboot your PC.\r\nAfter that, re-exxecute "
         "this program."},
    };
    for (const PinnedText& text : pinned) {
        SCOPED_TRACE(text.code);
        const rflash::CatalogueRow* row = rflash::catalogueRow(text.code);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->english, text.english);
        if (!text.japanese.empty()) {
            EXPECT_EQ(row->japanese, text.japanese);
            EXPECT_EQ(row->japaneseUtf8, text.japaneseUtf8);
        }

        // Japanese for 932 only; the bytes reach the console and the box unchanged.
        const std::vector<std::pair<platform::UINT, std::string>> languages{
            {932, row->japanese}, {437, text.english}, {850, text.english}, {0, text.english}};
        for (const auto& [codePage, expected] : languages) {
            SCOPED_TRACE(codePage);
            rflash_test::resetEverything();
            useCodePage(codePage);
            emu::scriptAnswers({platform::IDOK});
            EXPECT_EQ(showMessage(text.code, rflash::MsgInfo), platform::IDOK);
            EXPECT_EQ(emu::consoleOutput(), expected);
            ASSERT_EQ(emu::boxesShown().size(), 1u);
            EXPECT_EQ(emu::boxesShown()[0].text, expected);
        }
    }
}

struct StyleCase {
    std::int32_t style;
    bool printed;
    platform::UINT boxType;  // 0: no box
    int answer;              // what the box returns
    std::int32_t result;
};

TEST(Catalogue, EachStylePrintsBoxesAndAnswersAsItSays) {
    const std::string text = "\r\nUpdate operation is completed.";
    const std::vector<StyleCase> cases{
        {rflash::MsgPrint, true, 0, 0, 0},
        {rflash::MsgAskOkCancel, false, 0x21, platform::IDOK, platform::IDOK},
        {rflash::MsgAskOkCancel, false, 0x21, platform::IDCANCEL, platform::IDCANCEL},
        {rflash::MsgAskYesNo, false, 0x24, platform::IDYES, platform::IDYES},
        {rflash::MsgAskYesNo, false, 0x24, platform::IDNO, platform::IDNO},
        {rflash::MsgAskYesNo, false, 0x24, 0, 0},  // the box could not be shown
        {rflash::MsgError, true, 0x10, platform::IDOK, platform::IDOK},
        {rflash::MsgInfo, true, 0x40, platform::IDOK, platform::IDOK},
        {rflash::MsgWarning, true, 0x30, platform::IDOK, platform::IDOK},
        {rflash::MsgWarning, true, 0x30, 0, 0},
        {3, true, 0, 0, 0},
        {15, true, 0, 0, 0},
        {19, true, 0, 0, 0},
        {-1, true, 0, 0, 0},
    };
    for (const StyleCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "style " << c.style << ", answer " << c.answer);
        rflash_test::resetEverything();
        if (c.answer != 0) emu::scriptAnswers({c.answer});
        EXPECT_EQ(showMessage(35, c.style), c.result);
        EXPECT_EQ(emu::consoleOutput(), c.printed ? text : "");
        if (c.boxType == 0) {
            EXPECT_TRUE(emu::boxesShown().empty());
            continue;
        }
        ASSERT_EQ(emu::boxesShown().size(), 1u);
        const emu::MessageBoxShown& box = emu::boxesShown()[0];
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "RFLASH");
        EXPECT_EQ(box.type, c.boxType);
    }
}

struct ArgumentCase {
    const char* name;
    std::uint32_t code;
    void (*setUp)();
    std::string english;
};

// Fixed-width fields with no terminator, each followed by bytes that must not be printed.
void setUpCurrentDrive() {
    rflash::program.currentTarget = 0;
    rflash::update.inquiryData.fill('#');
    putInquiry(8, "ZANTOVA DVD-RW  QRW-E28 ");
    putInquiry(32, "1.05A");
    putInquiry(37, "09/03/04");
    std::memcpy(rflash::update.newRevisionText.data(), "1.07X", 5);
}

std::vector<std::uint8_t>& imageBytes() {
    static std::vector<std::uint8_t> bytes;
    return bytes;
}

void setUpImageHeader() {
    setUpCurrentDrive();
    std::vector<std::uint8_t>& image = imageBytes();
    image.assign(2048, '*');
    std::memcpy(image.data() + 96, "ZANTOVA DVD-RW  QRW-E28 ", 24);
    std::memcpy(image.data() + 144, "1.07B", 5);
    std::memcpy(image.data() + 304, "09/05/20", 8);
    rflash::discovery.imageBuffer.data = image.data();
    rflash::discovery.imageBuffer.size = image.size();
}

TEST(Catalogue, ArgumentsComeFromTheProgramWideValuesAndStayWithinTheirFields) {
    const std::vector<ArgumentCase> cases{
        {"file name cut at 12", 11,
         [] { std::strcpy(rflash::program.workingEntry.imageFileName, "W7283051.107.backup"); },
         "\r\nFailed to load binary file.\r\n(File Name : W7283051.107)"},
        {"target count", 31, [] { rflash::discovery.targetCount = 3; },
         "\r\n3 target device(s) is found.\r\nDo you want to update all drives ?"},
        {"drive question counts from 0", 32, setUpCurrentDrive,
         "\r\nDo you want to update ID=0 drive to Ver1.07 ?\r\nCurrent FW : ZANTOVA DVD-RW  QRW-E28  1.05"},
        {"start line counts from 1", 34, [] { rflash::program.currentTarget = 0; },
         "\r\nStart updating the device No.1."},
        {"already", 45, setUpCurrentDrive, "\nFW is already Ver1.07."},
        {"no way back", 46, setUpCurrentDrive,
         "\nAfter you change the firmware to ver1.07, \r\nyou can not change the firmware to old version.\r\n"
         "Do you proceed to update ?"},
        {"success count", 58, [] { rflash::program.successCount = 2; },
         "\r\n2drive(s) have been updated successfully."},
        {"from and to", 82, setUpImageHeader,
         "\r\nDo you want to update the F/W\r\nFrom : ZANTOVA DVD-RW  QRW-E28  1.05A (2009/03/04)\r\n"
         "To : ZANTOVA DVD-RW  QRW-E28  1.07B (2009/05/20)"},
        {"no image buffer", 82, setUpCurrentDrive,
         "\r\nDo you want to update the F/W\r\nFrom : ZANTOVA DVD-RW  QRW-E28  1.05A (2009/03/04)\r\nTo :   (20)"},
        {"image shorter than its header", 82,
         [] {
             setUpImageHeader();
             rflash::discovery.imageBuffer.size = 147;  // ends inside the revision text
         },
         "\r\nDo you want to update the F/W\r\nFrom : ZANTOVA DVD-RW  QRW-E28  1.05A (2009/03/04)\r\n"
         "To : ZANTOVA DVD-RW  QRW-E28  1.0 (20)"},
    };
    for (const ArgumentCase& c : cases) {
        SCOPED_TRACE(c.name);
        rflash_test::resetEverything();
        c.setUp();
        useCodePage(437);
        EXPECT_EQ(showMessage(c.code, rflash::MsgPrint), 0);
        EXPECT_EQ(emu::consoleOutput(), c.english);
    }
}

TEST(Catalogue, JapaneseTextsTakeTheSameArguments) {
    rflash::program.currentTarget = 1;
    useCodePage(932);
    showMessage(34, rflash::MsgPrint);
    EXPECT_EQ(emu::consoleOutput(),
              "\r\n2\x91\xE4\x96\xDA\x82\xCC\xC4\xDE\xD7\xB2\xCC\xDE\x82\xCC\xB1\xAF\xCC\xDF\xC3\xDE\xB0\xC4\x82\xF0\x8A"
              "J\x8En\x82\xB5\x82\xDC\x82\xB7\x81" "B");
}

// The text is built from the values at the moment of the call, never from an earlier one.
TEST(Catalogue, EachCallReadsTheValuesAnew) {
    rflash::program.currentTarget = 9;
    showMessage(34, rflash::MsgPrint);
    rflash::program.currentTarget = 0;
    showMessage(34, rflash::MsgPrint);
    EXPECT_EQ(emu::consoleOutput(), "\r\nStart updating the device No.10.\r\nStart updating the device No.1.");
}

}  // namespace
