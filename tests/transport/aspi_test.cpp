// The library path: the request record, event and polling completion with their time-out rules,
// the not-ready exemption, the probes, and requests abandoned after a time-out.
#include <cstring>
#include <functional>

#include "driver/definitions.h"
#include "support/fresh_state.h"
#include "transport_bench.h"
#include "update/state.h"

namespace transport_test {
namespace {

using platform::SRB_ExecSCSICmd;

class Aspi : public Bench {
public:
    void SetUp() override { use(Route::Aspi); }

    // The record of the request sent last (the transport moves to another slot only after an
    // abandonment).
    SRB_ExecSCSICmd& record() {
        return *reinterpret_cast<SRB_ExecSCSICmd*>(requestBlock_.data() + rflash::transport.aspiRecordSlot * 96);
    }

    static emu::Fault slow(std::uint8_t opcode, std::uint32_t durationMs, unsigned occurrence = 0) {
        return {.when = {.opcode = opcode, .occurrence = occurrence}, .effect = emu::FaultEffect::Slow,
                .durationMs = durationMs};
    }
    static emu::Fault failing(std::uint8_t opcode, emu::Sense with) {
        return {.when = {.opcode = opcode}, .effect = emu::FaultEffect::CheckCondition, .sense = with};
    }

    // A mode-change block the default drive accepts.
    std::vector<std::uint8_t> block = [] {
        std::vector<std::uint8_t> bytes(256, 0);
        std::memcpy(bytes.data(), "ZANTOVA  QRW-C28", 16);
        std::uint32_t code = rflash::kModeAccessKey + rflash::kStockFamilyOffset;
        for (int i = 0; i < 4; ++i) bytes[16 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(code >> (8 * i));
        return bytes;
    }();
};

TEST_F(Aspi, TheRecordIsFilledAsTheLibraryExpectsIt) {
    addTarget();
    emu::DeviceId second = addTarget();
    rflash::discovery.targetList[1].adapterIndex = 0x100;  // only the low bytes are used
    rflash::discovery.targetList[1].targetId = 0x201;
    std::uint8_t data[96]{};
    ASSERT_EQ(run(request(1, kInquiry, rflash::DirectionIn, data, 96)), 0);

    const SRB_ExecSCSICmd& sent = record();
    EXPECT_EQ(sent.SRB_Cmd, platform::SC_EXEC_SCSI_CMD);
    EXPECT_EQ(sent.SRB_Status, platform::SS_COMP);
    EXPECT_EQ(sent.SRB_HaId, 0);
    EXPECT_EQ(sent.SRB_Target, 1);
    EXPECT_EQ(sent.SRB_Lun, 0);
    EXPECT_EQ(sent.SRB_Flags, 0x48);
    EXPECT_EQ(sent.SRB_BufLen, 96u);
    EXPECT_EQ(sent.SRB_BufPointer, data);
    EXPECT_EQ(sent.SRB_SenseLen, 18);
    EXPECT_EQ(sent.SRB_CDBLen, 6);
    void* event = sent.SRB_PostProc;  // a packed field: read it before comparing
    EXPECT_NE(event, nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(sent.CDBByte, sent.CDBByte + 6), kInquiry);
    EXPECT_EQ(emu::traceOf(second).at(0).buffer, data);
    EXPECT_EQ(emu::openEventCount(), 0);
}

TEST_F(Aspi, EventFlagsFollowTheDirection) {
    addTarget();
    std::uint8_t data[256]{};
    const std::vector<std::pair<rflash::CommandRequest, int>> cases = {
        {request(0, kTestUnitReady), 0x40},
        {request(0, kInquiry, rflash::DirectionIn, data, 96), 0x48},
        {request(0, {0x3B, 4, 0xFF, 0, 0, 0, 0, 1, 0, 0}, rflash::DirectionOut, data, 256), 0x50},
    };
    for (const auto& [built, flags] : cases) {
        run(built);
        EXPECT_EQ(record().SRB_Flags, flags);
    }
}

TEST_F(Aspi, EventWaitsAreBoundedByTheTimeOutUnlessNoneIsGivenOrTheVendorClassIs0x300) {
    struct Case {
        std::int32_t timeoutMs;
        std::int32_t vendorCodeClass;
        std::int32_t result;
    };
    for (Case c : {Case{5000, 0, -2}, Case{0, 0, 0}, Case{5000, 0x300, 0}, Case{5000, 0x100, -2}}) {
        rflash_test::resetEverything();
        use(Route::Aspi);
        emu::injectFault(addTarget({.medium = emu::MediumState::DiscTurning}), slow(0x00, 90000));
        rflash::update.vendorCodeClass = c.vendorCodeClass;
        rflash::transport.senseData = sense(0x06, 0x29, 0);
        EXPECT_EQ(run(request(0, kTestUnitReady, rflash::DirectionNone, nullptr, 0, c.timeoutMs)), c.result)
            << c.timeoutMs << " ms, class " << c.vendorCodeClass;
        std::uint64_t expected = c.result == 0 ? 90000u : 5000u;
        EXPECT_NEAR(static_cast<double>(emu::elapsedMs()), static_cast<double>(expected), 2.0);
        EXPECT_EQ(rflash::transport.senseData, sense(0x06, 0x29, 0));
        EXPECT_EQ(emu::openEventCount(), 0);
    }
}

TEST_F(Aspi, OnlyWriteBufferToTheIeee1394AdapterIsPolled) {
    std::uint8_t data[256]{};
    const std::vector<std::uint8_t> writeBuffer = {0x3B, 4, 0xFF, 0, 0, 0, 0, 1, 0, 0};
    struct Case {
        std::int32_t ieee1394Adapter;
        std::vector<std::uint8_t> cdb;
        bool polled;
    };
    const std::vector<Case> cases = {
        {0, writeBuffer, true},
        {1, writeBuffer, false},
        {0, kReadDriveInfo, false},
        {-1, writeBuffer, false},
    };
    for (const Case& c : cases) {
        rflash_test::resetEverything();
        use(Route::Aspi);
        addTarget();
        rflash::discovery.ieee1394Adapter = c.ieee1394Adapter;
        bool in = c.cdb[0] == 0x3C;
        run(request(0, c.cdb, in ? rflash::DirectionIn : rflash::DirectionOut, data, in ? 48 : 256));
        EXPECT_EQ((record().SRB_Flags & platform::SRB_EVENT_NOTIFY) == 0, c.polled) << c.ieee1394Adapter;
        EXPECT_EQ(record().SRB_PostProc == nullptr, c.polled) << c.ieee1394Adapter;
        // A polled command looks at the status only after a 500 ms pause.
        EXPECT_EQ(emu::elapsedMs() >= 500, c.polled) << c.ieee1394Adapter;
    }
}

TEST_F(Aspi, PollingLooksEvery500MsAndGivesUpAfterThe21stPauseFor10000Ms) {
    struct Case {
        std::int32_t timeoutMs;
        std::uint32_t durationMs;
        std::int32_t result;
        std::uint64_t elapsedMs;
    };
    for (Case c : {Case{10000, 20000, -1, 10500}, Case{10000, 10000, 0, 10000}, Case{0, 30200, 0, 30500},
                   Case{60000, 1200, 0, 1500}}) {
        rflash_test::resetEverything();
        use(Route::Aspi);
        emu::injectFault(addTarget(), slow(0x3B, c.durationMs));
        rflash::discovery.ieee1394Adapter = 0;
        rflash::transport.senseData = sense(0x06, 0x29, 0);
        EXPECT_EQ(run(request(0, {0x3B, 4, 0xFF, 0, 0, 0, 0, 1, 0, 0}, rflash::DirectionOut, block.data(), 256,
                              c.timeoutMs)),
                  c.result)
            << c.timeoutMs << "/" << c.durationMs;
        EXPECT_EQ(emu::elapsedMs(), c.elapsedMs) << c.timeoutMs << "/" << c.durationMs;
        EXPECT_EQ(rflash::transport.senseData, sense(0x06, 0x29, 0));
        EXPECT_EQ(emu::openEventCount(), 0);
    }
}

TEST_F(Aspi, FailuresCopyTheSenseAreaAndRecomputeTheSenseCode) {
    emu::DeviceId drive = addTarget();
    emu::injectFault(drive, failing(0x3C, {0x03, 0x11, 0x05}));
    std::uint8_t data[48]{};
    EXPECT_EQ(run(request(0, kReadDriveInfo, rflash::DirectionIn, data, 48)), -1);
    EXPECT_EQ(rflash::transport.senseData, sense(0x03, 0x11, 0x05));
    EXPECT_EQ(rflash::transport.senseCode, 0x031105);
}

TEST_F(Aspi, NotReadyIsExemptBehindAnIntelHostDriverExceptForTestUnitReady) {
    struct Case {
        std::int32_t hostDriverKind;
        std::vector<std::uint8_t> cdb;
        std::uint8_t senseKey;
        std::int32_t result;
    };
    const std::vector<Case> cases = {
        {1, kReadDriveInfo, 0x02, 0},  {1, kTestUnitReady, 0x02, -1}, {1, kReadDriveInfo, 0x22, -1},
        {0, kReadDriveInfo, 0x02, -1}, {1, kReadDriveInfo, 0x05, -1},
    };
    std::uint8_t data[48]{};
    for (const Case& c : cases) {
        rflash_test::resetEverything();
        use(Route::Aspi);
        std::fill(std::begin(data), std::end(data), 0xAA);  // what an earlier read left
        emu::injectFault(addTarget(), failing(c.cdb[0], {c.senseKey, 0x04, 0x01}));
        rflash::discovery.hostDriverKind = c.hostDriverKind;
        bool in = c.cdb[0] == 0x3C;
        EXPECT_EQ(run(request(0, c.cdb, in ? rflash::DirectionIn : rflash::DirectionNone, in ? data : nullptr,
                              in ? 48 : 0)),
                  c.result)
            << "kind " << c.hostDriverKind << " opcode " << int{c.cdb[0]} << " key " << int{c.senseKey};
        // The sense is kept whether or not the failure was forgiven.
        EXPECT_EQ(rflash::transport.senseCode, c.senseKey * 65536 + 0x0401);
        // A forgiven read delivered nothing: its buffer reads as zero, not as the earlier data.
        if (in) {
            EXPECT_TRUE(std::all_of(std::begin(data), std::end(data), [](std::uint8_t b) { return b == 0; }));
        }
    }
}

TEST_F(Aspi, ATargetIndexOutsideTheListSendsNothing) {
    addTarget();
    rflash::transport.senseData = sense(0x06, 0x29, 0);
    EXPECT_EQ(run(request(1, kTestUnitReady)), -1);
    EXPECT_TRUE(emu::commandTrace().empty());
    EXPECT_EQ(rflash::transport.senseData, sense(0x06, 0x29, 0));
}

TEST_F(Aspi, WithoutARequestBlockOrLibraryNothingIsSent) {
    addTarget();
    rflash::discovery.aspiRequestBlock = {};
    EXPECT_EQ(run(request(0, kTestUnitReady)), -1);
    use(Route::Aspi);
    rflash::discovery.sendAspi32Command = nullptr;
    EXPECT_EQ(run(request(0, kTestUnitReady)), -1);
    EXPECT_TRUE(emu::commandTrace().empty());
}

TEST_F(Aspi, ProbesAskForNoSenseAndWaitWithoutLimit) {
    emu::DeviceId drive = emu::attachAspiDrive(2, 5, {.hardwareRevision = "TR-9"});
    emu::injectFault(drive, slow(0x12, 120000));
    rflash::transport.senseData = sense(0x06, 0x29, 0);
    EXPECT_EQ(rflash::probeInquiry(0x102, 0x305), 0);
    EXPECT_EQ(emu::elapsedMs(), 120000u);
    EXPECT_EQ(record().SRB_Flags, 0x48);
    EXPECT_EQ(record().SRB_SenseLen, 0);
    EXPECT_EQ(record().SRB_BufPointer, workBuffer_.data());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(workBuffer_.data()) + 8, 8), "ZANTOVA ");

    EXPECT_EQ(rflash::probeDriveInfo(2, 5), 0);
    EXPECT_EQ(std::string(rflash::transport.driveInfo.infoHardwareRevision, 8), "TR-9    ");

    emu::injectFault(drive, failing(0x3C, {0x05, 0x24, 0x00}));
    EXPECT_EQ(rflash::probeDriveInfo(2, 5), -1);
    EXPECT_EQ(rflash::probeInquiry(2, 6), -1);  // nobody there
    EXPECT_EQ(rflash::transport.senseData, sense(0x06, 0x29, 0));
    EXPECT_EQ(emu::openEventCount(), 0);
}

// ---- Requests abandoned after a time-out ----

TEST_F(Aspi, ALateCompletionOnAnotherTargetChangesNothingOfALaterCommand) {
    emu::DeviceId first = addTarget();
    addTarget();
    emu::injectFault(first, slow(0x3C, 8000));
    std::uint8_t info[48]{};
    ASSERT_EQ(run(request(0, kReadDriveInfo, rflash::DirectionIn, info, 48, 1000)), -2);
    std::uint32_t abandonedSlot = 0;
    ASSERT_NE(rflash::transport.aspiRecordSlot, abandonedSlot);

    // The next command, to the other drive, fails with its own sense before the late completion.
    ASSERT_EQ(run(request(1, kTestUnitReady)), -1);
    const SRB_ExecSCSICmd laterRecord = record();
    const rflash::SenseData laterSense = rflash::transport.senseData;
    EXPECT_EQ(laterSense, sense(0x02, 0x3A, 0x00));

    emu::advanceClock(10000);
    auto* abandoned = reinterpret_cast<SRB_ExecSCSICmd*>(requestBlock_.data());
    EXPECT_EQ(abandoned->SRB_Status, platform::SS_COMP);  // it did come, into its own record
    EXPECT_EQ(std::memcmp(&record(), &laterRecord, sizeof laterRecord), 0);
    EXPECT_EQ(rflash::transport.senseData, laterSense);
}

TEST_F(Aspi, APolledCommandAfterAnAbandonedOneJudgesOnlyItsOwnRecord) {
    emu::DeviceId drive = addTarget();
    rflash::discovery.ieee1394Adapter = 0;
    emu::injectFault(drive, slow(0x3B, 5000, 1));
    emu::injectFault(drive, {.when = {.opcode = 0x3B, .occurrence = 2}, .sense = {0x05, 0x26, 0x00}});
    const std::vector<std::uint8_t> modeChange = {0x3B, 4, 0xFF, 0, 0, 0, 0, 1, 0, 0};
    EXPECT_EQ(run(request(0, modeChange, rflash::DirectionOut, block.data(), 256, 1000)), -1);
    // The late success of the first request lands while this one is polled; it must not count.
    EXPECT_EQ(run(request(0, modeChange, rflash::DirectionOut, block.data(), 256, 60000)), -1);
    EXPECT_EQ(rflash::transport.senseData, sense(0x05, 0x26, 0x00));
    EXPECT_GT(emu::elapsedMs(), 5000u);
}

TEST_F(Aspi, AReusedEventHandleSetByALateCompletionDoesNotEndTheWait) {
    emu::reuseClosedEventHandles(true);
    emu::DeviceId first = addTarget();
    emu::DeviceId second = addTarget();
    emu::injectFault(first, slow(0x00, 3000));
    emu::injectFault(second, slow(0x00, 6000));
    ASSERT_EQ(run(request(0, kTestUnitReady, rflash::DirectionNone, nullptr, 0, 1000)), -2);
    auto* abandoned = reinterpret_cast<SRB_ExecSCSICmd*>(requestBlock_.data());

    // Waits without limit; the first drive's completion at 3000 ms sets the same event handle.
    EXPECT_EQ(run(request(1, kTestUnitReady, rflash::DirectionNone, nullptr, 0, 0)), -1);
    void* laterEvent = record().SRB_PostProc;
    void* abandonedEvent = abandoned->SRB_PostProc;
    EXPECT_EQ(laterEvent, abandonedEvent);
    EXPECT_EQ(rflash::transport.senseData, sense(0x02, 0x3A, 0x00));
    EXPECT_GE(emu::elapsedMs(), 7000u);
}

TEST_F(Aspi, AnEarlyWakeWaitsOnlyForWhatIsLeftOfTheTimeOut) {
    emu::reuseClosedEventHandles(true);
    emu::DeviceId first = addTarget();
    emu::DeviceId second = addTarget();
    emu::injectFault(first, slow(0x00, 3000));
    emu::injectFault(second, slow(0x00, 60000));
    ASSERT_EQ(run(request(0, kTestUnitReady, rflash::DirectionNone, nullptr, 0, 1000)), -2);
    EXPECT_EQ(run(request(1, kTestUnitReady, rflash::DirectionNone, nullptr, 0, 5000)), -2);
    EXPECT_NEAR(static_cast<double>(emu::elapsedMs()), 6000.0, 3.0);
}

TEST_F(Aspi, DataOfAnAbandonedReadIsNotLetIntoOtherUsesOfItsBuffer) {
    emu::DeviceId first = addTarget({.product = "DVD-RW  FIRST   "});
    addTarget({.product = "DVD-RW  SECOND  "});
    emu::injectFault(first, slow(0x12, 4000, 1));
    std::uint8_t data[96]{};
    ASSERT_EQ(run(request(0, kInquiry, rflash::DirectionIn, data, 96, 1000)), -2);

    // Another drive's data into the same bytes could be overwritten by the late completion.
    EXPECT_EQ(run(request(1, kInquiry, rflash::DirectionIn, data, 96, 5000)), -1);
    EXPECT_EQ(run(request(1, {0x3B, 4, 0xFF, 0, 0, 0, 0, 0, 96, 0}, rflash::DirectionOut, data, 96)), -1);
    EXPECT_EQ(emu::commandTrace().size(), 1u);

    // The same drive serves its requests in order, so a new read there lands last.
    EXPECT_EQ(run(request(0, kInquiry, rflash::DirectionIn, data, 96, 5000)), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data) + 16, 16), "DVD-RW  FIRST   ");

    // Once the late request has completed, the bytes are free again.
    EXPECT_EQ(run(request(1, kInquiry, rflash::DirectionIn, data, 96, 5000)), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data) + 16, 16), "DVD-RW  SECOND  ");
}

}  // namespace
}  // namespace transport_test
