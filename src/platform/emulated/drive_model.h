// The model of one emulated device: a DVD writer of the drive family that rflash updates, or a
// simpler device (a disk, a device that never answers). It sees only what a drive sees: CDB
// bytes, the data the host sends, and the room the host leaves for data coming back.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "driver/definitions.h"
#include "platform/scsi.h"

namespace emu {

enum class DataDirection : std::uint8_t { None, In, Out };

struct Sense {
    std::uint8_t key = 0;  // the whole sense key byte, flag bits included
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
};

enum class DeviceKind {
    DvdDrive,      // the drive model below
    Disk,          // direct-access device: answers Inquiry (type 0) and TEST UNIT READY only
    Unresponsive,  // selected but never answers: every command times out on the bus
};

enum class MediumState {
    NoDisc,         // TEST UNIT READY: 2/3A/00
    DiscStopped,    // 2/04/02
    DiscTurning,    // GOOD
    BecomingReady,  // 2/04/01; the drive finishes spinning up whatever it is told meanwhile
};

// What the mode-change block must carry for the drive to accept it: the family's model text and
// access key, and the offset added to the key when the loader's vendor code is "STOCK   ".
struct DriveFamily {
    std::string modelText = rflash::kFamilyModelText;
    std::uint32_t accessKey = rflash::kModeAccessKey;
    std::uint32_t stockOffset = rflash::kStockFamilyOffset;
};

// A device's identity and starting state. Text fields are blank-padded or cut to their width.
struct DeviceConfig {
    DeviceKind kind = DeviceKind::DvdDrive;
    std::uint8_t deviceType = scsi::TYPE_ROM;  // Inquiry byte 0 (a Disk always reports 0)
    std::string vendor = "ZANTOVA ";           // 8
    std::string product = "DVD-RW  QRW-E28 ";  // 16
    std::string revision = "1.05";             // 4, normal firmware
    std::uint8_t byte36 = ' ';
    std::string dateText = "09/03/04";         // 10: "yy/mm/dd" or "yyyy/mm/dd"
    std::string kernelRevision = "0001";       // 4, reported while the loader runs
    std::string hardwareRevision = "TR-2    "; // 8, drive-information block bytes 16..23
    std::string kernelVendorCode = "STOCK   "; // 8, bytes 24..31
    std::string normalVendorCode = "STOCK   "; // 8, bytes 32..39; blank: no normal firmware
    bool startsInKernelMode = false;           // also when the normal firmware is missing
    bool answersDriveInfo = true;              // READ BUFFER 0xF1 fails with 5/24/00 when false
    MediumState medium = MediumState::NoDisc;
    int pendingUnitAttentions = 0;             // 6/29/00 for this many commands (Inquiry excepted)
    int unitAttentionsAfterRestart = 0;        // pending after a restart with a new image
    DriveFamily family{};
    std::uint32_t imageSize = 2097152;         // bytes the loader must receive before storing
    std::uint32_t commandDurationMs = 3;
    std::uint32_t storeDurationMs = 8000;      // WRITE BUFFER mode 5 that stores an image
};

// A drive's answer to one command.
struct DriveReply {
    std::uint8_t status = scsi::GOOD;
    std::array<std::uint8_t, scsi::FIXED_SENSE_LENGTH> sense{};
    std::uint8_t senseLength = 0;  // bytes of sense the drive delivers
    std::uint32_t durationMs = 0;
};

// What the host hands the drive for one command.
struct DriveCommand {
    std::span<const std::uint8_t> cdb{};
    DataDirection direction = DataDirection::None;
    std::span<const std::uint8_t> dataOut{};  // the host's data for a data-out command
    std::uint32_t dataInRoom = 0;           // bytes the host accepts for a data-in command
};

class DriveModel {
public:
    explicit DriveModel(const DeviceConfig& config);

    // Carries out the command. Data for the host is appended to `dataIn` (at most dataInRoom).
    DriveReply execute(const DriveCommand& command, std::vector<std::uint8_t>& dataIn);
    // An answer with the given sense, for commands failed by fault injection.
    DriveReply checkCondition(Sense sense) const;

    const DeviceConfig& config() const { return config_; }
    DeviceKind kind() const { return config_.kind; }

    bool inKernelMode() const { return kernelMode_; }
    MediumState medium() const { return medium_; }
    void setMedium(MediumState medium) { medium_ = medium; }
    int pendingUnitAttentions() const { return unitAttentions_; }
    void addUnitAttentions(int count) { unitAttentions_ += count; }

    // The revision Inquiry reports now (4 characters) and the normal firmware's fields.
    std::string reportedRevision() const;
    std::string normalRevision() const { return text(normalRevision_); }
    std::string dateText() const { return text(dateText_); }
    std::string normalVendorCode() const { return text(normalVendorCode_); }
    bool hasNormalFirmware() const { return normalVendorCode_[0] != ' '; }

    // The image the loader has received since it started, and whether all of it arrived.
    const std::vector<std::uint8_t>& receivedImage() const { return image_; }
    bool imageWhole() const;
    int restarts() const { return restarts_; }

    // Fixed layouts.
    static constexpr std::uint32_t kInquiryLength = 96;
    static constexpr std::uint32_t kDriveInfoLength = 48;
    static constexpr std::uint32_t kModeChangeBlockLength = 256;
    static constexpr std::uint8_t kImageBufferId = 0xF0;
    static constexpr std::uint8_t kDriveInfoBufferId = 0xF1;
    static constexpr std::uint8_t kModeChangeBufferId = 0xFF;
    static constexpr std::uint32_t kImageRevisionOffset = 144;
    static constexpr std::uint32_t kImageNormalVendorCodeOffset = 240;
    static constexpr std::uint32_t kImageDateTextOffset = 304;

private:
    template <std::size_t N>
    static std::string text(const std::array<char, N>& field) { return std::string(field.data(), N); }

    DriveReply good() const;
    DriveReply answer(std::uint8_t status, Sense sense) const;
    DriveReply inquiry(const DriveCommand& command, std::vector<std::uint8_t>& dataIn) const;
    DriveReply testUnitReady() const;
    DriveReply startStopUnit(const DriveCommand& command);
    DriveReply readBuffer(const DriveCommand& command, std::vector<std::uint8_t>& dataIn) const;
    DriveReply writeBuffer(const DriveCommand& command);
    DriveReply enterKernel(const DriveCommand& command);
    DriveReply storeImage(const DriveCommand& command);
    DriveReply receivePiece(const DriveCommand& command);
    bool modeChangeBlockValid(std::span<const std::uint8_t> block) const;
    std::uint32_t expectedAccessCode() const;
    void restartWithReceivedImage();

    DeviceConfig config_;
    bool kernelMode_;
    MediumState medium_;
    int unitAttentions_;
    int restarts_ = 0;
    std::array<char, 4> normalRevision_{};
    std::array<char, 10> dateText_{};
    std::array<char, 8> normalVendorCode_{};
    std::vector<std::uint8_t> image_;
    std::vector<bool> received_;
};

}  // namespace emu
