// The device commands the system sends, built into requests for executeCommand.
#pragma once

#include <cstdint>

namespace rflash {

std::int32_t testUnitReady(std::int32_t targetIndex);
std::int32_t inquiry(std::int32_t targetIndex, std::uint8_t* buffer);  // 96 bytes
std::int32_t startStopUnit(std::int32_t targetIndex, std::uint8_t immed, std::uint8_t powerCondition,
                           std::uint8_t loEj, std::uint8_t start);
std::int32_t readBuffer(std::int32_t targetIndex, std::uint8_t mode, std::uint8_t bufferId,
                        std::int32_t offset, std::int32_t length, std::uint8_t* buffer);
std::int32_t writeBuffer(std::int32_t targetIndex, std::uint8_t mode, std::uint8_t bufferId,
                         std::int32_t offset, std::int32_t length, std::uint8_t* buffer);

// Fixed wrappers addressed to currentTarget.
std::int32_t stopUnit();
std::int32_t writeBufferF0(std::int32_t offset, std::int32_t length, std::uint8_t* buffer);

constexpr std::uint32_t kInquiryLength = 96;
constexpr std::uint8_t kImageBufferId = 0xF0;
constexpr std::uint8_t kDriveInfoBufferId = 0xF1;
constexpr std::uint8_t kModeChangeBufferId = 0xFF;

}  // namespace rflash
