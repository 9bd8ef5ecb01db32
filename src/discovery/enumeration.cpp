#include "discovery/enumeration.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "discovery/state.h"
#include "driver/definitions.h"
#include "driver/state.h"
#include "platform/platform.h"
#include "transport/state.h"
#include "transport/transport.h"

namespace rflash {
namespace {

// "\\.\X:" and its terminator.
using DevicePath = std::array<char, 7>;

DevicePath devicePath(char letter) {
    return {'\\', '\\', '.', '\\', letter, ':', '\0'};
}

bool controlHandleOpen(platform::HANDLE handle) {
    return handle != nullptr && handle != platform::INVALID_HANDLE_VALUE;
}

void setMediaChangeNotification(platform::HANDLE handle, bool off) {
    platform::PREVENT_MEDIA_REMOVAL prevent{static_cast<platform::BOOLEAN>(off ? 1 : 0)};
    platform::DWORD returned = 0;
    platform::DeviceIoControl(handle, platform::IOCTL_STORAGE_MCN_CONTROL, &prevent, sizeof prevent, nullptr, 0,
                              &returned, nullptr);
}

constexpr char kFirstDriveLetter = 'D';
constexpr char kLastDriveLetter = 'Z';

// Inquiry byte 0, peripheral qualifier and device type compared as a whole.
constexpr std::uint8_t kWriteOnceDevice = 0x04;
constexpr std::uint8_t kCdDvdDevice = 0x05;

constexpr std::size_t kPrefixLength = 8;
constexpr std::string_view kEsdiAdapter{"ESDI_506", kPrefixLength};
constexpr std::string_view kIntelAtaAdapter{"intelata", kPrefixLength};

constexpr std::int32_t kNoMatch = -1;

bool isOpticalDrive(const std::uint8_t* inquiry) {
    return inquiry[0] == kWriteOnceDevice || inquiry[0] == kCdDvdDevice;
}

// Matches the drive whose Inquiry data lies at the start of workBuffer. A drive whose
// drive-information read failed is matched against an empty block, never the previous drive's.
bool matchesDefinition(bool driveInfoRead) {
    if (!driveInfoRead) transport.driveInfo = DriveInfoBlock{};
    return matchDefinition(discovery.workBuffer.data) != kNoMatch;
}

bool targetListFull(std::int32_t count) {
    return count >= kTargetListSize;
}

std::int32_t walkDriveLetters() {
    std::int32_t count = 0;
    discovery.opticalDriveCount = 0;
    for (char letter = kFirstDriveLetter; letter <= kLastDriveLetter; ++letter) {
        if (openDrive(letter) != 0) continue;
        if (probeInquiry() == 0) {
            if (isOpticalDrive(discovery.workBuffer.data)) {
                std::int8_t index = discovery.opticalDriveCount;
                discovery.opticalDriveLetters[static_cast<std::size_t>(index)] = letter;
                beginMcnControl(index);
                ++discovery.opticalDriveCount;
            }
            bool driveInfoRead = probeDriveInfo() == 0;
            if (matchesDefinition(driveInfoRead) && !targetListFull(count)) {
                discovery.targetList[static_cast<std::size_t>(count)] = TargetEntry{0, 0, letter};
                program.currentTarget = count;
                ++count;
            }
        }
        closeDrive();
    }
    return count;
}

// How many target ids, from 0, are probed on an ASPI host adapter.
std::int32_t targetIdsToProbe(std::int32_t adapter) {
    std::string_view prefix{discovery.aspiAdapterNames[static_cast<std::size_t>(adapter)].data(), kPrefixLength};
    if (prefix == kEsdiAdapter) return 2;
    if (prefix == kIntelAtaAdapter) {
        discovery.hostDriverKind = 1;
        return 2;
    }
    // Behind an Intel IDE host driver only its own adapters reach the drives.
    return discovery.hostDriverKind == 0 ? 7 : 0;
}

std::int32_t walkAspiAdapters() {
    std::int32_t count = 0;
    std::int32_t adapters = std::min<std::int32_t>(discovery.aspiAdapterCount, kAspiAdapterSlots);
    for (std::int32_t adapter = 0; adapter < adapters; ++adapter) {
        std::int32_t targetIds = targetIdsToProbe(adapter);
        for (std::int32_t target = 0; target < targetIds; ++target) {
            if (probeInquiry(adapter, target) != 0) continue;
            bool driveInfoRead = probeDriveInfo(adapter, target) == 0;
            if (matchesDefinition(driveInfoRead) && !targetListFull(count)) {
                discovery.targetList[static_cast<std::size_t>(count)] = TargetEntry{adapter, target, 0};
                ++count;
            }
        }
    }
    return count;
}

}  // namespace

std::int32_t enumerateDrives() {
    // Without its buffers (the host checks failed) the walk must not touch a drive.
    if (discovery.workBuffer.data == nullptr) return 0;
    if (discovery.useAspi == 0) {
        discovery.targetCount = walkDriveLetters();
    } else {
        if (discovery.aspiAdapterCount == 0) return 0;
        discovery.targetCount = walkAspiAdapters();
    }
    return discovery.targetCount;
}

void beginMcnControl(std::int32_t index) {
    DevicePath path = devicePath(discovery.opticalDriveLetters[index]);
    // Access 0: a handle for device control only, which does not compete with the probes.
    platform::HANDLE handle = platform::CreateFileA(path.data(), 0, platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                                                    nullptr, platform::OPEN_EXISTING, 0, nullptr);
    discovery.mcnHandles[index] = handle;
    if (!controlHandleOpen(handle)) return;
    setMediaChangeNotification(handle, true);
}

void endMcnControl(std::int32_t index) {
    if (discovery.useAspi != 0) return;
    platform::HANDLE& handle = discovery.mcnHandles[index];
    if (!controlHandleOpen(handle)) return;
    setMediaChangeNotification(handle, false);
    // Notification is on again; nothing needs the handle any more.
    platform::CloseHandle(handle);
    handle = nullptr;
}

}  // namespace rflash
