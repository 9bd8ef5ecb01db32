// The native backend against the real Windows API (run under Wine in CI). The structures and
// constants are proven at compile time (src/platform/win32/layout.cpp); these tests show that
// the calls reach the system and come back as platform.h promises.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "console_sample.h"
#include "platform/platform.h"
#include "sdk_helpers.h"

namespace {

using namespace platform;

// A console program of this kind writes through the C runtime's stdout in text mode: the bytes
// that leave the process are the texts with each "\n" turned into "\r\n", nothing else changed.
TEST(Win32Console, PrintTextWritesThroughTheRuntimesTextMode) {
    auto output = win32_test::runSelf(win32_test::kPrintArgument);
    ASSERT_TRUE(output.has_value()) << "the child process did not run";
    EXPECT_EQ(*output, win32_test::kConsoleBytes);
}

TEST(Win32Console, BoxThatCannotBeShownAnswersZero) {
    if (!win32_test::underWine() || std::getenv("DISPLAY") != nullptr) {
        GTEST_SKIP() << "needs Wine without a display server: elsewhere the box would wait for a click";
    }
    EXPECT_EQ(MessageBoxA(nullptr, "text", "RFLASH", MB_YESNO | MB_ICONQUESTION), 0);
}

TEST(Win32Events, AutoResetEventEndsOneWaitPerSignal) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
    ASSERT_TRUE(win32_test::signalEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 10), WAIT_TIMEOUT);
    EXPECT_EQ(CloseHandle(event), TRUE);
}

TEST(Win32Clock, MillisecondClockFollowsSleeps) {
    ASSERT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    DWORD start = timeGetTime();
    Sleep(50);
    // Unsigned difference: right across the wrap of the 32-bit count.
    EXPECT_GE(timeGetTime() - start, 45u);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
}

TEST(Win32Files, ReadsAWholeFileAndReportsAMissingOne) {
    const std::string name = "backend_test_image.bin";
    std::vector<char> bytes(70000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 1;
    EXPECT_EQ(GetFileSize(file, &high), bytes.size());
    EXPECT_EQ(high, 0u);
    std::vector<char> read(bytes.size() + 10);
    DWORD count = 0;
    EXPECT_EQ(ReadFile(file, read.data(), static_cast<DWORD>(read.size()), &count, nullptr), TRUE);
    ASSERT_EQ(count, bytes.size());
    read.resize(count);
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(CloseHandle(file), TRUE);
    std::remove(name.c_str());

    EXPECT_EQ(CreateFileA("no such image.107", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// The pass-through request on something that is not a drive: the system refuses the call itself.
TEST(Win32PassThrough, NoDriveNoRequest) {
    EXPECT_EQ(CreateFileA("\\\\.\\Q:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);

    const char* name = "backend_test_not_a_drive.bin";
    std::ofstream(name) << "x";
    HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER record{};
    record.sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    record.sptd.CdbLength = 6;
    record.sptd.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED;
    record.sptd.TimeOutValue = 2;
    DWORD returned = 0;
    EXPECT_EQ(DeviceIoControl(file, IOCTL_SCSI_PASS_THROUGH_DIRECT, &record, sizeof record, &record,
                              sizeof record, &returned, nullptr),
              FALSE);
    EXPECT_EQ(record.sptd.ScsiStatus, 0) << "nothing reached a drive";
    CloseHandle(file);
    std::remove(name);
}

TEST(Win32Registry, LocalMachineKeysOpenByPath) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(HKEY_LOCAL_MACHINE), win32_test::sdkLocalMachineKey());
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\INTEL\\Intel Ultra ATA Storage Driver", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST(Win32Memory, GlobalBlocksAreZeroFilledAndFreed) {
    constexpr SIZE_T kTwoMiB = 2 * 1024 * 1024;
    HGLOBAL block = GlobalAlloc(GHND, kTwoMiB);
    ASSERT_NE(block, nullptr);
    auto* bytes = static_cast<const unsigned char*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    std::size_t nonZero = 0;
    for (SIZE_T i = 0; i < kTwoMiB; ++i) nonZero += bytes[i] != 0;
    EXPECT_EQ(nonZero, 0u);
    GlobalUnlock(block);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(Win32Library, MissingLibraryDoesNotLoad) {
    EXPECT_EQ(LoadLibraryA("RFLASHNONE.DLL"), nullptr);
}

}  // namespace
