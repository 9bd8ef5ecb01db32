// The device commands, each built into a fresh request for executeCommand.
#include "transport/commands.h"

#include "discovery/state.h"
#include "driver/state.h"
#include "platform/scsi.h"
#include "transport/state.h"
#include "transport/transport.h"

namespace rflash {
namespace {

constexpr std::int32_t kInquiryTimeoutMs = 5000;
constexpr std::int32_t kInquiryTimeoutIeee1394Ms = 1000;
constexpr std::int32_t kImagePieceTimeoutMs = 60000;
constexpr std::uint8_t kImagePieceMode = scsi::BUFFER_MODE_DOWNLOAD_OFFSETS_SAVE_ACTIVATE;

CommandRequest newRequest(std::int32_t targetIndex, std::int32_t cdbLength) {
    CommandRequest request{};
    request.targetIndex = targetIndex;
    request.cdbLength = cdbLength;
    request.timeoutMs = transport.commandTimeoutMs;
    return request;
}

std::uint8_t byteOf(std::int32_t value, int shift) {
    return static_cast<std::uint8_t>((static_cast<std::uint32_t>(value) >> shift) & 0xFF);
}

// READ BUFFER and WRITE BUFFER share one layout: mode, buffer id, 24 bits of offset, then 24
// bits of length of which the top byte is always 0.
CommandRequest bufferRequest(std::uint8_t opcode, std::int32_t targetIndex, std::uint8_t mode, std::uint8_t bufferId,
                             std::int32_t offset, std::int32_t length, std::uint8_t* buffer) {
    CommandRequest request = newRequest(targetIndex, 10);
    request.cdb = {opcode, mode, bufferId, byteOf(offset, 16), byteOf(offset, 8), byteOf(offset, 0),
                   0x00, byteOf(length, 8), byteOf(length, 0), 0x00};
    request.transferLength = length;
    request.buffer = buffer;
    return request;
}

}  // namespace

std::int32_t testUnitReady(std::int32_t targetIndex) {
    CommandRequest request = newRequest(targetIndex, 6);
    request.cdb[0] = scsi::TEST_UNIT_READY;
    return executeCommand(request);
}

std::int32_t inquiry(std::int32_t targetIndex, std::uint8_t* buffer) {
    CommandRequest request = newRequest(targetIndex, 6);
    request.cdb = {scsi::INQUIRY, 0x00, 0x00, 0x00, static_cast<std::uint8_t>(kInquiryLength), 0x00};
    request.direction = DirectionIn;
    request.transferLength = kInquiryLength;
    request.buffer = buffer;
    request.timeoutMs = discovery.ieee1394Adapter != -1 ? kInquiryTimeoutIeee1394Ms : kInquiryTimeoutMs;
    return executeCommand(request);
}

std::int32_t startStopUnit(std::int32_t targetIndex, std::uint8_t immed, std::uint8_t powerCondition,
                           std::uint8_t loEj, std::uint8_t start) {
    CommandRequest request = newRequest(targetIndex, 6);
    // The plain sum, not masked: the callers pass bits.
    auto control = static_cast<std::uint8_t>(powerCondition * 16 + loEj * 2 + start);
    request.cdb = {scsi::START_STOP_UNIT, immed, 0x00, 0x00, control, 0x00};
    return executeCommand(request);
}

std::int32_t readBuffer(std::int32_t targetIndex, std::uint8_t mode, std::uint8_t bufferId, std::int32_t offset,
                        std::int32_t length, std::uint8_t* buffer) {
    CommandRequest request = bufferRequest(scsi::READ_BUFFER, targetIndex, mode, bufferId, offset, length, buffer);
    request.direction = DirectionIn;
    return executeCommand(request);
}

std::int32_t writeBuffer(std::int32_t targetIndex, std::uint8_t mode, std::uint8_t bufferId, std::int32_t offset,
                         std::int32_t length, std::uint8_t* buffer) {
    CommandRequest request = bufferRequest(scsi::WRITE_BUFFER, targetIndex, mode, bufferId, offset, length, buffer);
    request.direction = length != 0 ? DirectionOut : DirectionNone;
    return executeCommand(request);
}

std::int32_t stopUnit() {
    transport.commandTimeoutMs = 0;
    return startStopUnit(program.currentTarget, 0, 0, 0, 0);
}

std::int32_t writeBufferF0(std::int32_t offset, std::int32_t length, std::uint8_t* buffer) {
    transport.commandTimeoutMs = kImagePieceTimeoutMs;
    return writeBuffer(program.currentTarget, kImagePieceMode, kImageBufferId, offset, length & 0xFFFF, buffer);
}

}  // namespace rflash
