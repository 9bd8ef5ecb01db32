// The command set: the bytes each builder puts on the wire, and the commands of a whole update
// run on both paths against the emulated drive.
#include <cstring>
#include <functional>

#include "driver/definitions.h"
#include "driver/state.h"
#include "support/fresh_state.h"
#include "transport/commands.h"
#include "transport_bench.h"

namespace transport_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes sentCdb(const emu::TraceEntry& entry) {
    return Bytes(entry.cdb.begin(), entry.cdb.begin() + entry.cdbLength);
}

class Commands : public Bench {
public:
    void SetUp() override { use(Route::PassThrough); }
    std::vector<std::uint8_t> data = std::vector<std::uint8_t>(0x10000, 0);
};

// Builders on the pass-through path, where the trace shows the time-out the drive was given.
TEST_F(Commands, EachBuilderPutsItsBytesDirectionLengthAndTimeOutOnTheWire) {
    struct Case {
        const char* name;
        std::function<std::int32_t(std::uint8_t*)> issue;
        Bytes cdb;
        emu::DataDirection direction;
        std::uint32_t length;
        std::uint32_t timeoutSeconds;
    };
    using emu::DataDirection;
    const std::vector<Case> cases = {
        {"test unit ready", [](auto*) { return rflash::testUnitReady(0); }, {0x00, 0, 0, 0, 0, 0},
         DataDirection::None, 0, 7},
        {"inquiry, no IEEE 1394 adapter", [](auto* b) { return rflash::inquiry(0, b); },
         {0x12, 0, 0, 0, 0x60, 0}, DataDirection::In, 96, 5},
        {"inquiry, IEEE 1394 adapter 0",
         [](auto* b) {
             rflash::discovery.ieee1394Adapter = 0;
             return rflash::inquiry(0, b);
         },
         {0x12, 0, 0, 0, 0x60, 0}, DataDirection::In, 96, 1},
        {"load and start", [](auto*) { return rflash::startStopUnit(0, 0, 0, 1, 1); },
         {0x1B, 0, 0, 0, 0x03, 0}, DataDirection::None, 0, 7},
        {"power condition 1", [](auto*) { return rflash::startStopUnit(0, 0, 1, 0, 0); },
         {0x1B, 0, 0, 0, 0x10, 0}, DataDirection::None, 0, 7},
        {"immediate", [](auto*) { return rflash::startStopUnit(0, 1, 0, 0, 1); }, {0x1B, 1, 0, 0, 0x01, 0},
         DataDirection::None, 0, 7},
        {"drive information", [](auto* b) { return rflash::readBuffer(0, 2, 0xF1, 0, 48, b); },
         {0x3C, 2, 0xF1, 0, 0, 0, 0, 0, 0x30, 0}, DataDirection::In, 48, 7},
        {"read buffer with offset", [](auto* b) { return rflash::readBuffer(0, 2, 0xF1, 0x18000, 0x8000, b); },
         {0x3C, 2, 0xF1, 0x01, 0x80, 0x00, 0, 0x80, 0x00, 0}, DataDirection::In, 0x8000, 7},
        {"write buffer with offset", [](auto* b) { return rflash::writeBuffer(0, 7, 0xF0, 0x18000, 0x8000, b); },
         {0x3B, 7, 0xF0, 0x01, 0x80, 0x00, 0, 0x80, 0x00, 0}, DataDirection::Out, 0x8000, 7},
        {"offset beyond 24 bits", [](auto* b) { return rflash::writeBuffer(0, 7, 0xF0, 0x1234567, 16, b); },
         {0x3B, 7, 0xF0, 0x23, 0x45, 0x67, 0, 0x00, 0x10, 0}, DataDirection::Out, 16, 7},
        {"write buffer without data", [](auto* b) { return rflash::writeBuffer(0, 4, 0xFF, 0, 0, b); },
         {0x3B, 4, 0xFF, 0, 0, 0, 0, 0, 0, 0}, DataDirection::None, 0, 7},
        {"stop unit", [](auto*) { return rflash::stopUnit(); }, {0x1B, 0, 0, 0, 0, 0}, DataDirection::None, 0,
         60},
        {"image piece", [](auto* b) { return rflash::writeBufferF0(0x8000, 0x18000, b); },
         {0x3B, 7, 0xF0, 0x00, 0x80, 0x00, 0, 0x80, 0x00, 0}, DataDirection::Out, 0x8000, 60},
    };
    for (const Case& c : cases) {
        rflash_test::resetEverything();
        use(Route::PassThrough);
        addTarget();
        rflash::transport.commandTimeoutMs = 7000;
        c.issue(data.data());
        ASSERT_EQ(emu::commandTrace().size(), 1u) << c.name;
        const emu::TraceEntry& sent = emu::commandTrace()[0];
        EXPECT_EQ(sentCdb(sent), c.cdb) << c.name;
        EXPECT_EQ(sent.direction, c.direction) << c.name;
        EXPECT_EQ(sent.transferLength, c.length) << c.name;
        EXPECT_EQ(sent.timeoutSeconds, c.timeoutSeconds) << c.name;
    }
}

TEST_F(Commands, WrappersAddressTheCurrentTargetAndLeaveTheirTimeOutSet) {
    addTarget();
    emu::DeviceId second = addTarget({.medium = emu::MediumState::DiscTurning});
    rflash::program.currentTarget = 1;
    rflash::transport.commandTimeoutMs = 60000;
    rflash::stopUnit();
    EXPECT_EQ(rflash::transport.commandTimeoutMs, 0);
    EXPECT_EQ(emu::drive(second).medium(), emu::MediumState::DiscStopped);
    rflash::testUnitReady(1);  // runs with the 0 that stopUnit left: 60 s on this path
    rflash::writeBufferF0(0, 0x8000, data.data());
    EXPECT_EQ(rflash::transport.commandTimeoutMs, 60000);
    std::vector<emu::TraceEntry> seen = emu::traceOf(second);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].timeoutSeconds, 60u);
    EXPECT_EQ(seen[2].buffer, data.data());
}

// ---- Both paths ----

class BothPaths : public Bench, public ::testing::WithParamInterface<Route> {
public:
    void SetUp() override { use(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Transport, BothPaths, ::testing::Values(Route::PassThrough, Route::Aspi), routeName);

TEST_P(BothPaths, SenseOutlivesALaterSuccessAndCaptureSenseReproducesItsCode) {
    emu::DeviceId drive = addTarget({.medium = emu::MediumState::DiscStopped});
    rflash::transport.commandTimeoutMs = 60000;
    EXPECT_NE(rflash::testUnitReady(0), 0);
    rflash::captureSense();
    EXPECT_EQ(rflash::transport.senseCode, 0x020402);
    const rflash::SenseData failed = rflash::transport.senseData;

    emu::drive(drive).setMedium(emu::MediumState::DiscTurning);
    std::uint8_t identity[96]{};
    EXPECT_EQ(rflash::testUnitReady(0), 0);
    EXPECT_EQ(rflash::inquiry(0, identity), 0);
    EXPECT_EQ(rflash::transport.senseData, failed);
    rflash::transport.senseCode = 0;
    rflash::captureSense();
    EXPECT_EQ(rflash::transport.senseCode, 0x020402);
}

TEST_P(BothPaths, MalformedRequestsAreRefusedWithNothingSent) {
    addTarget();
    std::uint8_t data[96]{};
    using Change = std::function<void(rflash::CommandRequest&)>;
    const std::vector<Change> malformed = {
        [](auto& r) { r.cdbLength = 0; },
        [](auto& r) { r.cdbLength = 17; },
        [](auto& r) { r.direction = 3; },
        [](auto& r) { r.transferLength = -1; },
        [](auto& r) { r.buffer = nullptr; },
        [](auto& r) { r.direction = rflash::DirectionNone; },
    };
    for (std::size_t i = 0; i < malformed.size(); ++i) {
        rflash::CommandRequest built = request(0, kInquiry, rflash::DirectionIn, data, 96);
        malformed[i](built);
        EXPECT_EQ(rflash::executeCommand(built), -1) << "case " << i;
    }
    EXPECT_TRUE(emu::commandTrace().empty());
}

std::vector<std::uint8_t> modeChangeBlock() {
    std::vector<std::uint8_t> block(256, 0);
    std::memcpy(block.data(), "ZANTOVA  QRW-C28", 16);
    std::uint32_t code = rflash::kModeAccessKey + rflash::kStockFamilyOffset;
    for (int i = 0; i < 4; ++i) block[16 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(code >> (8 * i));
    return block;
}

// Every command of an update, in the order the update sends them, reaches the drive with the
// caller's own buffers: the transport never copies data.
TEST_P(BothPaths, AWholeUpdateRunsAgainstTheDriveWithTheCallersOwnBuffers) {
    constexpr std::uint32_t kImageSize = 0x18000;
    emu::DeviceId drive = addTarget({.imageSize = kImageSize});
    std::vector<std::uint8_t> image(kImageSize, 0x5A);
    std::memcpy(image.data() + 144, "1.07", 4);
    std::memcpy(image.data() + 240, "STOCK   ", 8);
    std::memcpy(image.data() + 304, "10/02/01", 8);
    std::vector<std::uint8_t> parameters = modeChangeBlock();
    std::uint8_t identity[96]{};
    auto* info = reinterpret_cast<std::uint8_t*>(&rflash::transport.driveInfo);

    rflash::transport.commandTimeoutMs = 60000;
    ASSERT_EQ(rflash::inquiry(0, identity), 0);
    ASSERT_EQ(rflash::readBuffer(0, 2, 0xF1, 0, 48, info), 0);
    rflash::stopUnit();
    EXPECT_NE(rflash::testUnitReady(0), 0);  // no disc
    rflash::transport.commandTimeoutMs = 60000;
    ASSERT_EQ(rflash::writeBuffer(0, 4, 0xFF, 0, 256, parameters.data()), 0);
    ASSERT_EQ(rflash::inquiry(0, identity), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(identity) + 32, 4), "0001");
    for (std::uint32_t offset = 0; offset < kImageSize; offset += 0x8000) {
        ASSERT_EQ(rflash::writeBufferF0(static_cast<std::int32_t>(offset), 0x8000, image.data() + offset), 0);
    }
    rflash::transport.commandTimeoutMs = 180000;
    ASSERT_EQ(rflash::writeBuffer(0, 5, 0xFF, 0, 256, parameters.data()), 0);
    ASSERT_EQ(rflash::inquiry(0, identity), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(identity) + 32, 4), "1.07");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(identity) + 37, 8), "10/02/01");
    EXPECT_EQ(emu::drive(drive).restarts(), 1);

    std::vector<const void*> buffers;
    for (const emu::TraceEntry& entry : emu::traceOf(drive)) buffers.push_back(entry.buffer);
    const void* none = nullptr;
    const std::vector<const void*> expected = {identity,           info, none, none, parameters.data(), identity,
                                               image.data(),       image.data() + 0x8000,
                                               image.data() + 0x10000, parameters.data(), identity};
    EXPECT_EQ(buffers, expected);
}

}  // namespace
}  // namespace transport_test
