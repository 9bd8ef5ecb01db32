// Module-level state of host environment checks and drive discovery: the chosen interface, the
// shared buffers, the ASPI adapters and the target list.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace rflash {

// One drive selected for update, in the order found.
struct TargetEntry {
    std::int32_t adapterIndex;  // ASPI interface only
    std::int32_t targetId;      // ASPI interface only
    char driveLetter;           // pass-through interface only, 'D' to 'Z'
};

constexpr int kTargetListSize = 256;
constexpr int kDriveLetterCount = 23;  // D to Z
constexpr int kAspiAdapterSlots = 16;

constexpr std::size_t kMiB = 1048576;

// A zero-filled block that stays at one address until freed.
struct SharedBuffer {
    platform::HGLOBAL handle = nullptr;
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

struct DiscoveryState {
    // Interface selection.
    std::int32_t useAspi = 0;
    std::int32_t hostDriverKind = 0;
    std::int32_t ieee1394Adapter = 0;
    std::array<std::uint8_t, 3> passThroughAddress{};  // path id, target id, LUN

    // ASPI library and its host adapters.
    platform::HMODULE aspiLibrary = nullptr;
    platform::GetASPI32SupportInfoFunction getAspi32SupportInfo = nullptr;
    platform::SendASPI32CommandFunction sendAspi32Command = nullptr;
    // Adapters past the last slot of aspiAdapterNames are not counted, so the count never
    // exceeds kAspiAdapterSlots.
    std::uint8_t aspiAdapterCount = 0;
    std::array<std::array<char, 32>, kAspiAdapterSlots> aspiAdapterNames{};
    std::vector<platform::SRB_HAInquiry> aspiAdapterInquiry;  // one record per counted adapter

    // Shared buffers.
    SharedBuffer workBuffer;
    SharedBuffer aspiRequestBlock;
    SharedBuffer imageBuffer;
    SharedBuffer parameterBuffer;

    // Target list.
    std::array<TargetEntry, kTargetListSize> targetList{};
    std::int32_t targetCount = 0;

    // Optical drives under media change notification control (pass-through interface).
    std::array<char, kDriveLetterCount> opticalDriveLetters{};
    std::int8_t opticalDriveCount = 0;
    std::array<platform::HANDLE, kDriveLetterCount> mcnHandles{};
};

extern DiscoveryState discovery;

}  // namespace rflash
