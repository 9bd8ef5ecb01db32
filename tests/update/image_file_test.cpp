// Loading the firmware image file: what reaches imageBuffer, what is decoded, what is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "discovery/state.h"
#include "driver/state.h"
#include "platform/emulated/console.h"
#include "platform/emulated/files.h"
#include "platform/emulated/firmware_images.h"
#include "platform/emulated/handles.h"
#include "platform/emulated/host.h"
#include "update/firmware_image.h"
#include "update/state.h"

namespace {

constexpr char kTooOld[] = "\r\nSelected file is too old fw file.";
constexpr char kIllegal[] = "\r\nSelected file is illegal fw file.";

class ImageFile : public ::testing::Test {
protected:
    void SetUp() override {
        rflash::discovery.imageBuffer = {nullptr, buffer.data(), buffer.size()};
        rflash::program.updateDefinitions[0].minimumImageDate = 0x20090304;
        std::strcpy(rflash::program.workingEntry.imageFileName, emu::kDefaultImageName);
        rflash::program.workingEntry.selectedEntryIndex = 0;
    }

    std::int32_t loadWith(const emu::ImageRecipe& recipe) {
        emu::addFile(emu::kDefaultImageName, emu::buildFirmwareImage(recipe));
        return rflash::loadFirmwareImage();
    }

    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(2 * 1024 * 1024 + 16);
};

TEST_F(ImageFile, LoadsTheWholeFileInPlaceAndDecodesItsHeader) {
    emu::ImageRecipe recipe;
    recipe.revision = "1.07A";
    recipe.date = 0x20090401;
    recipe.size = 2 * 1024 * 1024;
    std::vector<std::uint8_t> file = emu::buildFirmwareImage(recipe);
    emu::addFile("w7283051.107", file);  // names are found whatever their case

    ASSERT_EQ(rflash::loadFirmwareImage(), 0);
    EXPECT_EQ(rflash::program.workingEntry.imageSize, 2 * 1024 * 1024);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), buffer.begin()));
    EXPECT_EQ(rflash::program.newRevision, 0x0107);
    EXPECT_EQ(std::string(rflash::update.newRevisionText.data(), 5), "1.07A");
    EXPECT_EQ(rflash::update.imageDate, 0x20090401u);
    EXPECT_EQ(emu::consoleOutput(), "");
    // Read straight into imageBuffer, and the file is closed again.
    ASSERT_FALSE(emu::fileReads().empty());
    EXPECT_EQ(emu::fileReads().front().destination, buffer.data());
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::File), 0);
}

TEST_F(ImageFile, JudgesTheDateAgainstTheSelectedEntrysMinimumInBothForms) {
    struct Case {
        std::uint32_t date;
        emu::ImageDateForm form;
        std::int32_t result;
    };
    for (const Case& c : {Case{0x20090304, emu::ImageDateForm::Short, 0},
                          Case{0x20090303, emu::ImageDateForm::Short, -1},
                          Case{0x20090304, emu::ImageDateForm::MonthName, 0},
                          Case{0x20090303, emu::ImageDateForm::MonthName, -1},
                          Case{0x20081231, emu::ImageDateForm::MonthName, -1},
                          Case{0x20100101, emu::ImageDateForm::MonthName, 0}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.date << " form " << static_cast<int>(c.form));
        emu::reset();
        emu::ImageRecipe recipe;
        recipe.date = c.date;
        recipe.dateForm = c.form;
        EXPECT_EQ(loadWith(recipe), c.result);
        EXPECT_EQ(rflash::update.imageDate, c.date);
        EXPECT_EQ(emu::consoleOutput(), c.result == 0 ? "" : kTooOld);
    }
}

TEST_F(ImageFile, RefusesAnImageOfAnotherLoaderEditionOrPart) {
    struct Case {
        const char* kernelVendorCode;
        char partLetter;
        std::int32_t result;
    };
    for (const Case& c : {Case{"STOCK   ", 'N', 0}, Case{"STOCK   ", 'P', 0}, Case{"KITSET  ", 'N', -1},
                          Case{"STOCKX  ", 'N', -1}, Case{"STOCK   ", 'K', -1}, Case{"STOCK   ", 'n', -1}}) {
        SCOPED_TRACE(testing::Message() << c.kernelVendorCode << " " << c.partLetter);
        emu::reset();
        emu::ImageRecipe recipe;
        recipe.kernelVendorCode = c.kernelVendorCode;
        recipe.partLetter = c.partLetter;
        EXPECT_EQ(loadWith(recipe), c.result);
        EXPECT_EQ(emu::consoleOutput(), c.result == 0 ? "" : kIllegal);
    }
}

TEST_F(ImageFile, AFileThatCannotBeReadWholeIsALoadFailureWithoutAMessage) {
    struct Case {
        const char* what;
        std::size_t size;
        emu::FileFault fault;
        bool present;
    };
    const std::size_t fits = buffer.size();
    for (const Case& c : {Case{"missing", 4096, emu::FileFault::None, false},
                          Case{"open refused", 4096, emu::FileFault::OpenRefused, true},
                          Case{"size fails", 4096, emu::FileFault::SizeFails, true},
                          Case{"read fails", 4096, emu::FileFault::ReadFails, true},
                          Case{"short read", 4096, emu::FileFault::ShortRead, true},
                          Case{"empty", 0, emu::FileFault::None, true},
                          Case{"one byte larger than imageBuffer", fits + 1, emu::FileFault::None, true}}) {
        SCOPED_TRACE(c.what);
        emu::reset();
        std::fill(buffer.begin(), buffer.end(), 0xEE);
        if (c.present) {
            emu::ImageRecipe recipe;
            recipe.size = c.size;
            emu::addFile(emu::kDefaultImageName, emu::buildFirmwareImage(recipe));
            emu::setFileFault(emu::kDefaultImageName, c.fault);
        }
        EXPECT_EQ(rflash::loadFirmwareImage(), -1);
        EXPECT_EQ(emu::consoleOutput(), "");
        EXPECT_EQ(emu::openHandleCount(emu::HandleKind::File), 0);
        for (const emu::FileRead& read : emu::fileReads()) {
            EXPECT_LE(static_cast<const std::uint8_t*>(read.destination) + read.requested, buffer.data() + fits);
        }
    }
    // The file that is too large was never read at all.
    EXPECT_TRUE(emu::fileReads().empty());
    EXPECT_EQ(buffer.back(), 0xEE);
}

TEST_F(ImageFile, AFileShorterThanTheHeaderIsJudgedOnZerosNotOnAnEarlierImage) {
    ASSERT_EQ(loadWith({}), 0);
    std::vector<std::uint8_t> truncated = emu::buildFirmwareImage();
    truncated.resize(rflash::kImageDateTextOffset);  // everything up to the date text
    emu::addFile(emu::kDefaultImageName, truncated);

    EXPECT_EQ(rflash::loadFirmwareImage(), -1);
    EXPECT_EQ(rflash::update.imageDate, 0x20000000u);
    EXPECT_EQ(emu::consoleOutput(), kTooOld);
    EXPECT_EQ(rflash::program.workingEntry.imageSize, static_cast<std::int32_t>(truncated.size()));
    EXPECT_TRUE(std::all_of(buffer.begin() + truncated.size(), buffer.begin() + rflash::kImageHeaderLength,
                            [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
