#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/definitions.h"
#include "driver/state.h"
#include "transport/state.h"

namespace {

std::string bytes(const char* field, std::size_t length) { return std::string(field, length); }

TEST(Definitions, SetUpFillsTheCompiledInEntryAndNothingElse) {
    std::memset(&rflash::program.updateDefinitions[3], 0x55, sizeof(rflash::UpdateDefinition));
    std::strcpy(rflash::program.workingEntry.imageFileName, "left over");
    rflash::program.workingEntry.imageSize = 7;
    rflash::program.workingEntry.familyCode = 7;

    EXPECT_EQ(rflash::setUpDefinitions(), 1);

    EXPECT_EQ(rflash::program.definitionCount, 1);
    EXPECT_EQ(rflash::program.newRevision, 0x0107);
    const rflash::UpdateDefinition& entry = rflash::program.updateDefinitions[0];
    EXPECT_EQ(bytes(entry.imageFileName, sizeof entry.imageFileName), "W7283051.107" + std::string(116, '\0'));
    EXPECT_EQ(bytes(entry.vendorCode, sizeof entry.vendorCode), "STOCK   " + std::string(8, '\0'));
    EXPECT_EQ(bytes(entry.vendorId, sizeof entry.vendorId), "ZANTOVA ");
    EXPECT_EQ(bytes(entry.productId, sizeof entry.productId), "DVD-RW  QRW-E28 ");
    EXPECT_EQ(entry.imageSize, 0x200000u);
    EXPECT_EQ(entry.familyCode, 0x100Fu);
    EXPECT_EQ(entry.minimumImageDate, 0x20090304u);
    EXPECT_EQ(entry.modeAccessKey, 0x3C71D0A4u);

    const rflash::UpdateDefinition zero{};
    for (std::size_t i = 1; i < rflash::program.updateDefinitions.size(); ++i) {
        EXPECT_EQ(std::memcmp(&rflash::program.updateDefinitions[i], &zero, sizeof zero), 0) << "entry " << i;
    }
    EXPECT_EQ(rflash::program.workingEntry.imageFileName[0], '\0');
    EXPECT_EQ(rflash::program.workingEntry.imageSize, 0);
    EXPECT_EQ(rflash::program.workingEntry.familyCode, 0u);
}

struct Drive {
    const char* name;
    std::string identification;  // Inquiry bytes 8 to 31
    std::string hardware;        // drive-information bytes 16 to 23
    std::string kernelCode;      // 24 to 31
    std::string normalCode;      // 32 to 39
    std::int32_t expected;
};

const std::string kNone(8, '\0');

void present(const Drive& drive, std::uint8_t (&inquiry)[96]) {
    std::memset(inquiry, 0, sizeof inquiry);
    std::memcpy(inquiry + 8, drive.identification.data(), 24);
    rflash::transport.driveInfo = {};
    std::memcpy(rflash::transport.driveInfo.infoHardwareRevision, drive.hardware.data(), 8);
    std::memcpy(rflash::transport.driveInfo.infoKernelVendorCode, drive.kernelCode.data(), 8);
    std::memcpy(rflash::transport.driveInfo.infoNormalVendorCode, drive.normalCode.data(), 8);
}

TEST(Definitions, MatchingByIdentificationAndEdition) {
    const std::string e28 = "ZANTOVA DVD-RW  QRW-E28 ";
    const std::string c28 = "ZANTOVA DVD-RW  QRW-C28 ";
    const std::vector<Drive> drives{
        {"E28 with the edition on SAT hardware", e28, "SAT 0001", "OTHER   ", "STOCK   ", 0},
        {"C28 is identified too", c28, "SAT 0001", "OTHER   ", "STOCK   ", 0},
        {"other hardware", e28, "SCSI0001", "OTHER   ", "STOCK   ", -1},
        {"other hardware, loader only, loader edition", e28, "SCSI0001", "STOCK   ", "        ", 0},
        {"loader only, whatever the hardware", c28, "\x01\x02\x03\x04xxxx", "STOCK   ", "        ", 0},
        {"loader only, other loader edition", e28, "SAT 0001", "OTHER   ", "        ", -1},
        {"other edition", e28, "SAT 0001", "STOCK   ", "RETAIL  ", -1},
        {"edition in lower case", e28, "SAT 0001", "OTHER   ", "stock   ", -1},
        {"edition without its blanks", e28, "SAT 0001", "OTHER   ", std::string("STOCK\0\0\0", 8), -1},
        {"hardware in lower case", e28, "sat 0001", "OTHER   ", "STOCK   ", -1},
        {"product in lower case", "ZANTOVA dvd-rw  qrw-e28 ", "SAT 0001", "OTHER   ", "STOCK   ", -1},
        {"product without its trailing blank", std::string("ZANTOVA DVD-RW  QRW-E28\0", 24), "SAT 0001",
         "OTHER   ", "STOCK   ", -1},
        {"other model", "ZANTOVA DVD-RW  QRW-E29 ", "SAT 0001", "OTHER   ", "STOCK   ", -1},
        {"other maker", "OTHERCO DVD-RW  QRW-E28 ", "SAT 0001", "OTHER   ", "STOCK   ", -1},
        {"drive information not read", e28, kNone, kNone, kNone, -1},
    };
    rflash::setUpDefinitions();
    for (const Drive& drive : drives) {
        SCOPED_TRACE(drive.name);
        std::uint8_t inquiry[96];
        present(drive, inquiry);
        EXPECT_EQ(rflash::matchDefinition(inquiry), drive.expected);
    }
}

TEST(Definitions, FirstMatchingEntryOfTheValidOnesWins) {
    std::uint8_t inquiry[96];
    present({"", "ZANTOVA DVD-RW  QRW-E28 ", "SAT 0001", "OTHER   ", "STOCK   ", 0}, inquiry);
    EXPECT_EQ(rflash::matchDefinition(inquiry), -1);  // nothing set up yet

    rflash::setUpDefinitions();
    auto& table = rflash::program.updateDefinitions;
    table[1] = table[0];
    EXPECT_EQ(rflash::matchDefinition(inquiry), 0);

    std::memcpy(table[0].vendorCode, "RETAIL  ", 8);
    EXPECT_EQ(rflash::matchDefinition(inquiry), -1);  // entry 1 lies beyond definitionCount
    rflash::program.definitionCount = 2;
    EXPECT_EQ(rflash::matchDefinition(inquiry), 1);
    table[1].familyCode = 0x200F;  // a family without an edition rule matches nothing
    EXPECT_EQ(rflash::matchDefinition(inquiry), -1);
    // The empty entries behind the valid ones match nothing either, and the table ends at 8.
    rflash::program.definitionCount = 1000;
    EXPECT_EQ(rflash::matchDefinition(inquiry), -1);
}

}  // namespace
