#include <gtest/gtest.h>

#include <string>

#include "messages/console.h"
#include "messages/state.h"
#include "platform/emulated/console.h"

namespace {

TEST(Console, PrintTextWritesItsBytesUnchangedAndAddsNothing) {
    rflash::printText("100%% done, %d left, %s\r");
    rflash::printText("");
    rflash::printText("\x83\x5C\x94\x5C|");  // double-byte characters whose second byte is a backslash
    EXPECT_EQ(emu::consoleOutput(), "100%% done, %d left, %s\r\x83\x5C\x94\x5C|");
}

TEST(Console, ScratchTextHoldsOnlyTheLatestFormatting) {
    rflash::formatScratch("\rProcessing %d%%", 42);
    EXPECT_EQ(rflash::messages.scratchText, "\rProcessing 42%");
    rflash::formatScratch("%.4s|%1d.%02d%c", "1.07B", 2, 5, 'B');
    EXPECT_EQ(rflash::messages.scratchText, "1.07|2.05B");
    rflash::formatScratch("%s", "");
    EXPECT_EQ(rflash::messages.scratchText, "");
    EXPECT_EQ(emu::consoleOutput(), "");
}

TEST(Console, MessageBoxIsNotPrintedAndReturnsTheButton) {
    emu::scriptAnswers({6, 7});
    EXPECT_EQ(rflash::showMessageBox("first", 2), 6);
    EXPECT_EQ(rflash::showMessageBox("second", 2), 7);
    EXPECT_EQ(rflash::showMessageBox("unshown", 17), 0);
    EXPECT_EQ(emu::consoleOutput(), "");
    ASSERT_EQ(emu::boxesShown().size(), 3u);
    EXPECT_EQ(emu::boxesShown()[2].text, "unshown");
    EXPECT_EQ(emu::boxesShown()[2].caption, "RFLASH");
    EXPECT_EQ(emu::boxesShown()[2].type, 0x40u);
}

}  // namespace
