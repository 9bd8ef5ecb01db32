// The commands that move the drive between normal mode and kernel mode.
#pragma once

#include <cstdint>
#include <optional>

namespace rflash {

// Parameter data of both mode changes, built in parameterBuffer.
struct ModeChangeBlock {
    char modelText[16];
    std::uint8_t accessCode[4];  // least significant byte first
    std::uint8_t reserved[236];
};
static_assert(sizeof(ModeChangeBlock) == 256);

// The block both mode changes send to the current target: the family's model text and the access
// code for the loader edition in driveInfo and the key of workingEntry. No value for a family or
// a loader edition that has no block: nothing may then be sent.
std::optional<ModeChangeBlock> modeChangeBlockFor(std::uint32_t familyCode);

std::int32_t enterKernelMode(std::uint32_t familyCode);
std::int32_t confirmKernelMode();
std::int32_t enterNormalMode(std::uint32_t familyCode);

}  // namespace rflash
