// The emulated host's device services: opening drive letters, pass-through requests as the
// operating system reads them, media change notification, events on the virtual clock and the
// ASPI library's asynchronous completion.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/emulated/clock.h"
#include "platform/emulated/devices.h"
#include "platform/emulated/handles.h"
#include "platform/emulated/host.h"
#include "platform/platform.h"

namespace {

using platform::HANDLE;

constexpr platform::DWORD kReadWrite = platform::GENERIC_READ | platform::GENERIC_WRITE;
constexpr platform::DWORD kShare = platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE;

HANDLE open(const char* path, platform::DWORD access = kReadWrite) {
    return platform::CreateFileA(path, access, kShare, nullptr, platform::OPEN_EXISTING, 0, nullptr);
}

// A pass-through Inquiry record as a careful caller fills it.
struct PassThrough {
    platform::SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER record{};
    std::uint8_t data[96]{};
    platform::DWORD returned = 0;

    PassThrough() {
        auto& request = record.sptd;
        request.Length = sizeof(platform::SCSI_PASS_THROUGH_DIRECT);
        request.CdbLength = 6;
        request.SenseInfoLength = 18;
        request.DataIn = platform::SCSI_IOCTL_DATA_IN;
        request.DataTransferLength = sizeof data;
        request.TimeOutValue = 2;
        request.DataBuffer = data;
        request.SenseInfoOffset = offsetof(platform::SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER, ucSenseBuf);
        const std::uint8_t inquiry[] = {0x12, 0, 0, 0, 96, 0};
        std::memcpy(request.Cdb, inquiry, sizeof inquiry);
    }

    platform::BOOL send(HANDLE device) {
        return platform::DeviceIoControl(device, platform::IOCTL_SCSI_PASS_THROUGH_DIRECT, &record, sizeof record,
                                         &record, sizeof record, &returned, nullptr);
    }
};

TEST(EmulatedDevices, DeviceOpensFollowTheLetterTable) {
    emu::attachDrive('E');
    emu::refuseOpen('F');
    HANDLE drive = open("\\\\.\\E:");
    EXPECT_NE(drive, platform::INVALID_HANDLE_VALUE);
    EXPECT_NE(open("\\\\.\\e:"), platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(open("\\\\.\\D:"), platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), 2u);
    EXPECT_EQ(open("\\\\.\\F:"), platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::GetLastError(), 5u);
    EXPECT_EQ(open("\\\\.\\E:x"), platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Device), 2);
    EXPECT_TRUE(platform::CloseHandle(drive));
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Device), 1);
}

TEST(EmulatedDevices, ARefusedLetterStillOpensForDeviceControlUnlessThatIsRefusedToo) {
    emu::attachDrive('F');
    emu::refuseOpen('F');
    emu::refuseOpen('G', true);
    emu::attachDrive('G');
    EXPECT_NE(open("\\\\.\\F:", 0), platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(open("\\\\.\\G:", 0), platform::INVALID_HANDLE_VALUE);
}

TEST(EmulatedDevices, PassThroughReachesTheDriveWithTheCallersBufferAndTimeOut) {
    emu::DeviceId drive = emu::attachDrive('D');
    HANDLE handle = open("\\\\.\\D:");
    PassThrough request;
    ASSERT_TRUE(request.send(handle));
    EXPECT_EQ(request.record.sptd.ScsiStatus, 0);
    EXPECT_EQ(request.record.sptd.SenseInfoLength, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(request.data) + 8, 8), "ZANTOVA ");

    std::vector<emu::TraceEntry> trace = emu::traceOf(drive);
    ASSERT_EQ(trace.size(), 1u);
    const emu::TraceEntry& seen = trace[0];
    EXPECT_EQ(seen.buffer, request.data);
    EXPECT_EQ(seen.timeoutSeconds, 2u);
    EXPECT_EQ(seen.direction, emu::DataDirection::In);
    EXPECT_EQ(seen.transferLength, 96u);
    EXPECT_EQ(seen.cdbLength, 6);
    EXPECT_EQ(seen.cdb[0], 0x12);
    EXPECT_EQ(seen.path, emu::Path::PassThrough);
    EXPECT_FALSE(emu::describe(seen).empty());
}

TEST(EmulatedDevices, PassThroughDeliversSenseIntoTheRecordsSenseArea) {
    emu::attachDrive('D');
    PassThrough request;
    request.record.sptd.Cdb[0] = 0x00;  // TEST UNIT READY, no disc
    request.record.sptd.DataIn = platform::SCSI_IOCTL_DATA_UNSPECIFIED;
    request.record.sptd.DataTransferLength = 0;
    ASSERT_TRUE(request.send(open("\\\\.\\D:")));
    EXPECT_EQ(request.record.sptd.ScsiStatus, 2);
    EXPECT_EQ(request.record.sptd.SenseInfoLength, 18);
    EXPECT_EQ(request.record.ucSenseBuf[2], 0x02);
    EXPECT_EQ(request.record.ucSenseBuf[12], 0x3A);
}

TEST(EmulatedDevices, PassThroughRecordsAnOperatingSystemWouldRefuse) {
    emu::attachDrive('D');
    HANDLE handle = open("\\\\.\\D:");
    using Change = std::function<void(platform::SCSI_PASS_THROUGH_DIRECT&)>;
    const std::vector<Change> nonsense = {
        [](auto& r) { r.Length = 40; },
        [](auto& r) { r.CdbLength = 0; },
        [](auto& r) { r.CdbLength = 17; },
        [](auto& r) { r.DataIn = 3; },
        [](auto& r) { r.TimeOutValue = 0; },
        [](auto& r) { r.DataBuffer = nullptr; },
        [](auto& r) { r.DataIn = platform::SCSI_IOCTL_DATA_UNSPECIFIED; },  // data without a direction
        [](auto& r) { r.DataTransferLength = 0x20000; },
        [](auto& r) { r.SenseInfoOffset = 8; },                       // inside the request
        [](auto& r) { r.SenseInfoOffset = sizeof(platform::SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER) - 8; },
    };
    for (std::size_t i = 0; i < nonsense.size(); ++i) {
        PassThrough request;
        nonsense[i](request.record.sptd);
        EXPECT_FALSE(request.send(handle)) << "case " << i;
        EXPECT_EQ(platform::GetLastError(), 87u) << "case " << i;
    }
    EXPECT_TRUE(emu::commandTrace().empty());
}

TEST(EmulatedDevices, PassThroughNeedsReadAndWriteAccess) {
    emu::attachDrive('D');
    PassThrough request;
    EXPECT_FALSE(request.send(open("\\\\.\\D:", 0)));
    EXPECT_EQ(platform::GetLastError(), 5u);
}

TEST(EmulatedDevices, ACommandSlowerThanItsTimeOutFailsTheCallAtTheTimeOut) {
    emu::DeviceId drive = emu::attachDrive('D');
    emu::injectFault(drive, {.when = {.opcode = 0x12}, .effect = emu::FaultEffect::Slow, .durationMs = 2500});
    PassThrough request;
    request.data[0] = 0xEE;
    EXPECT_FALSE(request.send(open("\\\\.\\D:")));
    EXPECT_EQ(platform::GetLastError(), 121u);
    EXPECT_EQ(emu::elapsedMs(), 2000u);
    EXPECT_EQ(request.data[0], 0xEE);
    EXPECT_EQ(emu::traceOf(drive).at(0).outcome, emu::TraceOutcome::TimedOut);
}

TEST(EmulatedDevices, FaultsHitTheChosenOccurrenceOnly) {
    emu::DeviceId drive = emu::attachDrive('D');
    emu::injectFault(drive, {.when = {.opcode = 0x12, .occurrence = 2},
                             .sense = {0x05, 0x24, 0x00}});
    HANDLE handle = open("\\\\.\\D:");
    std::vector<int> statuses;
    for (int i = 0; i < 3; ++i) {
        PassThrough request;
        ASSERT_TRUE(request.send(handle));
        statuses.push_back(request.record.sptd.ScsiStatus);
    }
    EXPECT_EQ(statuses, (std::vector<int>{0, 2, 0}));
}

TEST(EmulatedDevices, MediaChangeControlIsRecordedPerHandle) {
    emu::attachDrive('E');
    HANDLE control = open("\\\\.\\E:", 0);
    platform::PREVENT_MEDIA_REMOVAL off{1};
    platform::DWORD returned = 0;
    ASSERT_TRUE(platform::DeviceIoControl(control, platform::IOCTL_STORAGE_MCN_CONTROL, &off, sizeof off, nullptr, 0,
                                          &returned, nullptr));
    ASSERT_EQ(emu::mcnControlCalls().size(), 1u);
    EXPECT_EQ(emu::mcnControlCalls()[0].letter, 'E');
    EXPECT_EQ(emu::mcnStateOf(control), 1);
    EXPECT_EQ(emu::mcnStateOf(nullptr), std::nullopt);
}

TEST(EmulatedEvents, WaitsEndBySignalOrTimeOutOnTheVirtualClock) {
    HANDLE event = platform::CreateEventA(nullptr, platform::FALSE, platform::FALSE, nullptr);
    EXPECT_EQ(platform::WaitForSingleObject(event, 300), platform::WAIT_TIMEOUT);
    EXPECT_EQ(emu::elapsedMs(), 300u);
    emu::schedule(1000, [] {});
    emu::schedule(5000, [] {});
    // Nothing sets it: a wait without limit would never end, but scheduled work is no signal.
    EXPECT_EQ(platform::WaitForSingleObject(event, 2000), platform::WAIT_TIMEOUT);
    EXPECT_EQ(emu::elapsedMs(), 2300u);
    platform::Sleep(500);
    EXPECT_EQ(emu::elapsedMs(), 2800u);
    EXPECT_TRUE(platform::CloseHandle(event));
    EXPECT_EQ(platform::WaitForSingleObject(event, 0), platform::WAIT_FAILED);
}

platform::SRB_ExecSCSICmd inquiryRequest(std::uint8_t adapter, std::uint8_t target, std::uint8_t* data, HANDLE event) {
    platform::SRB_ExecSCSICmd request{};
    request.SRB_Cmd = platform::SC_EXEC_SCSI_CMD;
    request.SRB_HaId = adapter;
    request.SRB_Target = target;
    request.SRB_Flags = platform::SRB_DIR_IN | platform::SRB_EVENT_NOTIFY;
    request.SRB_BufLen = 96;
    request.SRB_BufPointer = data;
    request.SRB_SenseLen = 18;
    request.SRB_CDBLen = 6;
    request.SRB_PostProc = event;
    const std::uint8_t inquiry[] = {0x12, 0, 0, 0, 96, 0};
    std::memcpy(request.CDBByte, inquiry, sizeof inquiry);
    return request;
}

TEST(EmulatedAspi, RequestsCompleteLaterAndSetTheirEvent) {
    emu::DeviceId drive = emu::attachAspiDrive(1, 0, {.commandDurationMs = 40});
    HANDLE event = platform::CreateEventA(nullptr, platform::FALSE, platform::FALSE, nullptr);
    std::uint8_t data[96]{};
    auto request = inquiryRequest(1, 0, data, event);
    EXPECT_EQ(emu::executeAspiRequest(&request), platform::SS_PENDING);
    EXPECT_EQ(request.SRB_Status, platform::SS_PENDING);
    EXPECT_EQ(data[8], 0);
    EXPECT_EQ(platform::WaitForSingleObject(event, platform::INFINITE), platform::WAIT_OBJECT_0);
    EXPECT_EQ(emu::elapsedMs(), 40u);
    EXPECT_EQ(request.SRB_Status, platform::SS_COMP);
    EXPECT_EQ(data[8], 'Z');
    EXPECT_EQ(emu::traceOf(drive).at(0).buffer, data);
    EXPECT_EQ(emu::traceOf(drive).at(0).timeoutSeconds, std::nullopt);
}

TEST(EmulatedAspi, RequestsToOneTargetAreServedInSubmissionOrder) {
    emu::DeviceId drive = emu::attachAspiDrive(0, 1, {.commandDurationMs = 10});
    emu::injectFault(drive, {.when = {.opcode = 0x12, .occurrence = 1}, .effect = emu::FaultEffect::Slow,
                             .durationMs = 3000});
    std::uint8_t first[96]{}, second[96]{};
    auto slow = inquiryRequest(0, 1, first, nullptr);
    auto quick = inquiryRequest(0, 1, second, nullptr);
    slow.SRB_Flags = quick.SRB_Flags = platform::SRB_DIR_IN;
    emu::executeAspiRequest(&slow);
    emu::executeAspiRequest(&quick);
    emu::advanceClock(3000);
    EXPECT_EQ(slow.SRB_Status, platform::SS_COMP);
    EXPECT_EQ(quick.SRB_Status, platform::SS_PENDING);
    emu::advanceClock(10);
    EXPECT_EQ(quick.SRB_Status, platform::SS_COMP);
    EXPECT_EQ(emu::traceOf(drive).at(1).timeMs, 3000u);
}

TEST(EmulatedAspi, MissingTargetsAndUnresponsiveDevicesFail) {
    emu::attachAspiDrive(0, 2, {.kind = emu::DeviceKind::Unresponsive});
    std::uint8_t data[96]{};
    auto nobody = inquiryRequest(0, 3, data, nullptr);
    EXPECT_EQ(emu::executeAspiRequest(&nobody), platform::SS_NO_DEVICE);
    EXPECT_EQ(nobody.SRB_Status, platform::SS_NO_DEVICE);
    auto silent = inquiryRequest(0, 2, data, nullptr);
    EXPECT_EQ(emu::executeAspiRequest(&silent), platform::SS_PENDING);
    emu::advanceClock(1000);
    EXPECT_EQ(silent.SRB_Status, platform::SS_ERR);
    EXPECT_EQ(silent.SRB_HaStat, platform::HASTAT_SEL_TO);
}

TEST(EmulatedAspi, CheckConditionWritesAsMuchSenseAsAskedFor) {
    emu::attachAspiDrive(0, 0);
    std::uint8_t data[96]{};
    auto request = inquiryRequest(0, 0, data, nullptr);
    request.CDBByte[0] = 0x00;  // TEST UNIT READY: no disc
    request.SRB_Flags = 0;
    request.SRB_BufLen = 0;
    request.SRB_SenseLen = 14;
    std::memset(request.SenseArea, 0xEE, sizeof request.SenseArea);
    emu::executeAspiRequest(&request);
    emu::advanceClock(100);
    EXPECT_EQ(request.SRB_Status, platform::SS_ERR);
    EXPECT_EQ(request.SRB_TargStat, 2);
    EXPECT_EQ(request.SenseArea[2], 0x02);
    EXPECT_EQ(request.SenseArea[12], 0x3A);
    EXPECT_EQ(request.SenseArea[14], 0xEE);
}

TEST(EmulatedAspi, AResetDropsCompletionsStillToCome) {
    emu::attachAspiDrive(0, 0, {.commandDurationMs = 100});
    std::uint8_t data[96]{};
    auto request = inquiryRequest(0, 0, data, nullptr);
    emu::executeAspiRequest(&request);
    emu::resetDevices();
    emu::advanceClock(200);
    EXPECT_EQ(request.SRB_Status, platform::SS_PENDING);
}

}  // namespace
