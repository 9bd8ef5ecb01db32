// The firmware image file, its header, and its checks against the drive.
#pragma once

#include <cstdint>

namespace rflash {

// Header fields at fixed offsets of the image file.
constexpr std::uint32_t kImageIdentificationOffset = 96;    // 24 bytes
constexpr std::uint32_t kImageRevisionTextOffset = 144;     // 5 bytes
constexpr std::uint32_t kImageHardwareRevisionOffset = 176; // 8 bytes
constexpr std::uint32_t kImageKernelVendorCodeOffset = 208; // 8 bytes
constexpr std::uint32_t kImageNormalVendorCodeOffset = 240; // 8 bytes
constexpr std::uint32_t kImagePartLetterOffset = 272;       // 1 byte
constexpr std::uint32_t kImageDateTextOffset = 304;         // 8 or 10 bytes
constexpr std::uint32_t kImageHeaderLength = 314;

std::int32_t readDriveInfoBlock();
std::int32_t loadFirmwareImage();
std::int32_t readDriveRevision(std::int32_t afterUpdate);
std::int32_t checkImageAgainstDrive();

}  // namespace rflash
