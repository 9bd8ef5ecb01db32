// Images the program refuses, and drives it leaves alone: nothing that changes a drive is sent.
#include <gtest/gtest.h>

#include "platform/emulated/devices.h"
#include "scenarios/scenario_fixture.h"
#include "support/fresh_state.h"

namespace {

using namespace rflash_test;

TEST(RefusedImages, EachRefusalSaysWhyAndLeavesTheDriveAlone) {
    const std::string loadFailed = "\r\nFailed to load binary file.\r\n(File Name : W7283051.107)";
    const std::string tooOld = "\r\nSelected file is too old fw file.";
    const std::string illegal = "\r\nSelected file is illegal fw file.";
    const std::string latest = "\r\nFW is already latest.";
    const std::string preProduction =
        "\r\nThis drive has written an older revision F/W than the mass production.\r\n"
        "This program does not support to update not mass production drive.";
    const std::string hardware = "\nHardware Revision is not matched.";
    const std::vector<std::string> selected = sequence({kFound, {kInquiry, kDriveInfo}});
    const std::vector<std::string> checked = sequence({kFound, kSelectedAndChecked});

    struct Case {
        const char* scenario;
        int exitCode;
        std::string console;  // after the banner and the drive's start line
        std::vector<Box> boxes;
        std::vector<std::string> commands;
    };
    const Case cases[] = {
        {"image-too-old", 1, tooOld + loadFailed + kTerminated,
         {{tooOld, kErrorBox, 1}, {loadFailed, kErrorBox, 1}, {kTerminated, kWarningBox, 1}}, selected},
        {"image-wrong-edition", 1, illegal + loadFailed + kTerminated,
         {{illegal, kErrorBox, 1}, {loadFailed, kErrorBox, 1}, {kTerminated, kWarningBox, 1}}, selected},
        {"image-wrong-part", 1, illegal + loadFailed + kTerminated,
         {{illegal, kErrorBox, 1}, {loadFailed, kErrorBox, 1}, {kTerminated, kWarningBox, 1}}, selected},
        {"image-missing", 1, loadFailed + kTerminated, {{loadFailed, kErrorBox, 1}, {kTerminated, kWarningBox, 1}},
         selected},
        {"already-latest", 0, kCurrent105 + latest, {{latest, kInfoBox, 1}}, checked},
        {"pre-production", 0, "\nCurrent Revision>> ZANTOVA DVD-RW  QRW-E28  0.99  09/03/04" + preProduction,
         {{preProduction, kErrorBox, 1}}, checked},
        {"hardware-mismatch", 0, kCurrent105 + hardware, {{hardware, kErrorBox, 1}}, checked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        resetEverything();
        EXPECT_EQ(runScenario(c.scenario, {1, 1, 1}), c.exitCode);
        EXPECT_EQ(emu::consoleOutput(), kBanner + startingDevice(1) + c.console);
        EXPECT_EQ(boxes(), c.boxes);
        EXPECT_EQ(cdbsOf(0), c.commands);
    }
}

TEST(RefusedImages, WithoutADriveToUpdateTheRunEndsAtOnce) {
    const std::string notFound = "\r\nAvailable target is not found.";
    EXPECT_EQ(runScenario("no-drive", {1}), 1);
    EXPECT_EQ(emu::consoleOutput(), kBanner + notFound);
    EXPECT_EQ(boxes(), (std::vector<Box>{{notFound, kInfoBox, 1}}));
    EXPECT_EQ(cdbsOf(0), kFound);
}

}  // namespace
