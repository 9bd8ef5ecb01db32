// Names for the SCSI/MMC protocol values the program and the emulated drives exchange.
#pragma once

#include <cstdint>

namespace scsi {

// Operation codes.
constexpr std::uint8_t TEST_UNIT_READY = 0x00;
constexpr std::uint8_t INQUIRY = 0x12;
constexpr std::uint8_t START_STOP_UNIT = 0x1B;
constexpr std::uint8_t WRITE_BUFFER = 0x3B;
constexpr std::uint8_t READ_BUFFER = 0x3C;

// Status bytes.
constexpr std::uint8_t GOOD = 0x00;
constexpr std::uint8_t CHECK_CONDITION = 0x02;

// Sense keys (byte 2 of fixed-format sense data).
constexpr std::uint8_t NO_SENSE = 0x00;
constexpr std::uint8_t NOT_READY = 0x02;
constexpr std::uint8_t MEDIUM_ERROR = 0x03;
constexpr std::uint8_t HARDWARE_ERROR = 0x04;
constexpr std::uint8_t ILLEGAL_REQUEST = 0x05;
constexpr std::uint8_t UNIT_ATTENTION = 0x06;

// Additional sense codes and qualifiers used by the drives.
constexpr std::uint8_t ASC_LOGICAL_UNIT_NOT_READY = 0x04;
constexpr std::uint8_t ASCQ_BECOMING_READY = 0x01;
constexpr std::uint8_t ASCQ_INITIALIZING_COMMAND_REQUIRED = 0x02;
constexpr std::uint8_t ASC_PARAMETER_LIST_LENGTH_ERROR = 0x1A;
constexpr std::uint8_t ASC_INVALID_COMMAND_OPERATION_CODE = 0x20;
constexpr std::uint8_t ASC_INVALID_FIELD_IN_CDB = 0x24;
constexpr std::uint8_t ASC_INVALID_FIELD_IN_PARAMETER_LIST = 0x26;
constexpr std::uint8_t ASC_POWER_ON_RESET = 0x29;
constexpr std::uint8_t ASC_COMMAND_SEQUENCE_ERROR = 0x2C;
constexpr std::uint8_t ASC_MEDIUM_NOT_PRESENT = 0x3A;

// Fixed-format sense data.
constexpr std::uint8_t SENSE_RESPONSE_CURRENT = 0x70;
constexpr unsigned SENSE_KEY_OFFSET = 2;
constexpr unsigned SENSE_ADDITIONAL_LENGTH_OFFSET = 7;
constexpr unsigned SENSE_ASC_OFFSET = 12;
constexpr unsigned SENSE_ASCQ_OFFSET = 13;
constexpr unsigned FIXED_SENSE_LENGTH = 18;

// Peripheral device types (byte 0 of Inquiry data).
constexpr std::uint8_t TYPE_DISK = 0x00;
constexpr std::uint8_t TYPE_WORM = 0x04;
constexpr std::uint8_t TYPE_ROM = 0x05;

// READ BUFFER / WRITE BUFFER modes.
constexpr std::uint8_t BUFFER_MODE_DATA = 0x02;
constexpr std::uint8_t BUFFER_MODE_DOWNLOAD_ACTIVATE = 0x04;
constexpr std::uint8_t BUFFER_MODE_DOWNLOAD_SAVE_ACTIVATE = 0x05;
constexpr std::uint8_t BUFFER_MODE_DOWNLOAD_OFFSETS_SAVE_ACTIVATE = 0x07;

}  // namespace scsi
