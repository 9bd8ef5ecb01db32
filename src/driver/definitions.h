// The compiled-in update definition and the matching of a drive against it.
#pragma once

#include <cstdint>

namespace rflash {

// The drive family that the compiled-in definition updates (family code 0x100F).
constexpr std::uint32_t kFamilyCode = 0x100F;
constexpr std::uint32_t kModeAccessKey = 0x3C71D0A4;
// The model text the family's mode changes carry: 16 characters, no terminator.
constexpr char kFamilyModelText[] = "ZANTOVA  QRW-C28";
// Added to the access key for drives whose loader carries the "STOCK   " edition.
constexpr std::uint32_t kStockFamilyOffset = 0x2D;

// Fills the definition table; returns 1.
std::int32_t setUpDefinitions();

// Index of the first entry that applies to the drive whose Inquiry data (bytes 8 to 31 used) is
// given, judged together with the drive-information block last read into driveInfo; -1 if none.
std::int32_t matchDefinition(const std::uint8_t* inquiry);

}  // namespace rflash
