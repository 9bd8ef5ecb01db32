// Ordinary files through CreateFileA, GetFileSize and ReadFile.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/devices.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;

class Files : public testing::Test {
protected:
    Files() {
        std::string pattern = (fs::temp_directory_path() / "rflash-files-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
    }
    ~Files() override { fs::remove_all(folder); }

    static HANDLE open(const fs::path& path, DWORD disposition = OPEN_EXISTING) {
        return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }

    fs::path folder;
};

TEST_F(Files, WholeFileIsRead) {
    std::vector<char> image(300000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
    std::ofstream(folder / "W7283051.107", std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));

    HANDLE file = open(folder / "W7283051.107");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 1;
    EXPECT_EQ(GetFileSize(file, &high), image.size());
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(GetFileSize(file, nullptr), image.size());

    std::vector<char> buffer(image.size() + 100);
    DWORD read = 0;
    ASSERT_EQ(ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr), TRUE);
    EXPECT_EQ(read, image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), buffer.begin()));
    ASSERT_EQ(ReadFile(file, buffer.data(), 10, &read, nullptr), TRUE);
    EXPECT_EQ(read, 0u);

    EXPECT_EQ(CloseHandle(file), TRUE);
    EXPECT_EQ(CloseHandle(file), FALSE);  // a closed handle names nothing any more
    EXPECT_EQ(ReadFile(file, buffer.data(), 10, &read, nullptr), FALSE);
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
}

TEST_F(Files, OnlyExistingOrdinaryFilesOpen) {
    constexpr DWORD kCreateAlways = 2;
    fs::create_directory(folder / "directory");
    EXPECT_EQ(open(folder / "missing"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(open(folder / "directory"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(open(folder / "created", kCreateAlways), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fs::exists(folder / "created"));
}

TEST_F(Files, TakeNoDeviceRequests) {
    std::ofstream(folder / "image") << "image";
    HANDLE file = open(folder / "image");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER request{};
    request.sptd.Length = sizeof request.sptd;
    request.sptd.CdbLength = 6;
    PREVENT_MEDIA_REMOVAL off{1};
    DWORD returned = 0;
    EXPECT_EQ(DeviceIoControl(file, IOCTL_SCSI_PASS_THROUGH_DIRECT, &request, sizeof request, &request, sizeof request,
                              &returned, nullptr),
              FALSE);
    EXPECT_EQ(DeviceIoControl(file, IOCTL_STORAGE_MCN_CONTROL, &off, sizeof off, nullptr, 0, &returned, nullptr), FALSE);
    EXPECT_EQ(CloseHandle(file), TRUE);
    EXPECT_EQ(DeviceIoControl(file, IOCTL_STORAGE_MCN_CONTROL, &off, sizeof off, nullptr, 0, &returned, nullptr), FALSE);
}

TEST(Devices, OnlyLettersDToZNameDrives) {
    struct Case {
        const char* path;
        std::optional<int> drive;
    };
    const Case cases[] = {
        {"\\\\.\\D:", 0}, {"\\\\.\\E:", 1},         {"\\\\.\\Z:", 22},      {"\\\\.\\d:", 0},
        {"\\\\.\\C:", {}}, {"\\\\.\\A:", {}},       {"\\\\.\\D", {}},       {"\\\\.\\D:\\", {}},
        {"\\\\.\\DD:", {}}, {"\\\\.\\[:", {}},      {"D:", {}},             {"\\\\?\\D:", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(platform::posix::driveIndexForPath(c.path), c.drive);
    }
}

}  // namespace
