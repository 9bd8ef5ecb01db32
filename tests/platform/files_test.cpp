// The emulated current directory and the firmware images built for it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/emulated/files.h"
#include "platform/emulated/firmware_images.h"
#include "platform/emulated/handles.h"
#include "platform/platform.h"
#include "update/firmware_image.h"

namespace {

using namespace platform;

HANDLE openForReading(const char* name) {
    return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::vector<std::uint8_t> readAll(HANDLE file, DWORD chunk) {
    DWORD high = 1;
    DWORD size = GetFileSize(file, &high);
    EXPECT_EQ(high, 0u);
    std::vector<std::uint8_t> bytes(size);
    DWORD total = 0;
    while (total < size) {
        DWORD read = 0;
        EXPECT_TRUE(ReadFile(file, bytes.data() + total, std::min(chunk, size - total), &read, nullptr));
        if (read == 0) break;
        total += read;
    }
    DWORD read = 1;
    EXPECT_TRUE(ReadFile(file, bytes.data(), 1, &read, nullptr));  // at the end: nothing more
    EXPECT_EQ(read, 0u);
    return bytes;
}

TEST(EmulatedFiles, ReadsATableFileByNameInAnyCaseAndRecordsWhereTheBytesWent) {
    std::vector<std::uint8_t> content = {1, 2, 3, 4, 5, 6, 7};
    emu::addFile("Image.BIN", content);
    HANDLE file = openForReading("image.bin");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(readAll(file, 3), content);
    EXPECT_EQ(emu::fileReads().size(), 4u);
    EXPECT_EQ(emu::fileReads()[1].delivered, 3u);
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::File), 1);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::File), 0);
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);  // a closed handle reaches nothing
}

TEST(EmulatedFiles, MissingFilesWritingAndInjectedFaultsFailAsThePlatformDoes) {
    EXPECT_EQ(openForReading("W7283051.107"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 2u);
    emu::addFile("a", {1, 2, 3, 4});
    EXPECT_EQ(CreateFileA("a", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);

    emu::setFileFault("a", emu::FileFault::OpenRefused);
    EXPECT_EQ(openForReading("a"), INVALID_HANDLE_VALUE);

    emu::setFileFault("a", emu::FileFault::SizeFails);
    HANDLE file = openForReading("a");
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
    CloseHandle(file);

    std::uint8_t bytes[4] = {};
    DWORD read = 9;
    emu::setFileFault("a", emu::FileFault::ReadFails);
    file = openForReading("a");
    EXPECT_FALSE(ReadFile(file, bytes, 4, &read, nullptr));
    EXPECT_EQ(read, 0u);
    CloseHandle(file);

    emu::setFileFault("a", emu::FileFault::ShortRead);
    file = openForReading("a");
    EXPECT_TRUE(ReadFile(file, bytes, 4, &read, nullptr));
    EXPECT_EQ(read, 2u);
    EXPECT_TRUE(ReadFile(file, bytes, 2, &read, nullptr));
    EXPECT_EQ(read, 0u);
    CloseHandle(file);
    EXPECT_EQ(emu::filesOpened().size(), 6u);
}

TEST(EmulatedFiles, RealFilesComeFromTheRealCurrentDirectory) {
    std::filesystem::path folderPath = std::filesystem::temp_directory_path() /
                                       ("rflash-files-" + std::to_string(std::random_device{}()));
    ASSERT_TRUE(std::filesystem::create_directory(folderPath));
    std::string directory = folderPath.string();
    std::string path = directory + "/real.bin";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite("abcdef", 1, 6, out);
    std::fclose(out);

    emu::addFile(path, {9});  // the table is not consulted in this mode
    emu::useRealFiles(true);
    HANDLE file = openForReading(path.c_str());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(readAll(file, 4), (std::vector<std::uint8_t>{'a', 'b', 'c', 'd', 'e', 'f'}));
    CloseHandle(file);
    EXPECT_EQ(openForReading((std::string(directory) + "/absent").c_str()), INVALID_HANDLE_VALUE);
    HANDLE folder = openForReading(directory.c_str());
#ifdef _WIN32
    EXPECT_EQ(folder, INVALID_HANDLE_VALUE);  // the C runtime opens no directory there
#else
    EXPECT_EQ(GetFileSize(folder, nullptr), INVALID_FILE_SIZE);  // a directory opens but has no size
    CloseHandle(folder);
#endif

    std::filesystem::remove_all(folderPath);
}

std::string field(const std::vector<std::uint8_t>& image, std::size_t offset, std::size_t width) {
    return std::string(image.begin() + static_cast<std::ptrdiff_t>(offset),
                       image.begin() + static_cast<std::ptrdiff_t>(offset + width));
}

TEST(FirmwareImages, PutsEveryHeaderFieldAtItsOffset) {
    emu::ImageRecipe recipe;
    recipe.revision = "1.07";
    recipe.date = 0x20090401;
    recipe.hardwareRevision = "SAT";
    recipe.normalVendorCode = "KITSET";
    recipe.partLetter = 'P';
    std::vector<std::uint8_t> image = emu::buildFirmwareImage(recipe);
    EXPECT_EQ(image.size(), 2u * 1024 * 1024);
    EXPECT_EQ(field(image, rflash::kImageIdentificationOffset, 24), "ZANTOVA DVD-RW  QRW-E28 ");
    EXPECT_EQ(field(image, rflash::kImageRevisionTextOffset, 5), "1.07 ");
    EXPECT_EQ(field(image, rflash::kImageHardwareRevisionOffset, 8), "SAT     ");
    EXPECT_EQ(field(image, rflash::kImageKernelVendorCodeOffset, 8), "STOCK   ");
    EXPECT_EQ(field(image, rflash::kImageNormalVendorCodeOffset, 8), "KITSET  ");
    EXPECT_EQ(field(image, rflash::kImagePartLetterOffset, 1), "P");
    EXPECT_EQ(field(image, rflash::kImageDateTextOffset, 8), "09/04/01");
    EXPECT_EQ(image[0x1FFFFF], emu::imageFillerByte(0x1FFFFF));

    recipe.dateForm = emu::ImageDateForm::MonthName;
    recipe.date = 0x20101031;
    image = emu::buildFirmwareImage(recipe);
    EXPECT_EQ(field(image, rflash::kImageIdentificationOffset, 8), "Quellon ");
    EXPECT_EQ(field(image, rflash::kImageDateTextOffset, 10), "Oct31 2010");

    recipe.size = 200;  // a header cut short keeps what fits
    EXPECT_EQ(emu::buildFirmwareImage(recipe).size(), 200u);
}

TEST(FirmwareImages, FillerDiffersBetweenPiecesAtTheSameOffset) {
    int same = 0;
    for (std::size_t i = 0; i < 256; ++i) same += emu::imageFillerByte(i) == emu::imageFillerByte(i + 0x8000);
    EXPECT_LT(same, 16);
}

}  // namespace
