// Module-level state of the command transport and the command set. One command is in flight at
// a time, so the records, the handles and the sense data are single instances.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace rflash {

using SenseData = std::array<std::uint8_t, 18>;

// The drive-information block (READ BUFFER mode 2, buffer id 0xF1): 48 bytes arrive in a
// 64-byte area. The three identification fields are blank-padded, without terminators.
struct DriveInfoBlock {
    std::uint8_t leading[16];
    char infoHardwareRevision[8];
    char infoKernelVendorCode[8];
    char infoNormalVendorCode[8];
    std::uint8_t trailing[24];
};
static_assert(sizeof(DriveInfoBlock) == 64);
static_assert(offsetof(DriveInfoBlock, infoHardwareRevision) == 16);
static_assert(offsetof(DriveInfoBlock, infoKernelVendorCode) == 24);
static_assert(offsetof(DriveInfoBlock, infoNormalVendorCode) == 32);

constexpr std::uint32_t kDriveInfoLength = 48;

// Library requests abandoned after a time-out that may still complete; with this many still
// outstanding, the library path takes no further command.
constexpr std::uint32_t kAbandonedRequestLimit = 32;

constexpr std::int32_t kNoDeviceStatus = -1;

struct TransportState {
    // Time-out the command builders put into each request (ms).
    std::int32_t commandTimeoutMs = 0;

    // Sense bytes of the most recent command that returned sense; never cleared.
    SenseData senseData{};
    // What the last executeCommand heard from the drive: kNoDeviceStatus when no status came back
    // (the command was refused, the call failed, the wait ended), otherwise the number of sense
    // bytes that came with it (0 for a success, or a failure without sense). Tells whether
    // senseData describes that command or an earlier one.
    std::int32_t lastCommandSense = -1;
    // Sense key byte * 65536 + ASC * 256 + ASCQ of senseData.
    std::int32_t senseCode = 0;

    // Pass-through path.
    platform::HANDLE driveHandle = nullptr;
    platform::SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER passThroughRecord{};
    // Sense bytes the last pass-through command delivered (0 when the call itself failed).
    std::uint8_t passThroughSenseLength = 0;
    char pathBuffer[256]{};

    // Library path: the request record in use lives in aspiRequestBlock at this slot. A request
    // abandoned after a time-out keeps its slot, and is listed here until the library completes
    // it; the next command takes a fresh slot, so a late completion cannot write into it.
    std::uint32_t aspiRecordSlot = 0;
    std::array<std::uint32_t, kAbandonedRequestLimit> abandonedSlots{};
    std::uint32_t abandonedCount = 0;
    platform::HANDLE completionEvent = nullptr;

    // The drive-information block of the drive probed or updated last.
    DriveInfoBlock driveInfo{};
};

extern TransportState transport;

}  // namespace rflash
