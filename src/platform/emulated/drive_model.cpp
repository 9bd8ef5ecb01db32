#include "platform/emulated/drive_model.h"

#include <algorithm>
#include <cstring>

namespace emu {
namespace {

constexpr std::uint8_t kRemovableMedium = 0x80;
constexpr std::uint8_t kResponseDataFormat = 0x02;
constexpr std::uint8_t kInquiryAdditionalLength = DriveModel::kInquiryLength - 5;
constexpr std::uint8_t kEvpd = 0x01;
constexpr std::uint8_t kBufferModeMask = 0x1F;
constexpr std::uint8_t kStartBit = 0x01;
constexpr std::uint8_t kLoadEjectBit = 0x02;
constexpr std::uint8_t kPowerConditionMask = 0xF0;

// Inquiry data layout.
constexpr std::size_t kVendorOffset = 8;
constexpr std::size_t kProductOffset = 16;
constexpr std::size_t kRevisionOffset = 32;
constexpr std::size_t kByte36Offset = 36;
constexpr std::size_t kDateTextOffset = 37;

// Drive-information block layout.
constexpr std::size_t kHardwareRevisionOffset = 16;
constexpr std::size_t kKernelVendorCodeOffset = 24;
constexpr std::size_t kNormalVendorCodeOffset = 32;

// Mode-change block layout.
constexpr std::size_t kModelTextLength = 16;
constexpr std::size_t kAccessCodeOffset = 16;

constexpr char kStockVendorCode[] = "STOCK   ";
constexpr char kKitsetVendorCode[] = "KITSET  ";

template <std::size_t N>
std::array<char, N> fixedText(const std::string& value) {
    std::array<char, N> field;
    field.fill(' ');
    std::copy_n(value.begin(), std::min(value.size(), N), field.begin());
    return field;
}

template <std::size_t N>
void put(std::vector<std::uint8_t>& bytes, std::size_t offset, const std::array<char, N>& field) {
    std::memcpy(bytes.data() + offset, field.data(), N);
}

// CDB bytes past what the host sent read as 0.
std::uint8_t cdbByte(std::span<const std::uint8_t> cdb, std::size_t index) {
    return index < cdb.size() ? cdb[index] : 0;
}

std::uint32_t cdbField(std::span<const std::uint8_t> cdb, std::size_t first, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = (value << 8) | cdbByte(cdb, first + i);
    return value;
}

// 6-byte commands are opcodes 0x00..0x1F, 10-byte ones 0x20..0x5F.
std::size_t cdbLengthOfGroup(std::uint8_t opcode) {
    return opcode < 0x20 ? 6 : 10;
}

void deliver(std::vector<std::uint8_t>& dataIn, const std::vector<std::uint8_t>& data,
             std::uint32_t allocation, std::uint32_t room) {
    std::size_t count = std::min<std::size_t>({data.size(), allocation, room});
    dataIn.insert(dataIn.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(count));
}

}  // namespace

DriveModel::DriveModel(const DeviceConfig& config)
    : config_(config),
      kernelMode_(false),
      medium_(config.medium),
      unitAttentions_(config.pendingUnitAttentions),
      normalRevision_(fixedText<4>(config.revision)),
      dateText_(fixedText<10>(config.dateText)),
      normalVendorCode_(fixedText<8>(config.normalVendorCode)),
      image_(config.imageSize, 0),
      received_(config.imageSize, false) {
    kernelMode_ = config.startsInKernelMode || !hasNormalFirmware();
}

std::string DriveModel::reportedRevision() const {
    return kernelMode_ ? text(fixedText<4>(config_.kernelRevision)) : text(normalRevision_);
}

bool DriveModel::imageWhole() const {
    return std::all_of(received_.begin(), received_.end(), [](bool got) { return got; });
}

DriveReply DriveModel::good() const {
    DriveReply reply;
    reply.durationMs = config_.commandDurationMs;
    return reply;
}

DriveReply DriveModel::answer(std::uint8_t status, Sense sense) const {
    DriveReply reply = good();
    reply.status = status;
    reply.sense[0] = scsi::SENSE_RESPONSE_CURRENT;
    reply.sense[scsi::SENSE_KEY_OFFSET] = sense.key;
    reply.sense[scsi::SENSE_ADDITIONAL_LENGTH_OFFSET] = scsi::FIXED_SENSE_LENGTH - 8;
    reply.sense[scsi::SENSE_ASC_OFFSET] = sense.asc;
    reply.sense[scsi::SENSE_ASCQ_OFFSET] = sense.ascq;
    reply.senseLength = scsi::FIXED_SENSE_LENGTH;
    return reply;
}

DriveReply DriveModel::checkCondition(Sense sense) const {
    return answer(scsi::CHECK_CONDITION, sense);
}

DriveReply DriveModel::execute(const DriveCommand& command, std::vector<std::uint8_t>& dataIn) {
    const Sense invalidOpcode{scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_COMMAND_OPERATION_CODE, 0};
    if (command.cdb.empty()) return checkCondition(invalidOpcode);
    std::uint8_t opcode = command.cdb[0];
    if (command.cdb.size() < cdbLengthOfGroup(opcode)) {
        return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_CDB, 0});
    }
    // Inquiry is answered even while a unit attention is pending; everything else reports it.
    if (opcode == scsi::INQUIRY) return inquiry(command, dataIn);
    if (unitAttentions_ > 0) {
        --unitAttentions_;
        return checkCondition({scsi::UNIT_ATTENTION, scsi::ASC_POWER_ON_RESET, 0});
    }
    if (opcode == scsi::TEST_UNIT_READY) return testUnitReady();
    if (config_.kind == DeviceKind::DvdDrive) {
        switch (opcode) {
            case scsi::START_STOP_UNIT: return startStopUnit(command);
            case scsi::READ_BUFFER: return readBuffer(command, dataIn);
            case scsi::WRITE_BUFFER: return writeBuffer(command);
            default: break;
        }
    }
    return checkCondition(invalidOpcode);
}

DriveReply DriveModel::inquiry(const DriveCommand& command, std::vector<std::uint8_t>& dataIn) const {
    if ((cdbByte(command.cdb, 1) & kEvpd) != 0 || cdbByte(command.cdb, 2) != 0) {
        return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_CDB, 0});
    }
    bool disk = config_.kind == DeviceKind::Disk;
    std::vector<std::uint8_t> data(kInquiryLength, 0);
    data[0] = disk ? scsi::TYPE_DISK : config_.deviceType;
    data[1] = disk ? 0 : kRemovableMedium;
    data[3] = kResponseDataFormat;
    data[4] = kInquiryAdditionalLength;
    put(data, kVendorOffset, fixedText<8>(config_.vendor));
    put(data, kProductOffset, fixedText<16>(config_.product));
    put(data, kRevisionOffset, fixedText<4>(reportedRevision()));
    data[kByte36Offset] = config_.byte36;
    put(data, kDateTextOffset, dateText_);
    deliver(dataIn, data, cdbField(command.cdb, 3, 2), command.dataInRoom);
    return good();
}

DriveReply DriveModel::testUnitReady() const {
    if (config_.kind != DeviceKind::DvdDrive) return good();
    switch (medium_) {
        case MediumState::NoDisc:
            return checkCondition({scsi::NOT_READY, scsi::ASC_MEDIUM_NOT_PRESENT, 0});
        case MediumState::DiscStopped:
            return checkCondition({scsi::NOT_READY, scsi::ASC_LOGICAL_UNIT_NOT_READY,
                                   scsi::ASCQ_INITIALIZING_COMMAND_REQUIRED});
        case MediumState::BecomingReady:
            return checkCondition({scsi::NOT_READY, scsi::ASC_LOGICAL_UNIT_NOT_READY, scsi::ASCQ_BECOMING_READY});
        case MediumState::DiscTurning: break;
    }
    return good();
}

DriveReply DriveModel::startStopUnit(const DriveCommand& command) {
    std::uint8_t control = cdbByte(command.cdb, 4);
    if ((control & kPowerConditionMask) != 0) return good();  // a power condition change only
    bool start = (control & kStartBit) != 0;
    bool loadEject = (control & kLoadEjectBit) != 0;
    if (loadEject && !start) {
        medium_ = MediumState::NoDisc;
    } else if (!start && medium_ == MediumState::DiscTurning) {
        medium_ = MediumState::DiscStopped;
    } else if (start && medium_ == MediumState::DiscStopped) {
        medium_ = MediumState::DiscTurning;
    }
    return good();
}

DriveReply DriveModel::readBuffer(const DriveCommand& command, std::vector<std::uint8_t>& dataIn) const {
    std::uint8_t mode = cdbByte(command.cdb, 1) & kBufferModeMask;
    std::uint8_t bufferId = cdbByte(command.cdb, 2);
    std::uint32_t offset = cdbField(command.cdb, 3, 3);
    if (mode != scsi::BUFFER_MODE_DATA || bufferId != kDriveInfoBufferId || offset != 0 ||
        !config_.answersDriveInfo) {
        return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_CDB, 0});
    }
    std::vector<std::uint8_t> block(kDriveInfoLength, 0);
    put(block, kHardwareRevisionOffset, fixedText<8>(config_.hardwareRevision));
    put(block, kKernelVendorCodeOffset, fixedText<8>(config_.kernelVendorCode));
    // The loader reports no normal part: that is how the host learns the drive is in kernel mode.
    put(block, kNormalVendorCodeOffset, kernelMode_ ? fixedText<8>("") : normalVendorCode_);
    deliver(dataIn, block, cdbField(command.cdb, 6, 3), command.dataInRoom);
    return good();
}

DriveReply DriveModel::writeBuffer(const DriveCommand& command) {
    std::uint8_t mode = cdbByte(command.cdb, 1) & kBufferModeMask;
    std::uint8_t bufferId = cdbByte(command.cdb, 2);
    std::uint32_t parameterLength = cdbField(command.cdb, 6, 3);
    if (command.direction == DataDirection::Out ? command.dataOut.size() < parameterLength : parameterLength != 0) {
        return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_PARAMETER_LIST_LENGTH_ERROR, 0});
    }
    bool modeChange = mode == scsi::BUFFER_MODE_DOWNLOAD_ACTIVATE || mode == scsi::BUFFER_MODE_DOWNLOAD_SAVE_ACTIVATE;
    if (modeChange && bufferId == kModeChangeBufferId && cdbField(command.cdb, 3, 3) == 0 &&
        parameterLength == kModeChangeBlockLength) {
        return mode == scsi::BUFFER_MODE_DOWNLOAD_ACTIVATE ? enterKernel(command) : storeImage(command);
    }
    if (mode == scsi::BUFFER_MODE_DOWNLOAD_OFFSETS_SAVE_ACTIVATE && bufferId == kImageBufferId) {
        return receivePiece(command);
    }
    return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_CDB, 0});
}

std::uint32_t DriveModel::expectedAccessCode() const {
    std::string loader = text(fixedText<8>(config_.kernelVendorCode));
    if (loader == kStockVendorCode) return config_.family.accessKey + config_.family.stockOffset;
    return config_.family.accessKey;
}

bool DriveModel::modeChangeBlockValid(std::span<const std::uint8_t> block) const {
    std::string loader = text(fixedText<8>(config_.kernelVendorCode));
    if (loader != kStockVendorCode && loader != kKitsetVendorCode) return false;  // no access at all
    auto model = fixedText<kModelTextLength>(config_.family.modelText);
    if (std::memcmp(block.data(), model.data(), kModelTextLength) != 0) return false;
    std::uint32_t code = 0;
    for (std::size_t i = 0; i < 4; ++i) code |= std::uint32_t{block[kAccessCodeOffset + i]} << (8 * i);
    return code == expectedAccessCode();
}

DriveReply DriveModel::enterKernel(const DriveCommand& command) {
    if (!modeChangeBlockValid(command.dataOut)) {
        return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_PARAMETER_LIST, 0});
    }
    if (!kernelMode_) {
        kernelMode_ = true;
        std::fill(received_.begin(), received_.end(), false);
    }
    return good();
}

DriveReply DriveModel::storeImage(const DriveCommand& command) {
    if (!kernelMode_) return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_COMMAND_SEQUENCE_ERROR, 0});
    if (!modeChangeBlockValid(command.dataOut)) {
        return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_PARAMETER_LIST, 0});
    }
    // The loader refuses to store part of an image and goes on waiting for the rest.
    if (!imageWhole()) return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_COMMAND_SEQUENCE_ERROR, 0});
    restartWithReceivedImage();
    DriveReply reply = good();
    reply.durationMs = config_.storeDurationMs;
    return reply;
}

void DriveModel::restartWithReceivedImage() {
    auto textAt = [this](std::uint32_t offset, std::size_t length) {
        return offset + length <= image_.size()
                   ? std::string(reinterpret_cast<const char*>(image_.data()) + offset, length)
                   : std::string();
    };
    normalRevision_ = fixedText<4>(textAt(kImageRevisionOffset, 4));
    dateText_ = fixedText<10>(textAt(kImageDateTextOffset, 8));
    normalVendorCode_ = fixedText<8>(textAt(kImageNormalVendorCodeOffset, 8));
    kernelMode_ = !hasNormalFirmware();
    std::fill(received_.begin(), received_.end(), false);
    unitAttentions_ += config_.unitAttentionsAfterRestart;
    ++restarts_;
}

DriveReply DriveModel::receivePiece(const DriveCommand& command) {
    if (!kernelMode_) return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_COMMAND_SEQUENCE_ERROR, 0});
    std::uint32_t offset = cdbField(command.cdb, 3, 3);
    std::uint32_t length = cdbField(command.cdb, 6, 3);
    if (length == 0 || std::uint64_t{offset} + length > image_.size()) {
        return checkCondition({scsi::ILLEGAL_REQUEST, scsi::ASC_INVALID_FIELD_IN_CDB, 0});
    }
    std::copy_n(command.dataOut.begin(), length, image_.begin() + offset);
    std::fill_n(received_.begin() + offset, length, true);
    return good();
}

}  // namespace emu
