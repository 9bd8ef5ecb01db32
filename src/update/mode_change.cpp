#include "update/mode_change.h"

#include <cstring>

#include "discovery/state.h"
#include "driver/definitions.h"
#include "driver/program.h"
#include "driver/state.h"
#include "messages/catalogue.h"
#include "platform/scsi.h"
#include "transport/commands.h"
#include "transport/state.h"
#include "update/image_codes.h"
#include "update/state.h"

namespace rflash {
namespace {

constexpr std::int32_t kModeChangeTimeoutMs = 60000;
// Storing the image and restarting may take the drive minutes before it completes the command.
constexpr std::int32_t kStoreAndRestartTimeoutMs = 180000;
constexpr std::uint32_t kPauseAfterKernelModeMs = 2000;
constexpr std::uint32_t kPauseAfterNormalModeMs = 5000;

static_assert(sizeof(kFamilyModelText) == sizeof(ModeChangeBlock::modelText) + 1);

// What a drive in kernel mode reports: the maker's DVD-RW identification and a "000" revision.
constexpr char kKernelIdentificationPrefix[] = "ZANTOVA DVD-RW  QRW-";
constexpr std::size_t kIdentificationOffset = 8;
constexpr std::size_t kRevisionOffset = 32;

bool intelDriverOnLibraryPath() {
    return discovery.hostDriverKind == 1 && discovery.useAspi == 1;
}

}  // namespace

std::optional<ModeChangeBlock> modeChangeBlockFor(std::uint32_t familyCode) {
    if (familyCode != kFamilyCode) return std::nullopt;
    auto accessCode = modeAccessCode(program.workingEntry.modeAccessKey, transport.driveInfo.infoKernelVendorCode);
    if (!accessCode) return std::nullopt;
    ModeChangeBlock block{};
    std::memcpy(block.modelText, kFamilyModelText, sizeof(block.modelText));
    for (std::size_t i = 0; i < sizeof(block.accessCode); ++i) {
        block.accessCode[i] = static_cast<std::uint8_t>(*accessCode >> (8 * i));
    }
    return block;
}

namespace {

// Builds the block at the start of parameterBuffer; false when this drive must not get one.
bool buildModeChangeBlock(std::uint32_t familyCode) {
    SharedBuffer& buffer = discovery.parameterBuffer;
    auto block = modeChangeBlockFor(familyCode);
    if (!block || buffer.data == nullptr || buffer.size < sizeof(ModeChangeBlock)) return false;
    std::memcpy(buffer.data, &*block, sizeof(ModeChangeBlock));
    return true;
}

std::int32_t sendModeChange(std::uint8_t mode) {
    return writeBuffer(program.currentTarget, mode, kModeChangeBufferId, 0, sizeof(ModeChangeBlock),
                       discovery.parameterBuffer.data);
}

}  // namespace

std::int32_t enterKernelMode(std::uint32_t familyCode) {
    transport.commandTimeoutMs = kModeChangeTimeoutMs;
    if (!buildModeChangeBlock(familyCode)) {
        showMessage(14, MsgPrint);
        return -1;
    }
    std::int32_t status = sendModeChange(scsi::BUFFER_MODE_DOWNLOAD_ACTIVATE);
    if (status != 0) {
        showMessage(14, MsgPrint);
        return status;
    }
    transport.commandTimeoutMs = kModeChangeTimeoutMs;
    if (!intelDriverOnLibraryPath()) pauseMs(kPauseAfterKernelModeMs);
    return 0;
}

std::int32_t confirmKernelMode() {
    std::uint8_t* data = update.inquiryData.data();
    if (inquiry(program.currentTarget, data) != 0) {
        showMessage(9, MsgPrint);
        return -1;
    }
    bool kernel = std::memcmp(data + kRevisionOffset, "000", 3) == 0 &&
                  std::memcmp(data + kIdentificationOffset, kKernelIdentificationPrefix,
                              sizeof(kKernelIdentificationPrefix) - 1) == 0;
    update.driveInKernelMode = kernel ? 1 : 0;
    return kernel ? 0 : -1;
}

std::int32_t enterNormalMode(std::uint32_t familyCode) {
    if (!buildModeChangeBlock(familyCode)) {
        transport.commandTimeoutMs = kModeChangeTimeoutMs;
        showMessage(15, MsgPrint);
        return -1;
    }
    transport.commandTimeoutMs = kStoreAndRestartTimeoutMs;
    std::int32_t status = sendModeChange(scsi::BUFFER_MODE_DOWNLOAD_SAVE_ACTIVATE);
    transport.commandTimeoutMs = kModeChangeTimeoutMs;
    if (status != 0) {
        // Over IEEE 1394 the drive may drop the command while it restarts; a not-ready or
        // unit-attention sense is then the restart itself.
        std::int32_t senseKey = transport.senseCode / 65536;
        bool restarting = discovery.ieee1394Adapter != -1 && (senseKey == scsi::NOT_READY || senseKey == scsi::UNIT_ATTENTION);
        if (!restarting) {
            showMessage(15, MsgPrint);
            return status;
        }
    }
    pauseMs(kPauseAfterNormalModeMs);
    return 0;
}

}  // namespace rflash
