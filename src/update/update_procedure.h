// The firmware update of one drive, from re-identification to the verdict.
#pragma once

#include <cstdint>

namespace rflash {

// Results of updateDrive.
constexpr std::int32_t kDriveUpdated = 0;
constexpr std::int32_t kDriveLeftAsItWas = 1;
constexpr std::int32_t kDriveDeclined = 7;
constexpr std::int32_t kUpdateFatal = -1;

std::int32_t updateDrive();
std::int32_t selectDefinitionEntry();
std::int32_t prepareDrive();

}  // namespace rflash
