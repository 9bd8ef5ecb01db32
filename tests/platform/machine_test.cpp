// The emulated machine behaves as the platform does where the program relies on it.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/emulated/machine.h"
#include "platform/platform.h"

namespace {

TEST(EmulatedMachine, GetVersionExAWantsTheRecordSizeFilledIn) {
    emu::setWindowsVersion(platform::VER_PLATFORM_WIN32_WINDOWS, 4, 90);
    platform::OSVERSIONINFOA version{};
    EXPECT_EQ(platform::GetVersionExA(&version), platform::FALSE);

    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_EQ(platform::GetVersionExA(&version), platform::TRUE);
    EXPECT_EQ(version.dwPlatformId, platform::VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(version.dwMajorVersion, 4u);
    EXPECT_EQ(version.dwMinorVersion, 90u);
}

TEST(EmulatedMachine, RegistryKeysOpenOnlyUnderLocalMachineAndCloseOnce) {
    emu::addRegistryKey("SOFTWARE\\Example");
    platform::HKEY key = nullptr;
    EXPECT_EQ(platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, "software\\EXAMPLE", 0, platform::KEY_READ, &key),
              platform::ERROR_SUCCESS);
    EXPECT_EQ(emu::openRegistryKeyCount(), 1);
    EXPECT_EQ(platform::RegCloseKey(key), platform::ERROR_SUCCESS);
    EXPECT_NE(platform::RegCloseKey(key), platform::ERROR_SUCCESS);
    EXPECT_EQ(emu::openRegistryKeyCount(), 0);

    platform::HKEY currentUser = reinterpret_cast<platform::HKEY>(static_cast<platform::ULONG_PTR>(0x80000001u));
    EXPECT_EQ(platform::RegOpenKeyExA(currentUser, "SOFTWARE\\Example", 0, platform::KEY_READ, &key),
              platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", 0, platform::KEY_READ, &key),
              platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(emu::registryKeysTried().size(), 3u);
}

TEST(EmulatedMachine, GlobalBlocksAreZeroFilledOnlyWhenAskedAndTrackLocksAndFrees) {
    platform::HGLOBAL zeroed = platform::GlobalAlloc(platform::GHND, 64);
    platform::HGLOBAL raw = platform::GlobalAlloc(platform::GMEM_MOVEABLE, 64);
    ASSERT_NE(zeroed, nullptr);
    ASSERT_NE(raw, nullptr);

    auto* zeroedData = static_cast<std::uint8_t*>(platform::GlobalLock(zeroed));
    auto* rawData = static_cast<std::uint8_t*>(platform::GlobalLock(raw));
    const std::uint8_t zeros[64] = {};
    EXPECT_EQ(std::memcmp(zeroedData, zeros, sizeof zeros), 0);
    EXPECT_NE(std::memcmp(rawData, zeros, sizeof zeros), 0);
    EXPECT_NE(static_cast<void*>(zeroedData), zeroed);  // a movable block's handle is not its address

    EXPECT_EQ(platform::GlobalLock(zeroed), zeroedData);  // the block stays where it is
    EXPECT_EQ(platform::GlobalUnlock(zeroed), platform::TRUE);   // still locked once
    EXPECT_EQ(platform::GlobalUnlock(zeroed), platform::FALSE);  // now unlocked
    EXPECT_EQ(platform::GlobalFree(zeroed), nullptr);
    EXPECT_EQ(platform::GlobalFree(zeroed), zeroed);  // freed twice
    EXPECT_EQ(platform::GlobalFree(raw), nullptr);    // freed while locked

    EXPECT_TRUE(emu::globalBlocksAllocated().empty());
    EXPECT_EQ(emu::invalidGlobalFrees(), 1);
    EXPECT_EQ(emu::globalFreesOfLockedBlocks(), 1);
}

TEST(EmulatedMachine, GlobalAllocFailsAtTheCallCountedFromWhenItWasTold) {
    platform::HGLOBAL first = platform::GlobalAlloc(platform::GHND, 16);
    emu::failGlobalAllocAt(2);
    platform::HGLOBAL second = platform::GlobalAlloc(platform::GHND, 16);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(platform::GlobalAlloc(platform::GHND, 16), nullptr);
    EXPECT_NE(platform::GlobalAlloc(platform::GHND, 16), nullptr);
    EXPECT_EQ(emu::globalAllocCalls(), 4);
    EXPECT_EQ(emu::globalBlocksAllocated().size(), 3u);
    EXPECT_EQ(emu::globalBlocksAllocated().front().handle, first);
}

TEST(EmulatedMachine, TheAspiLibraryLoadsByNameAndHandsOutItsEntryPointsByOrdinal) {
    EXPECT_EQ(platform::LoadLibraryA("WNASPI32.DLL"), nullptr);  // not installed

    emu::installAspiLibrary();
    emu::setAspiOrdinalPresent(platform::ASPI_ORDINAL_SEND_COMMAND, false);
    EXPECT_EQ(platform::LoadLibraryA("OTHER.DLL"), nullptr);
    platform::HMODULE library = platform::LoadLibraryA("C:\\WINDOWS\\SYSTEM\\wnaspi32.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(emu::aspiLibraryLoads(), 1);

    EXPECT_NE(platform::GetProcAddress(library, platform::ordinalName(platform::ASPI_ORDINAL_GET_SUPPORT_INFO)), nullptr);
    EXPECT_EQ(platform::GetProcAddress(library, platform::ordinalName(platform::ASPI_ORDINAL_SEND_COMMAND)), nullptr);
    EXPECT_EQ(platform::GetProcAddress(library, platform::ordinalName(3)), nullptr);
    EXPECT_EQ(platform::GetProcAddress(nullptr, platform::ordinalName(platform::ASPI_ORDINAL_GET_SUPPORT_INFO)), nullptr);
}

struct AspiEntryPoints {
    platform::GetASPI32SupportInfoFunction supportInfo;
    platform::SendASPI32CommandFunction sendCommand;
};

AspiEntryPoints loadAspi() {
    platform::HMODULE library = platform::LoadLibraryA("WNASPI32.DLL");
    auto bind = [library](platform::WORD ordinal) {
        return reinterpret_cast<void (*)()>(platform::GetProcAddress(library, platform::ordinalName(ordinal)));
    };
    return {reinterpret_cast<platform::GetASPI32SupportInfoFunction>(bind(platform::ASPI_ORDINAL_GET_SUPPORT_INFO)),
            reinterpret_cast<platform::SendASPI32CommandFunction>(bind(platform::ASPI_ORDINAL_SEND_COMMAND))};
}

TEST(EmulatedMachine, SupportInfoCarriesTheStatusAboveTheAdapterCount) {
    emu::installAspiLibrary();
    AspiEntryPoints aspi = loadAspi();
    EXPECT_EQ(aspi.supportInfo(), platform::DWORD{platform::SS_NO_ADAPTERS} << 8);
    for (int i = 0; i < 300; ++i) emu::addAspiAdapter("ESDI_506");
    EXPECT_EQ(aspi.supportInfo(), (platform::DWORD{platform::SS_COMP} << 8) | 255u);
    emu::failAspiInitialisation();
    EXPECT_EQ(aspi.supportInfo(), platform::DWORD{platform::SS_FAILED_INIT} << 8);
}

TEST(EmulatedMachine, HostAdapterInquiryFillsTheRecordOfAnExistingAdapter) {
    emu::installAspiLibrary();
    emu::addAspiAdapter("ESDI_506");
    emu::addAspiAdapter("A 16-byte name!!and more");
    AspiEntryPoints aspi = loadAspi();

    platform::SRB_HAInquiry record{};
    record.SRB_Cmd = platform::SC_HA_INQUIRY;
    record.SRB_HaId = 1;
    EXPECT_EQ(aspi.sendCommand(&record), platform::SS_COMP);
    EXPECT_EQ(record.SRB_Status, platform::SS_COMP);
    EXPECT_EQ(record.HA_Count, 2);
    EXPECT_EQ(std::memcmp(record.HA_Identifier, "A 16-byte name!!", 16), 0);

    platform::SRB_HAInquiry missing{};
    missing.SRB_Cmd = platform::SC_HA_INQUIRY;
    missing.SRB_HaId = 2;
    EXPECT_EQ(aspi.sendCommand(&missing), platform::SS_INVALID_HA);
    const std::uint8_t zeros[16] = {};
    EXPECT_EQ(std::memcmp(missing.HA_Identifier, zeros, 16), 0);
    EXPECT_EQ(emu::aspiAdapterInquiries(), (std::vector<int>{1, 2}));
}

}  // namespace
