// Module-level state of the firmware update, overwritten for every target.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace rflash {

constexpr std::size_t kInquiryDataLength = 96;

struct UpdateState {
    // Standard Inquiry data of the current target.
    std::array<std::uint8_t, kInquiryDataLength> inquiryData{};

    std::int32_t driveInKernelMode = 0;
    std::int32_t normalPartBlank = 0;

    std::array<char, 5> newRevisionText{};  // 5 bytes of the image's revision text
    std::uint32_t imageDate = 0;            // packed date
    std::uint16_t driveRevision = 0;        // revision code
    std::uint32_t driveDate = 0;            // packed date
    std::int32_t vendorCodeClass = 0;       // 0x300, 0x100 or -1
};

extern UpdateState update;

}  // namespace rflash
