// Execution of one CDB against one drive over SCSI pass-through or the ASPI library.
#include "transport/transport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>

#include "discovery/state.h"
#include "platform/platform.h"
#include "platform/scsi.h"
#include "transport/state.h"
#include "update/state.h"

namespace rflash {
namespace {

using platform::SRB_ExecSCSICmd;

constexpr std::uint8_t kSenseRequested = 18;
constexpr std::int32_t kNoTimeOutSeconds = 60;
constexpr std::int32_t kProbeTimeOutSeconds = 2;
constexpr platform::DWORD kPollPauseMs = 500;
constexpr std::int32_t kUnboundedVendorClass = 0x300;
constexpr std::size_t kMaximumCdbLength = 16;
// Records sit in aspiRequestBlock at this spacing, which keeps every slot 16-byte aligned.
constexpr std::size_t kRecordSlotSize = (sizeof(SRB_ExecSCSICmd) + 15) / 16 * 16;

constexpr std::uint8_t kInquiryCdb[] = {scsi::INQUIRY, 0x00, 0x00, 0x00, 0x60, 0x00};
constexpr std::uint8_t kDriveInfoCdb[] = {scsi::READ_BUFFER, scsi::BUFFER_MODE_DATA, 0xF1, 0x00, 0x00,
                                          0x00, 0x00, 0x00, 0x30, 0x00};
constexpr std::uint32_t kProbeInquiryLength = 96;

// ---- Checks that keep nonsense from reaching a drive ----

bool requestWellFormed(const CommandRequest& request) {
    if (request.cdbLength < 1 || request.cdbLength > static_cast<std::int32_t>(kMaximumCdbLength)) return false;
    if (request.direction < DirectionNone || request.direction > DirectionOut) return false;
    if (request.transferLength < 0) return false;
    if (request.transferLength > 0 && request.buffer == nullptr) return false;
    if (request.transferLength > 0 && request.direction == DirectionNone) return false;  // data, but which way?
    return true;
}

// A data-in command may deliver fewer bytes than asked, or none while still counting as done
// (the not-ready exemption): what it leaves unwritten reads as zero, never as an earlier
// command's data, such as another drive's identification.
void clearIncoming(std::int32_t direction, std::uint8_t* buffer, std::uint32_t length) {
    if (direction == DirectionIn && buffer != nullptr) std::fill_n(buffer, length, 0);
}

// ---- Pass-through path ----

platform::UCHAR passThroughDirection(std::int32_t direction) {
    switch (direction) {
        case DirectionIn: return platform::SCSI_IOCTL_DATA_IN;
        case DirectionOut: return platform::SCSI_IOCTL_DATA_OUT;
        default: return platform::SCSI_IOCTL_DATA_UNSPECIFIED;
    }
}

// Whole seconds, the fraction dropped; 0 ms means no time-out was given, which becomes 60 s. The
// operating system takes no 0-second time-out, so a time-out below one second becomes 1 s.
platform::ULONG passThroughTimeOutSeconds(std::int32_t timeoutMs) {
    if (timeoutMs <= 0) return kNoTimeOutSeconds;
    return static_cast<platform::ULONG>(std::max(timeoutMs / 1000, 1));
}

void fillPassThroughRecord(std::span<const std::uint8_t> cdb, platform::UCHAR dataIn, std::uint32_t length,
                           std::uint8_t* buffer, platform::ULONG timeOutSeconds) {
    auto& record = transport.passThroughRecord;
    record = {};
    auto& request = record.sptd;
    request.Length = sizeof(platform::SCSI_PASS_THROUGH_DIRECT);
    request.PathId = discovery.passThroughAddress[0];
    request.TargetId = discovery.passThroughAddress[1];
    request.Lun = discovery.passThroughAddress[2];
    request.CdbLength = static_cast<platform::UCHAR>(cdb.size());
    request.SenseInfoLength = kSenseRequested;
    request.DataIn = dataIn;
    request.DataTransferLength = length;
    request.TimeOutValue = timeOutSeconds;
    request.DataBuffer = buffer;  // the caller's own buffer: the data is never copied
    // Where the sense area really is: 48 bytes in on a 32-bit build, further on a 64-bit one.
    request.SenseInfoOffset = offsetof(platform::SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER, ucSenseBuf);
    std::copy(cdb.begin(), cdb.end(), request.Cdb);
}

// Sends the filled record on the open drive handle and judges the outcome: 0 for GOOD, 2 for any
// other SCSI status (with the sense bytes delivered copied into SenseData), -1 when the operating
// system failed the call, so that no status came back and SenseData stays as it was.
std::int32_t sendPassThrough() {
    auto& record = transport.passThroughRecord;
    platform::DWORD returned = 0;
    transport.passThroughSenseLength = 0;
    platform::BOOL delivered = platform::DeviceIoControl(transport.driveHandle, platform::IOCTL_SCSI_PASS_THROUGH_DIRECT,
                                                         &record, sizeof record, &record, sizeof record, &returned,
                                                         nullptr);
    if (delivered == platform::FALSE) return kCommandFailed;
    transport.passThroughSenseLength =
        std::min<std::uint8_t>(record.sptd.SenseInfoLength, static_cast<std::uint8_t>(transport.senseData.size()));
    if (record.sptd.ScsiStatus == scsi::GOOD) {
        transport.lastCommandSense = 0;
        return kCommandOk;
    }
    std::copy_n(record.ucSenseBuf, transport.passThroughSenseLength, transport.senseData.begin());
    transport.lastCommandSense = transport.passThroughSenseLength;
    return kCommandCheckCondition;
}

std::int32_t executePassThrough(const CommandRequest& request, char letter) {
    if (openDrive(letter) != 0) return kCommandNoDrive;
    clearIncoming(request.direction, request.buffer, static_cast<std::uint32_t>(request.transferLength));
    fillPassThroughRecord(std::span(request.cdb.data(), static_cast<std::size_t>(request.cdbLength)),
                          passThroughDirection(request.direction), static_cast<std::uint32_t>(request.transferLength),
                          request.buffer, passThroughTimeOutSeconds(request.timeoutMs));
    std::int32_t result = sendPassThrough();
    closeDrive();
    return result;
}

std::int32_t probePassThrough(std::span<const std::uint8_t> cdb, std::uint8_t* buffer, std::uint32_t length) {
    if (buffer == nullptr) return kCommandFailed;
    clearIncoming(DirectionIn, buffer, length);
    fillPassThroughRecord(cdb, platform::SCSI_IOCTL_DATA_IN, length, buffer, kProbeTimeOutSeconds);
    return sendPassThrough();
}

// ---- Library path: request record slots ----

std::uint32_t recordSlotCount() {
    const SharedBuffer& block = discovery.aspiRequestBlock;
    return block.data == nullptr ? 0 : static_cast<std::uint32_t>(block.size / kRecordSlotSize);
}

SRB_ExecSCSICmd* recordInSlot(std::uint32_t slot) {
    return reinterpret_cast<SRB_ExecSCSICmd*>(discovery.aspiRequestBlock.data + slot * kRecordSlotSize);
}

// The library writes SRB_Status on its own; read it afresh every time.
platform::BYTE statusOf(const SRB_ExecSCSICmd* record) {
    return *static_cast<const volatile platform::BYTE*>(&record->SRB_Status);
}

bool slotAbandoned(std::uint32_t slot) {
    auto listed = transport.abandonedSlots.begin();
    return std::find(listed, listed + transport.abandonedCount, slot) != listed + transport.abandonedCount;
}

// Forgets abandoned requests that the library has completed since.
void sweepAbandoned() {
    auto listed = transport.abandonedSlots.begin();
    auto end = std::remove_if(listed, listed + transport.abandonedCount,
                              [](std::uint32_t slot) { return statusOf(recordInSlot(slot)) != platform::SS_PENDING; });
    transport.abandonedCount = static_cast<std::uint32_t>(end - listed);
}

// The request in the current slot stays with the library; later commands use another slot.
void abandonCurrentRequest() {
    transport.abandonedSlots[transport.abandonedCount++] = transport.aspiRecordSlot;
    std::uint32_t count = recordSlotCount();
    for (std::uint32_t step = 1; step < count; ++step) {
        std::uint32_t candidate = (transport.aspiRecordSlot + step) % count;
        if (!slotAbandoned(candidate)) {
            transport.aspiRecordSlot = candidate;
            return;
        }
    }
}

bool rangesOverlap(const void* first, std::uint32_t firstLength, const void* second, std::uint32_t secondLength) {
    auto a = reinterpret_cast<std::uintptr_t>(first);
    auto b = reinterpret_cast<std::uintptr_t>(second);
    return firstLength != 0 && secondLength != 0 && a < b + secondLength && b < a + firstLength;
}

// An abandoned data-in request may still write into its buffer, which is the caller's (the
// transport copies no data, so it cannot hand the library a buffer of its own instead). The
// library serves the requests to one target in submission order, so a later data-in request to
// that same target lands its data after the late one and is safe. Any other command that would
// use those bytes (another target's data in, or any data out) could see them change behind its
// back, so it is refused, with nothing sent, until the late request has completed.
bool clashesWithAbandonedData(std::uint8_t adapter, std::uint8_t target, std::int32_t direction,
                              const std::uint8_t* buffer, std::uint32_t length) {
    for (std::uint32_t i = 0; i < transport.abandonedCount; ++i) {
        const SRB_ExecSCSICmd* old = recordInSlot(transport.abandonedSlots[i]);
        if ((old->SRB_Flags & platform::SRB_DIR_IN) == 0) continue;
        if (!rangesOverlap(old->SRB_BufPointer, old->SRB_BufLen, buffer, length)) continue;
        bool sameTarget = old->SRB_HaId == adapter && old->SRB_Target == target;
        if (!(sameTarget && direction == DirectionIn)) return true;
    }
    return false;
}

// The record for the next request, zeroed, or nullptr when the library path cannot take one
// safely (no request block, or too many abandoned requests still outstanding).
SRB_ExecSCSICmd* freshRecord() {
    if (recordSlotCount() == 0 || discovery.sendAspi32Command == nullptr) return nullptr;
    sweepAbandoned();
    if (transport.abandonedCount == kAbandonedRequestLimit || slotAbandoned(transport.aspiRecordSlot)) return nullptr;
    SRB_ExecSCSICmd* record = recordInSlot(transport.aspiRecordSlot);
    std::memset(record, 0, sizeof *record);
    return record;
}

void fillAspiRecord(SRB_ExecSCSICmd* record, std::uint8_t adapter, std::uint8_t target, platform::BYTE flags,
                    std::uint8_t* buffer, std::uint32_t length, std::uint8_t senseLength,
                    std::span<const std::uint8_t> cdb) {
    record->SRB_Cmd = platform::SC_EXEC_SCSI_CMD;
    record->SRB_HaId = adapter;
    record->SRB_Flags = flags;
    record->SRB_Target = target;
    record->SRB_Lun = 0;
    record->SRB_BufLen = length;
    record->SRB_BufPointer = buffer;  // the caller's own buffer: the data is never copied
    record->SRB_SenseLen = senseLength;
    record->SRB_CDBLen = static_cast<platform::BYTE>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), record->CDBByte);
}

platform::BYTE aspiDirectionFlags(std::int32_t direction) {
    switch (direction) {
        case DirectionIn: return platform::SRB_DIR_IN;
        case DirectionOut: return platform::SRB_DIR_OUT;
        default: return 0;
    }
}

// ---- Library path: waiting for completion ----

enum class Wait { Completed, TimedOut, Failed };

// Polls SRB_Status after every 500 ms pause. With a time-out, gives up once the pauses exceed
// it: for 10000 ms that is after the 21st pause.
Wait pollForCompletion(const SRB_ExecSCSICmd* record, std::int32_t timeoutMs) {
    std::int64_t elapsedMs = 0;
    for (;;) {
        platform::Sleep(kPollPauseMs);
        if (timeoutMs != 0) {
            elapsedMs += kPollPauseMs;
            if (elapsedMs > timeoutMs) return Wait::TimedOut;
        }
        if (statusOf(record) != platform::SS_PENDING) return Wait::Completed;
    }
}

// Waits for the event, but takes only SRB_Status as proof of completion: an event handle value
// closed earlier may be handed out again, and a late completion of an abandoned request then sets
// this event too soon. A wake with the request still pending waits again for what is left.
Wait waitForCompletion(const SRB_ExecSCSICmd* record, platform::HANDLE event, bool unlimited, std::int32_t timeoutMs) {
    platform::DWORD started = unlimited ? 0 : platform::timeGetTime();
    platform::DWORD allowance = unlimited ? platform::INFINITE : static_cast<platform::DWORD>(timeoutMs);
    while (statusOf(record) == platform::SS_PENDING) {
        platform::DWORD result = platform::WaitForSingleObject(event, allowance);
        if (result == platform::WAIT_TIMEOUT) return Wait::TimedOut;
        if (result == platform::WAIT_FAILED) return Wait::Failed;
        if (!unlimited && statusOf(record) == platform::SS_PENDING) {
            platform::DWORD spent = platform::timeGetTime() - started;
            if (spent >= static_cast<platform::DWORD>(timeoutMs)) return Wait::TimedOut;
            allowance = static_cast<platform::DWORD>(timeoutMs) - spent;
        }
    }
    return Wait::Completed;
}

std::int32_t judgeAspiCompletion(const SRB_ExecSCSICmd* record) {
    if (statusOf(record) == platform::SS_COMP) {
        transport.lastCommandSense = 0;
        return kCommandOk;
    }
    std::copy_n(record->SenseArea, transport.senseData.size(), transport.senseData.begin());
    transport.lastCommandSense = static_cast<std::int32_t>(transport.senseData.size());
    captureSense();
    // Behind an Intel IDE host driver, NOT READY is no failure, except for TEST UNIT READY, whose
    // whole purpose is to ask for readiness.
    bool exempt = discovery.hostDriverKind == 1 && record->CDBByte[0] != scsi::TEST_UNIT_READY &&
                  transport.senseData[scsi::SENSE_KEY_OFFSET] == scsi::NOT_READY;
    return exempt ? kCommandOk : kCommandFailed;
}

void sendToLibrary(SRB_ExecSCSICmd* record) {
    discovery.sendAspi32Command(record);  // its result is not consulted: SRB_Status tells
}

platform::HANDLE createCompletionEvent() {
    // Unnamed, auto-reset, not signalled.
    transport.completionEvent = platform::CreateEventA(nullptr, platform::FALSE, platform::FALSE, nullptr);
    return transport.completionEvent;
}

void closeCompletionEvent() {
    platform::CloseHandle(transport.completionEvent);
    transport.completionEvent = nullptr;
}

std::int32_t executeAspi(const CommandRequest& request, const TargetEntry& entry) {
    auto adapter = static_cast<std::uint8_t>(entry.adapterIndex & 0xFF);
    auto target = static_cast<std::uint8_t>(entry.targetId & 0xFF);
    auto length = static_cast<std::uint32_t>(request.transferLength);
    SRB_ExecSCSICmd* record = freshRecord();
    if (record == nullptr) return kCommandFailed;
    if (clashesWithAbandonedData(adapter, target, request.direction, request.buffer, length)) return kCommandFailed;
    clearIncoming(request.direction, request.buffer, length);
    auto cdb = std::span(request.cdb.data(), static_cast<std::size_t>(request.cdbLength));
    platform::BYTE direction = aspiDirectionFlags(request.direction);

    bool polled = adapter == discovery.ieee1394Adapter && request.cdb[0] == scsi::WRITE_BUFFER;
    if (polled) {
        fillAspiRecord(record, adapter, target, direction, request.buffer, length, kSenseRequested, cdb);
        sendToLibrary(record);
        if (pollForCompletion(record, request.timeoutMs) == Wait::TimedOut) {
            abandonCurrentRequest();
            return kCommandFailed;
        }
        return judgeAspiCompletion(record);
    }

    platform::HANDLE event = createCompletionEvent();
    if (event == nullptr) return kCommandFailed;
    fillAspiRecord(record, adapter, target, platform::SRB_EVENT_NOTIFY | direction, request.buffer, length,
                   kSenseRequested, cdb);
    record->SRB_PostProc = event;
    sendToLibrary(record);
    bool unlimited = request.timeoutMs == 0 || update.vendorCodeClass == kUnboundedVendorClass;
    Wait outcome = waitForCompletion(record, event, unlimited, request.timeoutMs);
    if (outcome != Wait::Completed) {
        closeCompletionEvent();
        abandonCurrentRequest();
        return outcome == Wait::TimedOut ? kCommandNoDrive : kCommandFailed;
    }
    std::int32_t result = judgeAspiCompletion(record);
    closeCompletionEvent();
    return result;
}

// The library forms of the probes: no sense requested, a wait without limit, SenseData untouched.
std::int32_t probeAspi(std::int32_t adapterNumber, std::int32_t targetId, std::span<const std::uint8_t> cdb,
                       std::uint8_t* buffer, std::uint32_t length) {
    auto adapter = static_cast<std::uint8_t>(adapterNumber & 0xFF);
    auto target = static_cast<std::uint8_t>(targetId & 0xFF);
    SRB_ExecSCSICmd* record = freshRecord();
    if (record == nullptr || buffer == nullptr) return kCommandFailed;
    if (clashesWithAbandonedData(adapter, target, DirectionIn, buffer, length)) return kCommandFailed;
    clearIncoming(DirectionIn, buffer, length);
    platform::HANDLE event = createCompletionEvent();
    if (event == nullptr) return kCommandFailed;
    fillAspiRecord(record, adapter, target, platform::SRB_EVENT_NOTIFY | platform::SRB_DIR_IN, buffer, length, 0, cdb);
    record->SRB_PostProc = event;
    sendToLibrary(record);
    Wait outcome = waitForCompletion(record, event, true, 0);
    closeCompletionEvent();
    if (outcome != Wait::Completed) {
        abandonCurrentRequest();
        return kCommandFailed;
    }
    return statusOf(record) == platform::SS_COMP ? kCommandOk : kCommandFailed;
}

std::uint8_t* driveInfoBytes() {
    return reinterpret_cast<std::uint8_t*>(&transport.driveInfo);
}

}  // namespace

std::int32_t executeCommand(CommandRequest& request) {
    transport.lastCommandSense = kNoDeviceStatus;
    std::int32_t listed = std::min(discovery.targetCount, static_cast<std::int32_t>(kTargetListSize));
    if (request.targetIndex < 0 || request.targetIndex >= listed) return kCommandFailed;
    if (!requestWellFormed(request)) return kCommandFailed;
    const TargetEntry& entry = discovery.targetList[static_cast<std::size_t>(request.targetIndex)];
    return discovery.useAspi == 0 ? executePassThrough(request, entry.driveLetter) : executeAspi(request, entry);
}

bool libraryRequestsOutstanding() {
    if (transport.abandonedCount == 0 || recordSlotCount() == 0) return false;
    sweepAbandoned();
    return transport.abandonedCount != 0;
}

std::int32_t openDrive(char letter) {
    discovery.ieee1394Adapter = -1;
    closeDrive();  // at most one drive handle is open at a time
    std::snprintf(transport.pathBuffer, sizeof transport.pathBuffer, "\\\\.\\%c:", letter);
    platform::HANDLE handle =
        platform::CreateFileA(transport.pathBuffer, platform::GENERIC_READ | platform::GENERIC_WRITE,
                              platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE, nullptr,
                              platform::OPEN_EXISTING, 0, nullptr);
    if (handle == platform::INVALID_HANDLE_VALUE || handle == nullptr) return -1;
    transport.driveHandle = handle;
    return 0;
}

std::int32_t closeDrive() {
    if (transport.driveHandle != nullptr) platform::CloseHandle(transport.driveHandle);
    transport.driveHandle = nullptr;
    return 0;
}

std::int32_t captureSense() {
    if (discovery.useAspi == 0) {
        const auto& senseArea = transport.passThroughRecord.ucSenseBuf;
        std::copy_n(senseArea, transport.passThroughSenseLength, transport.senseData.begin());
    }
    const SenseData& sense = transport.senseData;
    transport.senseCode = sense[scsi::SENSE_KEY_OFFSET] * 65536 + sense[scsi::SENSE_ASC_OFFSET] * 256 +
                          sense[scsi::SENSE_ASCQ_OFFSET];
    return 0;
}

std::int32_t probeInquiry() {
    return probePassThrough(kInquiryCdb, discovery.workBuffer.data, kProbeInquiryLength);
}

std::int32_t probeInquiry(std::int32_t adapter, std::int32_t target) {
    return probeAspi(adapter, target, kInquiryCdb, discovery.workBuffer.data, kProbeInquiryLength);
}

std::int32_t probeDriveInfo() {
    return probePassThrough(kDriveInfoCdb, driveInfoBytes(), kDriveInfoLength);
}

std::int32_t probeDriveInfo(std::int32_t adapter, std::int32_t target) {
    return probeAspi(adapter, target, kDriveInfoCdb, driveInfoBytes(), kDriveInfoLength);
}

}  // namespace rflash
