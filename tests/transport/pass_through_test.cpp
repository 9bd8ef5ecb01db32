// The pass-through path: the record as the operating system reads it, the time-out rule, the
// drive handle's life, the probes, and every failure the path can meet.
#include <functional>

#include "support/fresh_state.h"
#include "transport_bench.h"

namespace transport_test {
namespace {

class PassThrough : public Bench {
protected:
    void SetUp() override { use(Route::PassThrough); }
};

TEST_F(PassThrough, TheRecordCarriesTheCallersBufferAndPointsAtItsOwnSenseArea) {
    emu::DeviceId drive = addTarget();
    std::uint8_t data[96]{};
    ASSERT_EQ(run(request(0, kInquiry, rflash::DirectionIn, data, 96)), 0);

    const auto& record = rflash::transport.passThroughRecord;
    EXPECT_EQ(record.sptd.Length, sizeof(platform::SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(record.sptd.SenseInfoOffset, offsetof(platform::SCSI_PASS_THROUGH_DIRECT_WITH_BUFFER, ucSenseBuf));
    EXPECT_EQ(record.sptd.DataBuffer, data);
    EXPECT_EQ(record.sptd.CdbLength, 6);
    EXPECT_EQ(record.sptd.DataIn, platform::SCSI_IOCTL_DATA_IN);
    std::vector<emu::TraceEntry> seen = emu::traceOf(drive);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].buffer, data);
    EXPECT_EQ(std::vector<std::uint8_t>(seen[0].cdb.begin(), seen[0].cdb.begin() + seen[0].cdbLength), kInquiry);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data) + 8, 8), "ZANTOVA ");
}

TEST_F(PassThrough, TimeOutsBecomeWholeSecondsWithZeroMeaningSixty) {
    emu::DeviceId drive = addTarget({.medium = emu::MediumState::DiscTurning});
    const std::vector<std::pair<std::int32_t, std::uint32_t>> cases = {
        {0, 60}, {1500, 1}, {60000, 60}, {180000, 180}, {2999, 2}, {400, 1}};
    for (auto [milliseconds, seconds] : cases) {
        ASSERT_EQ(run(request(0, kTestUnitReady, rflash::DirectionNone, nullptr, 0, milliseconds)), 0);
        EXPECT_EQ(emu::traceOf(drive).back().timeoutSeconds, seconds) << milliseconds << " ms";
    }
}

TEST_F(PassThrough, DirectionsMapToThePlatformsDataDirections) {
    emu::DeviceId drive = addTarget();
    std::uint8_t data[256]{};
    run(request(0, kTestUnitReady));
    run(request(0, kInquiry, rflash::DirectionIn, data, 96));
    run(request(0, {0x3B, 4, 0xFF, 0, 0, 0, 0, 1, 0, 0}, rflash::DirectionOut, data, 256));
    std::vector<emu::TraceEntry> seen = emu::traceOf(drive);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].direction, emu::DataDirection::None);
    EXPECT_EQ(seen[1].direction, emu::DataDirection::In);
    EXPECT_EQ(seen[2].direction, emu::DataDirection::Out);
    EXPECT_EQ(seen[2].transferLength, 256u);
}

TEST_F(PassThrough, EveryCommandOpensItsDriveAndClosesItAgain) {
    addTarget();
    rflash::discovery.ieee1394Adapter = 3;
    EXPECT_NE(run(request(0, kTestUnitReady)), 0);
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Device), 0);
    EXPECT_EQ(rflash::transport.driveHandle, nullptr);
    EXPECT_EQ(rflash::discovery.ieee1394Adapter, -1);
}

// Each row of the path's failure table, with what SenseData holds afterwards.
TEST_F(PassThrough, FailuresReportTheirResultAndLeaveSenseAsTheyShould) {
    const rflash::SenseData earlier = sense(0x06, 0x29, 0x00);
    struct Case {
        const char* name;
        std::function<void(Bench&)> arrange;
        std::int32_t target;
        std::int32_t result;
        rflash::SenseData senseAfter;
        bool sent;
    };
    const std::vector<Case> cases = {
        {"index equal to the count", [](Bench& b) { b.addTarget(); }, 1, -1, earlier, false},
        {"negative index", [](Bench& b) { b.addTarget(); }, -1, -1, earlier, false},
        {"letter without a drive",
         [](Bench&) {
             rflash::discovery.targetList[0] = {0, 0, 'Q'};
             rflash::discovery.targetCount = 1;
         },
         0, -2, earlier, false},
        {"open refused",
         [](Bench& b) {
             b.addTarget();
             emu::refuseOpen('D');
         },
         0, -2, earlier, false},
        {"check condition with sense", [](Bench& b) { b.addTarget(); }, 0, 2, sense(0x02, 0x3A, 0x00), true},
        {"check condition without sense bytes",
         [](Bench& b) {
             emu::injectFault(b.addTarget(), {.when = {.opcode = 0x00},
                                              .effect = emu::FaultEffect::CheckConditionWithoutSense,
                                              .sense = {0x02, 0x04, 0x01}});
         },
         0, 2, earlier, true},
        {"the system fails the call at the time-out",
         [](Bench& b) {
             emu::injectFault(b.addTarget(),
                              {.when = {.opcode = 0x00}, .effect = emu::FaultEffect::Slow, .durationMs = 61000});
         },
         0, -1, earlier, true},
        {"the system rejects the call",
         [](Bench& b) {
             emu::injectFault(b.addTarget(), {.when = {.opcode = 0x00}, .effect = emu::FaultEffect::HostFailure});
         },
         0, -1, earlier, true},
    };
    for (const Case& c : cases) {
        rflash_test::resetEverything();
        use(Route::PassThrough);
        rflash::transport.senseData = earlier;
        c.arrange(*this);
        EXPECT_EQ(run(request(c.target, kTestUnitReady)), c.result) << c.name;
        EXPECT_EQ(rflash::transport.senseData, c.senseAfter) << c.name;
        EXPECT_EQ(!emu::commandTrace().empty(), c.sent) << c.name;
        EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Device), 0) << c.name;
        // captureSense, as callers use it after a failure, brings back nothing the call did not deliver.
        rflash::captureSense();
        EXPECT_EQ(rflash::transport.senseData, c.senseAfter) << c.name;
    }
}

TEST_F(PassThrough, OpenDriveFormsTheDevicePathAndReportsFailure) {
    addTarget();
    EXPECT_EQ(rflash::openDrive('D'), 0);
    EXPECT_STREQ(rflash::transport.pathBuffer, "\\\\.\\D:");
    EXPECT_EQ(rflash::openDrive('E'), -1);
    EXPECT_EQ(rflash::closeDrive(), 0);
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Device), 0);
}

TEST_F(PassThrough, ProbesUseTheOpenHandleAndATwoSecondTimeOut) {
    emu::DeviceId drive = addTarget({.hardwareRevision = "TR-9"});
    ASSERT_EQ(rflash::openDrive('D'), 0);
    EXPECT_EQ(rflash::probeInquiry(), 0);
    EXPECT_EQ(rflash::probeDriveInfo(), 0);
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Device), 1);
    rflash::closeDrive();

    EXPECT_EQ(std::string(reinterpret_cast<char*>(workBuffer_.data()) + 8, 8), "ZANTOVA ");
    EXPECT_EQ(std::string(rflash::transport.driveInfo.infoHardwareRevision, 8), "TR-9    ");
    std::vector<emu::TraceEntry> seen = emu::traceOf(drive);
    ASSERT_EQ(seen.size(), 2u);
    for (const emu::TraceEntry& entry : seen) EXPECT_EQ(entry.timeoutSeconds, 2u);
    EXPECT_EQ(seen[0].buffer, workBuffer_.data());
    EXPECT_EQ(seen[1].buffer, &rflash::transport.driveInfo);
    EXPECT_EQ(std::vector<std::uint8_t>(seen[1].cdb.begin(), seen[1].cdb.begin() + 10), kReadDriveInfo);
}

TEST_F(PassThrough, ProbeFailuresReportTwoOrMinusOne) {
    emu::DeviceId drive = addTarget({.answersDriveInfo = false});
    emu::injectFault(drive, {.when = {.opcode = 0x12}, .effect = emu::FaultEffect::Slow, .durationMs = 2500});
    ASSERT_EQ(rflash::openDrive('D'), 0);
    EXPECT_EQ(rflash::probeInquiry(), -1);  // the drive takes longer than the probe's 2 s
    EXPECT_EQ(rflash::probeDriveInfo(), 2);
    EXPECT_EQ(rflash::transport.senseData[2], 0x05);
    rflash::closeDrive();
    EXPECT_EQ(rflash::probeInquiry(), -1);  // no open drive
}

}  // namespace
}  // namespace transport_test
