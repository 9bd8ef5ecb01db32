// What the host reports, so that the program takes the pass-through path.
#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

using namespace platform;

TEST(Host, OffersPassThroughOnly) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_EQ(GetVersionExA(&version), TRUE);
    EXPECT_EQ(version.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_GT(version.dwMajorVersion, 0u);
    EXPECT_EQ(version.dwOSVersionInfoSize, sizeof version);

    HKEY key = HKEY_LOCAL_MACHINE;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\INTEL\\Intel Ultra ATA Storage Driver", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(LoadLibraryA("WNASPI32.DLL"), nullptr);
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, nullptr), nullptr);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

TEST(Host, GlobalMemoryIsZeroFilledAndStaysPut) {
    constexpr SIZE_T kBlock = 8 * 1024 * 1024;
    HGLOBAL block = GlobalAlloc(GHND, kBlock);
    ASSERT_NE(block, nullptr);
    auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
    EXPECT_EQ(static_cast<void*>(bytes), block);
    EXPECT_TRUE(std::all_of(bytes, bytes + kBlock, [](unsigned char b) { return b == 0; }));
    GlobalUnlock(block);
    EXPECT_EQ(GlobalLock(block), bytes);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(Host, ClockCountsMillisecondsAndGrantsOneMillisecondPeriods) {
    EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_NE(timeBeginPeriod(0), TIMERR_NOERROR);
    DWORD start = timeGetTime();
    Sleep(20);
    EXPECT_GE(timeGetTime() - start, 20u);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
}

}  // namespace
