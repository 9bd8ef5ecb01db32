#include "driver/definitions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "driver/state.h"
#include "transport/state.h"

namespace rflash {
namespace {

constexpr std::uint16_t kNewRevision = 0x0107;
constexpr std::string_view kVendorCode = "STOCK   ";
constexpr std::string_view kVendorId = "ZANTOVA ";
constexpr std::string_view kProductId = "DVD-RW  QRW-E28 ";
constexpr std::uint32_t kImageSize = 0x200000;
constexpr std::uint32_t kMinimumImageDate = 0x20090304;

// Bits 8 to 15 of the family code; this family's drives are matched by their firmware edition.
constexpr std::uint32_t kFamilyByteMask = 0xFF00;
constexpr std::uint32_t kVendorCodeFamily = 0x1000;

// Vendor and product identification (Inquiry bytes 8 to 31) of the drives that every entry
// identifies, whatever its own identification says.
constexpr std::size_t kIdentificationOffset = 8;
constexpr std::string_view kAlwaysIdentified[] = {
    "ZANTOVA DVD-RW  QRW-E28 ",
    "ZANTOVA DVD-RW  QRW-C28 ",
};

// Hardware revision prefix of drives whose regular firmware edition decides the match.
constexpr std::string_view kMatchingHardware = "SAT ";
constexpr std::string_view kNoEdition = "        ";

template <std::size_t N>
void copyField(char (&field)[N], std::string_view text) {
    static_assert(N >= 8);
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

// Byte-for-byte over the whole of `expected`, blanks and NULs included.
bool sameBytes(const void* actual, std::string_view expected) {
    return std::memcmp(actual, expected.data(), expected.size()) == 0;
}

bool isIdentified(const UpdateDefinition& entry, const std::uint8_t* inquiry) {
    const std::uint8_t* identification = inquiry + kIdentificationOffset;
    if (sameBytes(identification, std::string_view(entry.vendorId, sizeof entry.vendorId)) &&
        sameBytes(identification + sizeof entry.vendorId, std::string_view(entry.productId, sizeof entry.productId))) {
        return true;
    }
    return std::any_of(std::begin(kAlwaysIdentified), std::end(kAlwaysIdentified),
                       [&](std::string_view known) { return sameBytes(identification, known); });
}

bool editionMatches(const UpdateDefinition& entry, const DriveInfoBlock& info) {
    const std::string_view vendorCode(entry.vendorCode, kVendorCode.size());
    if (sameBytes(info.infoNormalVendorCode, vendorCode) && sameBytes(info.infoHardwareRevision, kMatchingHardware)) {
        return true;
    }
    // A drive without regular firmware is known by its loader's edition.
    return sameBytes(info.infoNormalVendorCode, kNoEdition) && sameBytes(info.infoKernelVendorCode, vendorCode);
}

}  // namespace

std::int32_t setUpDefinitions() {
    program.updateDefinitions = {};
    std::memset(program.workingEntry.imageFileName, 0, sizeof program.workingEntry.imageFileName);
    program.workingEntry.imageSize = 0;
    program.workingEntry.familyCode = 0;

    program.newRevision = kNewRevision;
    UpdateDefinition& entry = program.updateDefinitions[0];
    std::snprintf(entry.imageFileName, sizeof entry.imageFileName, "W7283051.%03x", unsigned{program.newRevision});
    copyField(entry.vendorCode, kVendorCode);
    copyField(entry.vendorId, kVendorId);
    copyField(entry.productId, kProductId);
    entry.imageSize = kImageSize;
    entry.familyCode = kFamilyCode;
    entry.minimumImageDate = kMinimumImageDate;
    entry.modeAccessKey = kModeAccessKey;
    program.definitionCount = 1;
    return 1;
}

std::int32_t matchDefinition(const std::uint8_t* inquiry) {
    const DriveInfoBlock& info = transport.driveInfo;
    const std::int32_t count = std::clamp(program.definitionCount, 0, kDefinitionSlots);
    for (std::int32_t index = 0; index < count; ++index) {
        const UpdateDefinition& entry = program.updateDefinitions[static_cast<std::size_t>(index)];
        // The edition is the only rule known that tells a drive's firmware apart; an entry of
        // another family, or an empty one, matches no drive rather than every drive of the model.
        if ((entry.familyCode & kFamilyByteMask) != kVendorCodeFamily) continue;
        if (isIdentified(entry, inquiry) && editionMatches(entry, info)) return index;
    }
    return -1;
}

}  // namespace rflash
