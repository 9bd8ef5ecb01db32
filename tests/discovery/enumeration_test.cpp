// The drive walks on both interfaces, media change notification control and the target list.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "discovery/enumeration.h"
#include "discovery/host_environment.h"
#include "discovery/state.h"
#include "driver/definitions.h"
#include "driver/program.h"
#include "driver/state.h"
#include "platform/emulated/console.h"
#include "platform/emulated/devices.h"
#include "platform/emulated/handles.h"
#include "platform/emulated/machine.h"
#include "platform/platform.h"
#include "platform/scsi.h"
#include "support/fresh_state.h"
#include "transport/state.h"

namespace {

using rflash::discovery;

// A drive of the family the compiled-in definition updates, with the edition it applies to.
emu::DeviceConfig matchingDrive() {
    emu::DeviceConfig config;
    config.vendor = "ZANTOVA ";
    config.product = "DVD-RW  QRW-E28 ";
    config.hardwareRevision = "SAT 1   ";
    config.normalVendorCode = "STOCK   ";
    return config;
}

emu::DeviceConfig otherDrive() {
    emu::DeviceConfig config = matchingDrive();
    config.product = "CD-ROM  OTHER   ";
    return config;
}

emu::DeviceConfig withType(emu::DeviceConfig config, std::uint8_t deviceType) {
    config.deviceType = deviceType;
    return config;
}

std::vector<char> listedLetters() {
    std::vector<char> letters;
    for (std::int32_t i = 0; i < discovery.targetCount; ++i) {
        const rflash::TargetEntry& entry = discovery.targetList[static_cast<std::size_t>(i)];
        EXPECT_EQ(entry.adapterIndex, 0);
        EXPECT_EQ(entry.targetId, 0);
        letters.push_back(entry.driveLetter);
    }
    return letters;
}

std::vector<std::pair<int, int>> listedAspiTargets() {
    std::vector<std::pair<int, int>> targets;
    for (std::int32_t i = 0; i < discovery.targetCount; ++i) {
        const rflash::TargetEntry& entry = discovery.targetList[static_cast<std::size_t>(i)];
        EXPECT_EQ(entry.driveLetter, 0);
        targets.emplace_back(entry.adapterIndex, entry.targetId);
    }
    return targets;
}

std::vector<std::uint8_t> opcodesReceived(emu::DeviceId device) {
    std::vector<std::uint8_t> opcodes;
    for (const emu::TraceEntry& command : emu::traceOf(device)) opcodes.push_back(command.cdb[0]);
    return opcodes;
}

bool driveInfoIsEmpty() {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&rflash::transport.driveInfo);
    return std::all_of(bytes, bytes + sizeof rflash::transport.driveInfo, [](std::uint8_t b) { return b == 0; });
}

std::vector<std::pair<char, std::uint8_t>> mcnCalls() {
    std::vector<std::pair<char, std::uint8_t>> calls;
    for (const emu::McnControlCall& call : emu::mcnControlCalls()) calls.emplace_back(call.letter, call.preventMediaRemoval);
    return calls;
}

// Host checks as the main sequence runs them; the walk comes next.
void setUpHost() {
    rflash::setUpDefinitions();
    ASSERT_EQ(rflash::checkHostEnvironment(), 0);
}

void useAspiWith(const std::vector<std::string>& adapters) {
    emu::setWindowsVersion(platform::VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    emu::installAspiLibrary();
    for (const std::string& identifier : adapters) emu::addAspiAdapter(identifier);
}

// ---- Pass-through walk ----

TEST(PassThroughWalk, NoDriveLettersNoTargets) {
    setUpHost();
    EXPECT_EQ(rflash::enumerateDrives(), 0);
    EXPECT_EQ(discovery.targetCount, 0);
    EXPECT_EQ(discovery.opticalDriveCount, 0);
    EXPECT_TRUE(emu::commandTrace().empty());
}

TEST(PassThroughWalk, ListsMatchingDrivesInLetterOrderFromD) {
    emu::DeviceId beforeD = emu::attachDrive('C', matchingDrive());
    emu::attachDrive('Z', matchingDrive());
    emu::attachDrive('F', matchingDrive());
    emu::attachDrive('E', matchingDrive());
    emu::DeviceId refused = emu::attachDrive('G', matchingDrive());
    emu::refuseOpen('G');
    emu::attachDrive('H', otherDrive());
    setUpHost();

    EXPECT_EQ(rflash::enumerateDrives(), 3);
    EXPECT_EQ(listedLetters(), (std::vector<char>{'E', 'F', 'Z'}));
    EXPECT_EQ(rflash::program.currentTarget, 2);
    EXPECT_TRUE(emu::traceOf(beforeD).empty());
    EXPECT_TRUE(emu::traceOf(refused).empty());
    // Each candidate gets one Inquiry and one drive-information read, and is closed again.
    for (const emu::TraceEntry& command : emu::commandTrace()) {
        EXPECT_TRUE(command.cdb[0] == scsi::INQUIRY || command.cdb[0] == scsi::READ_BUFFER);
    }
    EXPECT_EQ(emu::commandTrace().size(), 8u);
    EXPECT_EQ(discovery.opticalDriveCount, 4);
}

TEST(PassThroughWalk, OpticalDrivesComeUnderNotificationControlUntilRelease) {
    emu::attachDrive('D', withType(otherDrive(), scsi::TYPE_ROM));      // optical, not matching
    emu::attachDrive('E', withType(matchingDrive(), scsi::TYPE_DISK));  // matching, not optical
    emu::attachDrive('F', withType(matchingDrive(), scsi::TYPE_WORM));  // write-once, matching
    emu::attachDrive('G', withType(otherDrive(), 0x25));                // qualifier bits set: not optical
    emu::attachDrive('H', withType(matchingDrive(), scsi::TYPE_ROM));
    emu::refuseOpen('H', true);  // not even a control handle opens
    setUpHost();

    EXPECT_EQ(rflash::enumerateDrives(), 2);
    EXPECT_EQ(listedLetters(), (std::vector<char>{'E', 'F'}));
    ASSERT_EQ(discovery.opticalDriveCount, 2);
    EXPECT_EQ(std::string(discovery.opticalDriveLetters.data(), 2), "DF");
    EXPECT_EQ(mcnCalls(), (std::vector<std::pair<char, std::uint8_t>>{{'D', 1}, {'F', 1}}));
    // The control handles stay open through the run; the probe handles do not.
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Device), 2);

    rflash::finalRelease();
    EXPECT_EQ(mcnCalls(), (std::vector<std::pair<char, std::uint8_t>>{{'D', 1}, {'F', 1}, {'D', 0}, {'F', 0}}));
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Device), 0);
    EXPECT_TRUE(emu::globalBlocksAllocated().empty());
}

TEST(PassThroughWalk, AFailedDriveInformationReadIsMatchedAgainstAnEmptyBlock) {
    emu::attachDrive('D', matchingDrive());
    emu::DeviceConfig silent = matchingDrive();
    silent.answersDriveInfo = false;
    emu::attachDrive('E', silent);
    setUpHost();

    // E would match on D's block; on an empty one it does not.
    EXPECT_EQ(rflash::enumerateDrives(), 1);
    EXPECT_EQ(listedLetters(), (std::vector<char>{'D'}));
    EXPECT_TRUE(driveInfoIsEmpty());
}

TEST(PassThroughWalk, ADeviceThatDoesNotAnswerTheInquiryIsNotReadFurther) {
    emu::DeviceId silent = emu::attachDrive('D', matchingDrive());
    emu::injectFault(silent, {.when = {.opcode = scsi::INQUIRY}, .effect = emu::FaultEffect::CheckCondition,
                              .sense = {scsi::ILLEGAL_REQUEST, 0x24, 0}});
    emu::attachDrive('E', matchingDrive());
    setUpHost();

    EXPECT_EQ(rflash::enumerateDrives(), 1);
    EXPECT_EQ(listedLetters(), (std::vector<char>{'E'}));
    EXPECT_EQ(opcodesReceived(silent), (std::vector<std::uint8_t>{scsi::INQUIRY}));
    EXPECT_EQ(discovery.opticalDriveCount, 1);
    EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Device), 1);  // E's control handle only
}

// ---- ASPI walk ----

TEST(AspiWalk, TheAdapterIdentifierDecidesWhichTargetIdsAreProbed) {
    struct Case {
        const char* name;
        std::vector<std::string> adapters;
        std::vector<std::pair<int, int>> probed;  // adapter, target id, in order
    };
    const Case cases[] = {
        {"an Intel IDE host driver leaves only its own adapters",
         {"ESDI_506", "NTMAPHLP", "intelata"},
         {{0, 0}, {0, 1}, {2, 0}, {2, 1}}},
        {"wherever intelata stands",
         {"intelata", "NTMAPHLP", "ESDI_506"},
         {{0, 0}, {0, 1}, {2, 0}, {2, 1}}},
        {"without it every other adapter gets seven ids",
         {"ESDI_506", "NTMAPHLP"},
         {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rflash_test::resetEverything();
        useAspiWith(c.adapters);
        // A matching drive at every target id 0 to 7 of every adapter.
        std::vector<std::pair<emu::DeviceId, std::pair<int, int>>> drives;
        for (int adapter = 0; adapter < static_cast<int>(c.adapters.size()); ++adapter) {
            for (int target = 0; target < 8; ++target) {
                drives.push_back({emu::attachAspiDrive(static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target),
                                                       matchingDrive()),
                                  {adapter, target}});
            }
        }
        setUpHost();

        EXPECT_EQ(rflash::enumerateDrives(), static_cast<std::int32_t>(c.probed.size()));
        EXPECT_EQ(listedAspiTargets(), c.probed);
        for (const auto& [device, address] : drives) {
            bool probed = std::find(c.probed.begin(), c.probed.end(), address) != c.probed.end();
            std::vector<std::uint8_t> expected;
            if (probed) expected = {scsi::INQUIRY, scsi::READ_BUFFER};
            EXPECT_EQ(opcodesReceived(device), expected) << address.first << ":" << address.second;
        }
        EXPECT_TRUE(emu::mcnControlCalls().empty());
        EXPECT_EQ(rflash::program.currentTarget, 0);
    }
}

TEST(AspiWalk, UnansweredIdsAreSkippedAndFailedReadsMatchAnEmptyBlock) {
    useAspiWith({"ESDI_506", "NTMAPHLP"});
    emu::DeviceId refusing = emu::attachAspiDrive(0, 0, matchingDrive());
    emu::injectFault(refusing, {.when = {.opcode = scsi::INQUIRY}, .effect = emu::FaultEffect::CheckCondition,
                                .sense = {scsi::ILLEGAL_REQUEST, 0x24, 0}});
    emu::attachAspiDrive(0, 1, matchingDrive());
    emu::DeviceConfig silent = matchingDrive();
    silent.answersDriveInfo = false;
    emu::DeviceId lastProbed = emu::attachAspiDrive(1, 4, silent);
    emu::attachAspiDrive(1, 2, otherDrive());
    setUpHost();

    EXPECT_EQ(rflash::enumerateDrives(), 1);
    EXPECT_EQ(listedAspiTargets(), (std::vector<std::pair<int, int>>{{0, 1}}));
    EXPECT_EQ(opcodesReceived(refusing), (std::vector<std::uint8_t>{scsi::INQUIRY}));
    EXPECT_EQ(opcodesReceived(lastProbed), (std::vector<std::uint8_t>{scsi::INQUIRY, scsi::READ_BUFFER}));
    EXPECT_TRUE(driveInfoIsEmpty());
}

TEST(AspiWalk, NoAdapterNoProbe) {
    useAspiWith({});
    emu::attachAspiDrive(0, 0, matchingDrive());
    setUpHost();
    EXPECT_EQ(rflash::enumerateDrives(), 0);
    EXPECT_EQ(discovery.targetCount, 0);
    EXPECT_TRUE(emu::commandTrace().empty());
}

TEST(AspiWalk, OnlyTheSixteenSurveyedAdaptersAreWalked) {
    std::vector<std::string> adapters(20, "ESDI_506");
    useAspiWith(adapters);
    emu::attachAspiDrive(15, 1, matchingDrive());
    emu::DeviceId beyond = emu::attachAspiDrive(16, 0, matchingDrive());
    setUpHost();

    EXPECT_EQ(rflash::enumerateDrives(), 1);
    EXPECT_EQ(listedAspiTargets(), (std::vector<std::pair<int, int>>{{15, 1}}));
    EXPECT_TRUE(emu::traceOf(beyond).empty());
}

// ---- The whole run, as the main sequence drives it ----

std::int32_t leaveDriveAsItWas() {
    return 1;
}

TEST(Discovery, TheRunFindsExactlyTheMachinesDrivesAndReleasesEverything) {
    for (bool aspi : {false, true}) {
        SCOPED_TRACE(aspi ? "ASPI" : "pass-through");
        rflash_test::resetEverything();
        if (aspi) {
            useAspiWith({"ESDI_506", "intelata"});
            emu::attachAspiDrive(0, 1, matchingDrive());
            emu::attachAspiDrive(1, 0, matchingDrive());
        } else {
            emu::attachDrive('E', matchingDrive());
            emu::attachDrive('K', matchingDrive());
            emu::attachDrive('M', otherDrive());
        }
        emu::scriptAnswers({platform::IDYES});
        rflash::MainSequenceSteps steps = rflash::realMainSequenceSteps();
        steps.updateDrive = &leaveDriveAsItWas;

        EXPECT_EQ(rflash::runMainSequence(steps), rflash::kExitCompleted);
        EXPECT_EQ(discovery.targetCount, 2);
        EXPECT_EQ(emu::boxesShown().size(), 1u);  // the all-drives question
        EXPECT_TRUE(emu::globalBlocksAllocated().empty());
        EXPECT_EQ(emu::invalidGlobalFrees(), 0);
        EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Device), 0);
        EXPECT_EQ(emu::openHandleCount(emu::HandleKind::Event), 0);
        EXPECT_EQ(emu::openRegistryKeyCount(), 0);
        for (const emu::McnControlCall& call : emu::mcnControlCalls()) {
            EXPECT_EQ(emu::mcnStateOf(call.handle), 0) << call.letter;
        }
        EXPECT_EQ(emu::mcnControlCalls().size(), aspi ? 0u : 6u);
    }
}

}  // namespace
