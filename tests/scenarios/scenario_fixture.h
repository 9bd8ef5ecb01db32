// Whole runs of the program on a named emulated PC, and the words to state what they did: the
// console bytes, the boxes with their answers, and the commands each drive received.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/program.h"
#include "platform/emulated/console.h"
#include "platform/emulated/devices.h"
#include "platform/emulated/scenarios.h"
#include "platform/platform.h"

namespace rflash_test {

// CDBs as the drives see them, in hex.
inline const std::string kInquiry = "12 00 00 00 60 00";
inline const std::string kDriveInfo = "3C 02 F1 00 00 00 00 00 30 00";
inline const std::string kStopUnit = "1B 00 00 00 00 00";
inline const std::string kTestUnitReady = "00 00 00 00 00 00";
inline const std::string kEnterKernelMode = "3B 04 FF 00 00 00 00 01 00 00";
inline const std::string kEnterNormalMode = "3B 05 FF 00 00 00 00 01 00 00";

inline std::string piece(std::uint32_t offset, std::uint32_t length = 0x8000) {
    char text[40];
    std::snprintf(text, sizeof text, "3B 07 F0 %02X %02X %02X 00 %02X %02X 00", offset >> 16 & 0xFF,
                  offset >> 8 & 0xFF, offset & 0xFF, length >> 8 & 0xFF, length & 0xFF);
    return text;
}

// The 64 pieces of a 2 MiB image, in order.
inline std::vector<std::string> allPieces() {
    std::vector<std::string> pieces;
    for (std::uint32_t offset = 0; offset < 0x200000; offset += 0x8000) pieces.push_back(piece(offset));
    return pieces;
}

inline std::string cdbHex(const emu::TraceEntry& entry) {
    std::string text;
    for (std::size_t i = 0; i < entry.cdbLength; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", entry.cdb[i]);
        text += byte;
    }
    return text;
}

inline std::vector<std::string> cdbsOf(emu::DeviceId device) {
    std::vector<std::string> cdbs;
    for (const emu::TraceEntry& entry : emu::traceOf(device)) cdbs.push_back(cdbHex(entry));
    return cdbs;
}

// Concatenates lists of CDBs.
inline std::vector<std::string> sequence(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The commands of one drive's enumeration, its selection and checks, its preparation.
inline const std::vector<std::string> kFound = {kInquiry, kDriveInfo};
inline const std::vector<std::string> kSelectedAndChecked = {kInquiry, kDriveInfo, kInquiry, kDriveInfo};
inline const std::vector<std::string> kPrepared = {kStopUnit, kTestUnitReady};

struct Box {
    std::string text;
    platform::UINT type;
    int answer;
    bool operator==(const Box&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "Box{" << ::testing::PrintToString(box.text) << ", 0x" << std::hex << box.type << std::dec
               << ", " << box.answer << "}";
}

constexpr platform::UINT kYesNoBox = platform::MB_YESNO | platform::MB_ICONQUESTION;
constexpr platform::UINT kErrorBox = platform::MB_OK | platform::MB_ICONERROR;
constexpr platform::UINT kInfoBox = platform::MB_OK | platform::MB_ICONINFORMATION;
constexpr platform::UINT kWarningBox = platform::MB_OK | platform::MB_ICONWARNING;

inline std::vector<Box> boxes() {
    std::vector<Box> shown;
    for (const emu::MessageBoxShown& box : emu::boxesShown()) {
        EXPECT_EQ(box.caption, "RFLASH");
        shown.push_back({box.text, box.type, box.answer});
    }
    return shown;
}

// Runs the program on the named machine with these answers; returns its exit code.
inline int runScenario(const char* name, std::vector<int> answers) {
    const emu::Scenario* scenario = emu::findScenario(name);
    EXPECT_NE(scenario, nullptr) << name;
    if (scenario == nullptr) return -1;
    emu::setUpScenario(*scenario);
    emu::scriptAnswers(std::move(answers));
    return rflash::runMainSequence();
}

// The console text of one successful transfer: a line feed, then a progress line per piece.
inline std::string progressOf64Pieces() {
    const int percents[] = {0,  1,  3,  4,  6,  7,  9,  10, 12, 14, 15, 17, 18, 20, 21, 23, 25, 26, 28, 29, 31, 32,
                            34, 35, 37, 39, 40, 42, 43, 45, 46, 48, 50, 51, 53, 54, 56, 57, 59, 60, 62, 64, 65, 67,
                            68, 70, 71, 73, 75, 76, 78, 79, 81, 82, 84, 85, 87, 89, 90, 92, 93, 95, 96, 98};
    std::string text = "\n";
    for (int percent : percents) text += "\rProcessing " + std::to_string(percent) + "%";
    return text;
}

// Texts of the run, in English.
inline const std::string kBanner = "\n/// Quarnel Ver2.59B\n";
inline const std::string kClosingLine = "\rProcessing 100% --> Data transfer complete\r\nNow internal re-flashing...";
inline const std::string kNowUpdating =
    "\r\nNow updating the firmware.\r\nPlease do not turn off the power and do not reset the pc.";
inline const std::string kCurrent105 = "\nCurrent Revision>> ZANTOVA DVD-RW  QRW-E28  1.05  09/03/04";
inline const std::string kNew107 = "\nNew Revision    >> ZANTOVA DVD-RW  QRW-E28  1.07  09/04/01";
inline const std::string kSuccess = "\nSuccess to update the firmware.";
inline const std::string kCompleted = "\r\nUpdate operation is completed.";
inline const std::string kTerminated = "\r\nUpdate program is terminated by occuring an error.\r\n";
inline const std::string kRetryQuestion = "\nFailed to move to the normal mode.\r\nDo you retry to update ?";
inline const std::string kQuestion105To107 =
    "\r\nDo you want to update the F/W\r\nFrom : ZANTOVA DVD-RW  QRW-E28  1.05  (2009/03/04)\r\n"
    "To : ZANTOVA DVD-RW  QRW-E28  1.07  (2009/04/01)";

inline std::string startingDevice(int number) {
    return "\r\nStart updating the device No." + std::to_string(number) + ".";
}

}  // namespace rflash_test
