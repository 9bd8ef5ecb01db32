// Interface selection, host driver and adapter detection, the shared buffers and their release.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "discovery/host_environment.h"
#include "discovery/state.h"
#include "driver/program.h"
#include "messages/catalogue.h"
#include "platform/emulated/clock.h"
#include "platform/emulated/console.h"
#include "platform/emulated/machine.h"
#include "platform/platform.h"
#include "support/fresh_state.h"
#include "platform/emulated/devices.h"
#include "platform/scsi.h"
#include "transport/commands.h"
#include "transport/state.h"

namespace {

using rflash::discovery;
using rflash::kMiB;

constexpr const char* kAcceleratorKey = "SOFTWARE\\INTEL\\Intel Application Accelerator";
constexpr const char* kUltraAtaKey = "SOFTWARE\\INTEL\\Intel Ultra ATA Storage Driver";

// What showMessage prints for a code with style 0, taken from a clean console. Call it before
// the code under test runs: it clears the console.
std::string printedBy(std::uint32_t code) {
    emu::resetConsole();
    rflash::showMessage(code, rflash::MsgPrint);
    std::string text = emu::consoleOutput();
    emu::resetConsole();
    return text;
}

std::vector<std::size_t> blockSizes() {
    std::vector<std::size_t> sizes;
    for (const emu::GlobalBlock& block : emu::globalBlocksAllocated()) sizes.push_back(block.size);
    return sizes;
}

bool allZero(const rflash::SharedBuffer& buffer) {
    return std::all_of(buffer.data, buffer.data + buffer.size, [](std::uint8_t byte) { return byte == 0; });
}

void expectEverythingFreed() {
    EXPECT_TRUE(emu::globalBlocksAllocated().empty());
    EXPECT_EQ(emu::invalidGlobalFrees(), 0);
    EXPECT_EQ(emu::globalFreesOfLockedBlocks(), 0);
    for (const rflash::SharedBuffer* buffer :
         {&discovery.workBuffer, &discovery.aspiRequestBlock, &discovery.imageBuffer, &discovery.parameterBuffer}) {
        EXPECT_EQ(buffer->handle, nullptr);
        EXPECT_EQ(buffer->data, nullptr);
    }
}

void useWindows98() {
    emu::setWindowsVersion(platform::VER_PLATFORM_WIN32_WINDOWS, 4, 10);
}

class HostEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        intelDriverText = printedBy(48);
        ieee1394Text = printedBy(52);
        memoryErrorText = printedBy(13);
        ASSERT_EQ(intelDriverText, "\r\nDetect the Intel's IDE driver.");
        ASSERT_EQ(ieee1394Text, "\r\nDetect the IEEE1394 interface.");
        ASSERT_EQ(memoryErrorText, "\nMemory allocation error.  Terminating program\n");
    }

    std::string intelDriverText;
    std::string ieee1394Text;
    std::string memoryErrorText;
};

TEST_F(HostEnvironment, VersionSelectsTheInterface) {
    struct Case {
        platform::DWORD platformId, major, minor;
        std::int32_t useAspi;
    };
    const Case cases[] = {
        {platform::VER_PLATFORM_WIN32_WINDOWS, 4, 0, 1},   // 95
        {platform::VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1},  // 98
        {platform::VER_PLATFORM_WIN32_WINDOWS, 4, 90, 1},  // Me
        {platform::VER_PLATFORM_WIN32_WINDOWS, 4, 3, 0},
        {platform::VER_PLATFORM_WIN32_NT, 4, 0, 0},
        {platform::VER_PLATFORM_WIN32_NT, 4, 10, 0},  // the minor version only counts on platform 1
        {platform::VER_PLATFORM_WIN32_NT, 5, 0, 0},
        {platform::VER_PLATFORM_WIN32_NT, 5, 1, 0},
        {platform::VER_PLATFORM_WIN32_NT, 5, 2, 0},
        {platform::VER_PLATFORM_WIN32_NT, 6, 0, 0},
        {platform::VER_PLATFORM_WIN32_NT, 6, 1, 0},
        {platform::VER_PLATFORM_WIN32s, 3, 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "platform " << c.platformId << ", " << c.major << "." << c.minor);
        rflash_test::resetEverything();
        emu::setWindowsVersion(c.platformId, c.major, c.minor);
        emu::installAspiLibrary();
        emu::addAspiAdapter("ESDI_506");

        EXPECT_EQ(rflash::checkHostEnvironment(), 0);
        EXPECT_EQ(discovery.useAspi, c.useAspi);
        EXPECT_EQ(rflash::transport.commandTimeoutMs, 60000);
        EXPECT_EQ(emu::aspiLibraryLoads(), c.useAspi);
        EXPECT_EQ(emu::registryKeysTried().size(), c.useAspi == 1 ? 0u : 2u);
    }
}

TEST_F(HostEnvironment, EachPathAllocatesItsBuffersZeroFilledAndLocked) {
    struct Case {
        bool aspi;
        std::vector<std::size_t> sizes;  // in allocation order
    };
    const Case cases[] = {
        {false, {2 * kMiB, 8 * kMiB, 512}},
        {true, {2 * kMiB, 2 * kMiB, 2 * kMiB, 2 * kMiB}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.aspi ? "ASPI" : "pass-through");
        rflash_test::resetEverything();
        if (c.aspi) {
            useWindows98();
            emu::installAspiLibrary();
            emu::addAspiAdapter("ESDI_506");
        }
        ASSERT_EQ(rflash::checkHostEnvironment(), 0);

        EXPECT_EQ(blockSizes(), c.sizes);
        for (const emu::GlobalBlock& block : emu::globalBlocksAllocated()) EXPECT_EQ(block.lockCount, 1);
        EXPECT_EQ(discovery.aspiRequestBlock.data != nullptr, c.aspi);
        for (const rflash::SharedBuffer* buffer : {&discovery.workBuffer, &discovery.imageBuffer, &discovery.parameterBuffer}) {
            ASSERT_NE(buffer->data, nullptr);
            EXPECT_TRUE(allZero(*buffer));
        }
        EXPECT_EQ(discovery.workBuffer.data, emu::globalBlocksAllocated().front().address);

        rflash::finalRelease();
        expectEverythingFreed();
    }
}

TEST_F(HostEnvironment, IntelRegistryKeysAnnounceTheDriverAndOnlyUltraAtaChangesTheKind) {
    struct Case {
        bool accelerator, ultraAta;
        int announcements;
        std::int32_t hostDriverKind;
    };
    const Case cases[] = {
        {true, true, 2, 1},
        {true, false, 1, 0},
        {false, true, 1, 1},
        {false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "accelerator " << c.accelerator << ", ultra ATA " << c.ultraAta);
        rflash_test::resetEverything();
        if (c.accelerator) emu::addRegistryKey(kAcceleratorKey);
        // The registry does not care about case.
        if (c.ultraAta) emu::addRegistryKey("software\\intel\\intel ultra ata storage driver");

        EXPECT_EQ(rflash::checkHostEnvironment(), 0);
        std::string expected;
        for (int i = 0; i < c.announcements; ++i) expected += intelDriverText;
        EXPECT_EQ(emu::consoleOutput(), expected);
        EXPECT_TRUE(emu::boxesShown().empty());
        EXPECT_EQ(discovery.hostDriverKind, c.hostDriverKind);
        EXPECT_EQ(emu::registryKeysTried(), (std::vector<std::string>{kAcceleratorKey, kUltraAtaKey}));
        EXPECT_EQ(emu::openRegistryKeyCount(), 0);
    }
}

TEST_F(HostEnvironment, AdapterIdentifiersMarkTheIntelDriverAndTheIeee1394Adapter) {
    struct Case {
        const char* name;
        std::vector<std::string> identifiers;
        std::vector<std::string> messages;  // printed texts, in order
        std::int32_t hostDriverKind;
        std::int32_t ieee1394Adapter;
    };
    const std::string blanks(8, ' ');
    const std::string zeros(16, '\0');
    const Case cases[] = {
        {"plain IDE adapter", {"ESDI_506"}, {}, 0, -1},
        {"two intelata adapters", {"intelata", "intelata"}, {intelDriverText}, 1, -1},
        {"two IEEE 1394 adapters", {"NTMAPHLP", "ntmaphlp"}, {ieee1394Text, ieee1394Text}, 0, 1},
        {"intelata is never IEEE 1394", {"intelata"}, {intelDriverText}, 1, -1},
        {"only the first 8 bytes count", {"NTMAPHLP 1394 #2", "intelataPrimary"}, {ieee1394Text, intelDriverText}, 1, 0},
        {"blank identifier", {"ESDI_506", blanks}, {ieee1394Text}, 0, 1},
        {"empty identifier", {zeros}, {ieee1394Text}, 0, 0},
        {"comparisons are case-sensitive", {"INTELATA", "NtMapHlp"}, {}, 0, -1},
        {"mixed", {"NTMAPHLP", "intelata", "ESDI_506"}, {ieee1394Text, intelDriverText}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rflash_test::resetEverything();
        useWindows98();
        emu::installAspiLibrary();
        for (const std::string& identifier : c.identifiers) emu::addAspiAdapter(identifier);

        EXPECT_EQ(rflash::setUpAspi(), 0);
        std::string expected;
        for (const std::string& text : c.messages) expected += text;
        EXPECT_EQ(emu::consoleOutput(), expected);
        EXPECT_EQ(discovery.hostDriverKind, c.hostDriverKind);
        EXPECT_EQ(discovery.ieee1394Adapter, c.ieee1394Adapter);

        ASSERT_EQ(discovery.aspiAdapterCount, c.identifiers.size());
        std::vector<int> inquired(c.identifiers.size());
        std::iota(inquired.begin(), inquired.end(), 0);
        EXPECT_EQ(emu::aspiAdapterInquiries(), inquired);
        for (std::size_t i = 0; i < c.identifiers.size(); ++i) {
            std::string identifier = c.identifiers[i].substr(0, 16);
            identifier.resize(32, '\0');
            const auto& slot = discovery.aspiAdapterNames[i];
            EXPECT_EQ(std::string(slot.begin(), slot.end()), identifier) << "slot " << i;
        }
    }
}

TEST_F(HostEnvironment, AdaptersBeyondTheSixteenthAreNeitherRecordedNorInquired) {
    useWindows98();
    emu::installAspiLibrary();
    for (int i = 0; i < 20; ++i) {
        // Markers past the table would show if those adapters were looked at.
        std::string identifier = i == 17 ? "intelata" : i == 18 ? "NTMAPHLP" : "ADAPTER " + std::to_string(i);
        emu::addAspiAdapter(identifier);
    }

    EXPECT_EQ(rflash::checkHostEnvironment(), 0);
    EXPECT_EQ(discovery.aspiAdapterCount, 16);
    std::vector<int> inquired(16);
    std::iota(inquired.begin(), inquired.end(), 0);
    EXPECT_EQ(emu::aspiAdapterInquiries(), inquired);
    EXPECT_EQ(std::string(discovery.aspiAdapterNames[15].data()), "ADAPTER 15");
    EXPECT_EQ(discovery.hostDriverKind, 0);
    EXPECT_EQ(discovery.ieee1394Adapter, -1);
    EXPECT_EQ(emu::consoleOutput(), "");

    rflash::finalRelease();
    expectEverythingFreed();
}

TEST_F(HostEnvironment, AnUnusableLibraryStopsTheSetUpButNotTheRun) {
    struct Case {
        const char* name;
        void (*configure)();
        std::int32_t setUpResult;
        int inquiries;
    };
    const Case cases[] = {
        {"library missing", [] {}, 1, 0},
        {"ordinal 1 missing",
         [] {
             emu::installAspiLibrary();
             emu::setAspiOrdinalPresent(platform::ASPI_ORDINAL_GET_SUPPORT_INFO, false);
             emu::addAspiAdapter("ESDI_506");
         },
         1, 0},
        {"ordinal 2 missing",
         [] {
             emu::installAspiLibrary();
             emu::setAspiOrdinalPresent(platform::ASPI_ORDINAL_SEND_COMMAND, false);
             emu::addAspiAdapter("ESDI_506");
         },
         1, 0},
        {"initialisation failed",
         [] {
             emu::installAspiLibrary();
             emu::failAspiInitialisation();
             emu::addAspiAdapter("ESDI_506");
         },
         2, 0},
        {"no host adapter", [] { emu::installAspiLibrary(); }, 3, 0},
        {"one host adapter",
         [] {
             emu::installAspiLibrary();
             emu::addAspiAdapter("ESDI_506");
         },
         0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rflash_test::resetEverything();
        useWindows98();
        c.configure();
        discovery.useAspi = 1;

        EXPECT_EQ(rflash::setUpAspi(), c.setUpResult);
        EXPECT_EQ(discovery.aspiAdapterCount, c.inquiries);
        EXPECT_EQ(static_cast<int>(emu::aspiAdapterInquiries().size()), c.inquiries);
        EXPECT_EQ(emu::globalBlocksAllocated().size(), 4u);
        EXPECT_EQ(emu::consoleOutput(), "");

        rflash::finalRelease();
        expectEverythingFreed();
    }
}

TEST_F(HostEnvironment, TheRunGoesOnWhenTheLibraryCannotBeUsed) {
    useWindows98();
    EXPECT_EQ(rflash::checkHostEnvironment(), 0);
    EXPECT_EQ(discovery.useAspi, 1);
    EXPECT_EQ(discovery.aspiAdapterCount, 0);
    EXPECT_EQ(emu::consoleOutput(), "");
}

TEST_F(HostEnvironment, AFailedAllocationEndsTheRunAfterReleasingWhatWasAllocated) {
    struct Case {
        bool aspi;
        int failingAllocation;
    };
    const Case cases[] = {
        {false, 1}, {false, 2}, {false, 3}, {true, 1}, {true, 2}, {true, 3}, {true, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.aspi ? "ASPI" : "pass-through") << ", allocation " << c.failingAllocation);
        rflash_test::resetEverything();
        const std::string banner = "\n/// Quarnel Ver2.59B\n";
        const std::string memoryError = printedBy(13);
        emu::addRegistryKey(kUltraAtaKey);
        if (c.aspi) {
            useWindows98();
            emu::installAspiLibrary();
            emu::addAspiAdapter("intelata");
        }
        emu::failGlobalAllocAt(c.failingAllocation);

        EXPECT_EQ(rflash::runMainSequence(), rflash::kExitFailed);

        // Nothing after the failed allocation: no further buffer, no library, no drive walk.
        EXPECT_EQ(emu::globalAllocCalls(), c.failingAllocation);
        EXPECT_EQ(emu::aspiLibraryLoads(), 0);
        std::string announcement = c.aspi ? "" : intelDriverText;
        EXPECT_EQ(emu::consoleOutput(), banner + announcement + memoryError);
        EXPECT_TRUE(emu::boxesShown().empty());
        expectEverythingFreed();
    }
}

TEST_F(HostEnvironment, ReleaseIsSafeWhenNothingWasAllocatedAndWhenRepeated) {
    for (std::int32_t useAspi : {0, 1}) {
        SCOPED_TRACE(useAspi);
        rflash_test::resetEverything();
        discovery.useAspi = useAspi;
        rflash::finalRelease();
        expectEverythingFreed();
    }

    rflash_test::resetEverything();
    ASSERT_EQ(rflash::checkHostEnvironment(), 0);
    rflash::finalRelease();
    rflash::finalRelease();
    expectEverythingFreed();
}

}  // namespace

namespace {

// A library request abandoned after its time-out may still complete; until it has, its record and
// its buffer must not be freed under it.
TEST_F(HostEnvironment, ReleaseKeepsTheBuffersWhileTheLibraryStillHoldsARequest) {
    useWindows98();
    emu::installAspiLibrary();
    emu::addAspiAdapter("ESDI_506");
    emu::DeviceId drive = emu::attachAspiDrive(0, 0);
    emu::injectFault(drive, {.when = {.opcode = scsi::INQUIRY},
                             .effect = emu::FaultEffect::Slow,
                             .durationMs = 20000});
    ASSERT_EQ(rflash::checkHostEnvironment(), 0);
    discovery.targetList[0] = {0, 0, 0};
    discovery.targetCount = 1;

    ASSERT_NE(rflash::inquiry(0, discovery.workBuffer.data), 0);  // abandoned after 5000 ms
    rflash::finalRelease();
    EXPECT_EQ(emu::globalBlocksAllocated().size(), 4u);

    emu::advanceClock(20000);  // the late completion lands in memory that is still the program's
    rflash::finalRelease();
    expectEverythingFreed();
}

}  // namespace
