// The drive side of the checks: the revision lines, the comparison of image and drive in its
// order, and whether the drive is idle and empty.
#include <gtest/gtest.h>

#include <optional>

#include "platform/scsi.h"
#include "transport/state.h"
#include "update/drive_fixture.h"
#include "update/firmware_image.h"
#include "update/state.h"
#include "update/update_procedure.h"

namespace {

using rflash_test::DriveSteps;
using rflash_test::matchingDrive;

TEST_F(DriveSteps, RevisionLinesShowTheDriveInEitherDateForm) {
    struct Case {
        const char* product;
        const char* revision;
        const char* dateText;
        std::int32_t afterUpdate;
        const char* line;
        std::uint32_t driveDate;
        std::uint16_t driveRevision;
    };
    for (const Case& c : {
             Case{"DVD-RW  QRW-E28 ", "1.05", "09/03/04", 0,
                  "\nCurrent Revision>> ZANTOVA DVD-RW  QRW-E28  1.05  09/03/04", 0x20090304, 0x0105},
             Case{"DVD-RW  QRW-E28 ", "1.05", "2009/03/04", 0,
                  "\nCurrent Revision>> ZANTOVA DVD-RW  QRW-E28  1.05  2009/03/04", 0x20090304, 0x0105},
             // A drive in kernel mode has no firmware date to compare.
             Case{"DVD-RW  QRW-E28 ", "0001", "09/03/04", 0,
                  "\nCurrent Revision>> ZANTOVA DVD-RW  QRW-E28  0001  09/03/04", 0, 0x0001},
             Case{"DVD-RW  QRW-E28 ", "1.07", "09/04/01", 1,
                  "\nNew Revision    >> ZANTOVA DVD-RW  QRW-E28  1.07  09/04/01", 0, 0},
             Case{"DVDRW   QRW-E28 ", "1.07", "2009/04/01", 1,
                  "\nNew Revision    >> ZANTOVA DVDRW   QRW-E28  1.07  2009/04/01", 0, 0},
         }) {
        SCOPED_TRACE(c.line);
        emu::reset();
        emu::DeviceConfig config = matchingDrive();
        config.product = c.product;
        config.revision = c.revision;
        config.dateText = c.dateText;
        attach(config);
        rflash::update.driveDate = 0x12345678;
        rflash::update.driveRevision = 0;
        EXPECT_EQ(rflash::readDriveRevision(c.afterUpdate), 0);
        EXPECT_EQ(emu::consoleOutput(), c.line);
        EXPECT_EQ(rflash::update.driveDate, c.driveDate);
        EXPECT_EQ(rflash::update.driveRevision, c.driveRevision);
    }
}

TEST_F(DriveSteps, AFailedRevisionInquiryIsReported) {
    attach();
    emu::injectFault(device, {.when = {.opcode = scsi::INQUIRY}, .sense = {scsi::HARDWARE_ERROR, 0, 0}});
    EXPECT_NE(rflash::readDriveRevision(0), 0);
    EXPECT_EQ(emu::consoleOutput(), "\nFailed to execute Inquiry Command.");
    EXPECT_EQ(commandsWith(scsi::INQUIRY).size(), 1u);  // retried only on the library path
}

constexpr char kHardware[] = "\nHardware Revision is not matched.";
constexpr char kKernel[] = "\r\nModel name of kernel part is not macthed.";
constexpr char kNormal[] = "\nModel name of normal part is not matched.";
constexpr char kLatest[] = "\r\nFW is already latest.";
constexpr char kPreProduction[] =
    "\r\nThis drive has written an older revision F/W than the mass production.\r\n"
    "This program does not support to update not mass production drive.";

struct CheckCase {
    const char* what;
    emu::DeviceConfig drive;
    emu::ImageRecipe image;
    std::int32_t result;
    const char* message;
    std::int32_t vendorCodeClass;  // 7: left as it was
};

emu::DeviceConfig driveWith(void (*change)(emu::DeviceConfig&)) {
    emu::DeviceConfig config = matchingDrive();
    change(config);
    return config;
}

emu::ImageRecipe imageWith(void (*change)(emu::ImageRecipe&)) {
    emu::ImageRecipe recipe;
    change(recipe);
    return recipe;
}

TEST_F(DriveSteps, TheImageIsCheckedAgainstTheDriveInOrderAndTheFirstFailureSpeaks) {
    auto same = [](emu::DeviceConfig&) {};
    auto sameImage = [](emu::ImageRecipe&) {};
    const CheckCase cases[] = {
        {"newer image", driveWith(same), imageWith(sameImage), 0, "", 0x100},
        {"drive information unreadable", driveWith([](emu::DeviceConfig& d) { d.answersDriveInfo = false; }),
         imageWith(sameImage), -2, "\nFailed to get a drive information.", 7},
        {"hardware", driveWith([](emu::DeviceConfig& d) { d.hardwareRevision = "SAT2    "; }), imageWith(sameImage),
         -1, kHardware, 7},
        {"hardware before kernel", driveWith([](emu::DeviceConfig& d) {
             d.hardwareRevision = "SAT2    ";
             d.kernelVendorCode = "OTHER   ";
         }),
         imageWith(sameImage), -1, kHardware, 7},
        {"kernel edition", driveWith([](emu::DeviceConfig& d) { d.kernelVendorCode = "OTHER   "; }),
         imageWith(sameImage), -1, kKernel, 7},
        {"kitset loader", driveWith([](emu::DeviceConfig& d) { d.kernelVendorCode = "KITSET  "; }),
         imageWith(sameImage), 0, "", -1},
        {"normal edition", driveWith([](emu::DeviceConfig& d) { d.normalVendorCode = "OTHER   "; }),
         imageWith(sameImage), -1, kNormal, 7},
        {"normal edition of the image", driveWith([](emu::DeviceConfig& d) { d.normalVendorCode = "OTHER   "; }),
         imageWith([](emu::ImageRecipe& i) { i.normalVendorCode = "OTHER   "; }), 0, "", 0x100},
        {"same revision and date", driveWith(same), imageWith([](emu::ImageRecipe& i) {
             i.revision = "1.05";
             i.date = 0x20090304;
         }),
         1, kLatest, 7},
        {"older by date, higher revision", driveWith([](emu::DeviceConfig& d) { d.dateText = "09/06/01"; }),
         imageWith(sameImage), 0, "", 0x100},
        {"newer by date, lower revision", driveWith([](emu::DeviceConfig& d) { d.revision = "1.09"; }),
         imageWith(sameImage), 0, "", 0x100},
        {"older and lower", driveWith([](emu::DeviceConfig& d) {
             d.revision = "1.09";
             d.dateText = "2009/06/01";
         }),
         imageWith(sameImage), 1, kLatest, 7},
        {"pre-production", driveWith([](emu::DeviceConfig& d) { d.revision = "0.99"; }), imageWith(sameImage), -1,
         kPreProduction, 7},
        {"revision 0000 is no pre-production", driveWith([](emu::DeviceConfig& d) { d.revision = "0000"; }),
         imageWith(sameImage), 0, "", 0x100},
        {"no normal part: nothing more is compared", driveWith([](emu::DeviceConfig& d) {
             d.normalVendorCode = "        ";
             d.dateText = "2010/01/01";
         }),
         imageWith(sameImage), 0, "", 7},
        {"SCSI hardware", driveWith([](emu::DeviceConfig& d) { d.hardwareRevision = "SCSI-2  "; }),
         imageWith([](emu::ImageRecipe& i) { i.hardwareRevision = "SCSI-2  "; }), 0, "", 0x300},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.what);
        emu::reset();
        attach(c.drive);
        putImage(c.image);
        rflash::update.vendorCodeClass = 7;
        ASSERT_EQ(rflash::loadFirmwareImage(), 0);
        ASSERT_EQ(rflash::readDriveRevision(0), 0);
        std::size_t before = emu::consoleOutput().size();
        std::int32_t result = rflash::checkImageAgainstDrive();
        if (c.result == -2) {
            EXPECT_NE(result, 0);
            EXPECT_NE(result, 1);
        } else {
            EXPECT_EQ(result, c.result);
        }
        EXPECT_EQ(emu::consoleOutput().substr(before), c.message);
        EXPECT_EQ(rflash::update.vendorCodeClass, c.vendorCodeClass);
        // A refusal leaves the drive untouched.
        EXPECT_TRUE(commandsWith(scsi::WRITE_BUFFER).empty());
        EXPECT_TRUE(commandsWith(scsi::START_STOP_UNIT).empty());
    }
}

TEST_F(DriveSteps, AlreadyLatestIsBoxedOnlyWhenEachDriveIsAskedAlone) {
    emu::ImageRecipe latest;
    latest.revision = "1.05";
    latest.date = 0x20090304;
    for (std::int32_t updateAll : {0, 1}) {
        SCOPED_TRACE(updateAll);
        emu::reset();
        attach();
        putImage(latest);
        rflash::program.updateAllDrives = updateAll;
        ASSERT_EQ(rflash::loadFirmwareImage(), 0);
        ASSERT_EQ(rflash::readDriveRevision(0), 0);
        EXPECT_EQ(rflash::checkImageAgainstDrive(), 1);
        EXPECT_EQ(emu::boxesShown().size(), updateAll == 0 ? 1u : 0u);
    }
}

TEST_F(DriveSteps, PrepareDriveGoesOnOnlyWithAnEmptyOrStoppedDrive) {
    struct Case {
        const char* what;
        emu::MediumState medium;
        int unitAttentions;
        std::optional<emu::Sense> testUnitReadySense;
        std::int32_t hostDriverKind;
        std::int32_t result;
        const char* message;
        std::size_t testUnitReadys;
        bool stopRefused = false;
    };
    const Case cases[] = {
        {"no disc", emu::MediumState::NoDisc, 0, std::nullopt, 0, 0, "", 1},
        {"disc stopped", emu::MediumState::DiscStopped, 0, std::nullopt, 0, 0, "", 1},
        {"disc turning, stopped by the program", emu::MediumState::DiscTurning, 0, std::nullopt, 0, 0, "", 1},
        {"disc turning, not stopped", emu::MediumState::DiscTurning, 0, std::nullopt, 0, -1,
         "\nDisc is inserted into the drive.\nPlease eject a disc.", 1, true},
        {"becoming ready", emu::MediumState::BecomingReady, 0, std::nullopt, 0, -1,
         "\nError : Drive is now becoming ready.\nPlease eject the disc", 1},
        // START STOP UNIT takes the first unit attention, TEST UNIT READY the second.
        {"unit attention then no disc", emu::MediumState::NoDisc, 2, std::nullopt, 0, 0, "", 2},
        {"unit attention for ever", emu::MediumState::NoDisc, 100000, std::nullopt, 0, -1,
         "\nError : Unknown Error is occurred.", 65},
        {"another not-ready state", emu::MediumState::NoDisc, 0, emu::Sense{scsi::NOT_READY, 0x04, 0x07}, 0, -1,
         "\nError : Unknown Error is occurred.", 1},
        {"sense key with a flag bit", emu::MediumState::NoDisc, 0, emu::Sense{0x22, 0x3A, 0}, 0, -1,
         "\nError : Unknown Error is occurred.", 1},
        {"no sense at all, Intel driver", emu::MediumState::NoDisc, 0, emu::Sense{0, 0, 0}, 1, 0, "", 1},
        {"no sense at all", emu::MediumState::NoDisc, 0, emu::Sense{0, 0, 0}, 0, -1,
         "\nError : Unknown Error is occurred.", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emu::reset();
        rflash::transport = {};
        emu::DeviceConfig config = matchingDrive();
        config.medium = c.medium;
        config.pendingUnitAttentions = c.unitAttentions;
        attach(config);
        if (c.stopRefused) {
            emu::injectFault(device, {.when = {.opcode = scsi::START_STOP_UNIT},
                                      .sense = {scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_CDB, 0}});
        }
        if (c.testUnitReadySense) {
            emu::injectFault(device, {.when = {.opcode = scsi::TEST_UNIT_READY}, .sense = *c.testUnitReadySense});
        }
        rflash::discovery.hostDriverKind = c.hostDriverKind;
        EXPECT_EQ(rflash::prepareDrive(), c.result);
        EXPECT_EQ(emu::consoleOutput(), c.message);
        auto stops = commandsWith(scsi::START_STOP_UNIT);
        ASSERT_EQ(stops.size(), 1u);
        EXPECT_EQ(stops[0].cdb[4], 0);  // stop, not eject
        EXPECT_EQ(commandsWith(scsi::TEST_UNIT_READY).size(), c.testUnitReadys);
    }
}

// An earlier command left "no medium" sense behind. When TEST UNIT READY brings no sense of its
// own, that old sense must not pass for its answer: the drive here is in fact spinning a disc up.
TEST_F(DriveSteps, ADriveThatGivesNoSenseIsNotJudgedOnOlderSense) {
    struct Case {
        const char* what;
        std::optional<emu::FaultEffect> testUnitReady;  // nullopt: the drive cannot be opened
        std::int32_t hostDriverKind;
        std::int32_t result;
        const char* message;
    };
    const char* unknownError = "\nError : Unknown Error is occurred.";
    const Case cases[] = {
        {"the drive cannot be opened", std::nullopt, 0, -1, unknownError},
        {"the operating system fails the call", emu::FaultEffect::HostFailure, 0, -1, unknownError},
        {"the drive fails without sense", emu::FaultEffect::CheckConditionWithoutSense, 0, -1, unknownError},
        // Behind the Intel driver a failure without any sense counts as an idle drive.
        {"the drive fails without sense, Intel driver", emu::FaultEffect::CheckConditionWithoutSense, 1, 0, ""},
        {"the operating system fails the call, Intel driver", emu::FaultEffect::HostFailure, 1, -1, unknownError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emu::reset();
        rflash::transport = {};
        rflash::transport.senseData[2] = scsi::NOT_READY;
        rflash::transport.senseData[12] = scsi::ASC_MEDIUM_NOT_PRESENT;
        rflash::transport.senseCode = scsi::NOT_READY * 65536 + scsi::ASC_MEDIUM_NOT_PRESENT * 256;
        if (c.testUnitReady) {
            emu::DeviceConfig config = matchingDrive();
            config.medium = emu::MediumState::BecomingReady;
            attach(config);
            emu::injectFault(device, {.when = {.opcode = scsi::TEST_UNIT_READY}, .effect = *c.testUnitReady});
        } else {
            emu::refuseOpen('D');
        }
        rflash::discovery.hostDriverKind = c.hostDriverKind;
        EXPECT_EQ(rflash::prepareDrive(), c.result);
        EXPECT_EQ(emu::consoleOutput(), c.message);
    }
}

}  // namespace
