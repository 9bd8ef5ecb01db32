#include "update/update_procedure.h"

#include <cstring>

#include "discovery/state.h"
#include "driver/definitions.h"
#include "driver/program.h"
#include "driver/state.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/state.h"
#include "platform/platform.h"
#include "platform/scsi.h"
#include "transport/commands.h"
#include "transport/transport.h"
#include "transport/state.h"
#include "update/firmware_image.h"
#include "update/mode_change.h"
#include "update/state.h"

namespace rflash {
namespace {

constexpr std::uint16_t kPieceLength = 0x8000;
constexpr std::uint32_t kPauseBeforeConfirmMs = 1000;
constexpr std::uint32_t kPauseAfterRestartMs = 5000;
constexpr std::uint32_t kPauseAfterFailedRestartMs = 2000;
// A drive that keeps reporting unit attention is not becoming idle; give up after this many
// repeated TEST UNIT READY commands.
constexpr int kUnitAttentionRepeats = 64;
constexpr std::size_t kRevisionOffset = 32;

bool intelDriverOnLibraryPath() {
    return discovery.hostDriverKind == 1 && discovery.useAspi == 1;
}

void printScratch() {
    printText(messages.scratchText.c_str());
}

// Sends imageSize bytes of imageBuffer in pieces of at most 32768 bytes, in ascending order, with
// a progress line before each piece. 0, or -1 after message 42 when a piece failed.
std::int32_t transferImage() {
    const std::int32_t imageSize = program.workingEntry.imageSize;
    std::uint8_t* const image = discovery.imageBuffer.data;
    std::int32_t offset = 0;
    std::uint16_t pieceLength = kPieceLength;
    printText("\n");
    do {
        if (intelDriverOnLibraryPath() && offset == imageSize - pieceLength) {
            // The drive restarts on its own after the last piece on this path: say so first.
            formatScratch("\rProcessing 100%%");
            printScratch();
            showMessage(44, MsgPrint);
        } else {
            auto percent = static_cast<std::int32_t>(static_cast<std::int64_t>(offset) * 100 / imageSize);
            formatScratch("\rProcessing %d%%", percent);
            printScratch();
        }
        if (imageSize - offset < pieceLength) pieceLength = static_cast<std::uint16_t>(imageSize - offset);
        if (writeBufferF0(offset, pieceLength, image + offset) != 0) {
            showMessage(42, MsgError);
            return -1;
        }
        offset += pieceLength;
    } while (offset < imageSize);
    return 0;
}

void printClosingLine() {
    if (program.codePage == kJapaneseCodePage) {
        // "ﾌｧｰﾑｳｪｱ転送完了" / "現在ﾄﾞﾗｲﾌﾞ内部でｱｯﾌﾟﾃﾞｰﾄ中です..." in code page 932.
        formatScratch("\rProcessing 100%% --> \xCC\xA7\xB0\xD1\xB3\xAA\xB1\x93\x5D\x91\x97\x8A\xAE\x97\xB9"
                      "\r\n\x8C\xBB\x8D\xDD\xC4\xDE\xD7\xB2\xCC\xDE\x93\xE0\x95\x94\x82\xC5\xB1\xAF\xCC\xDF"
                      "\xC3\xDE\xB0\xC4\x92\x86\x82\xC5\x82\xB7...");
    } else {
        formatScratch("\rProcessing 100%% --> Data transfer complete\r\nNow internal re-flashing...");
    }
    printScratch();
}

// The sense data that describe the TEST UNIT READY just sent: the bytes it delivered, all zero
// when it failed without sense (SenseData then still holds an earlier command's bytes).
SenseData senseOfLastCommand() {
    return transport.lastCommandSense > 0 ? transport.senseData : SenseData{};
}

}  // namespace

std::int32_t selectDefinitionEntry() {
    std::int32_t status = inquiry(program.currentTarget, update.inquiryData.data());
    if (status != 0) {
        showMessage(9, MsgError);
        return status;
    }
    status = readDriveInfoBlock();
    if (status != 0) {
        showMessage(0, MsgError);
        return status;
    }
    std::int32_t index = matchDefinition(update.inquiryData.data());
    if (index < 0 || index >= program.definitionCount || index >= kDefinitionSlots) return -1;

    const UpdateDefinition& entry = program.updateDefinitions[static_cast<std::size_t>(index)];
    WorkingEntry& working = program.workingEntry;
    working.selectedEntryIndex = static_cast<std::uint8_t>(index);
    std::memcpy(working.imageFileName, entry.imageFileName, sizeof(working.imageFileName));
    working.imageFileName[sizeof(working.imageFileName) - 1] = '\0';
    working.imageSize = static_cast<std::int32_t>(entry.imageSize);
    working.familyCode = entry.familyCode;
    working.modeAccessKey = entry.modeAccessKey;
    return 0;
}

std::int32_t prepareDrive() {
    stopUnit();  // its result does not matter: TEST UNIT READY tells the state
    for (int repeats = 0;; ++repeats) {
        std::int32_t status = testUnitReady(program.currentTarget);
        if (status == 0) {
            // Ready means a disc is loaded and turning.
            showMessage(5, MsgInfo);
            return -1;
        }
        // Without a status from the drive nothing is known about it; earlier sense data must
        // not pass for its answer.
        if (transport.lastCommandSense == kNoDeviceStatus) break;
        captureSense();
        const SenseData sense = senseOfLastCommand();
        const std::int32_t senseCode = sense[scsi::SENSE_KEY_OFFSET] * 65536 + sense[scsi::SENSE_ASC_OFFSET] * 256 +
                                       sense[scsi::SENSE_ASCQ_OFFSET];
        std::uint8_t key = sense[scsi::SENSE_KEY_OFFSET];
        std::uint8_t asc = sense[scsi::SENSE_ASC_OFFSET];
        std::uint8_t ascq = sense[scsi::SENSE_ASCQ_OFFSET];
        if (key == scsi::NOT_READY && asc == scsi::ASC_MEDIUM_NOT_PRESENT) return 0;
        if (key == scsi::NOT_READY && asc == scsi::ASC_LOGICAL_UNIT_NOT_READY &&
            ascq == scsi::ASCQ_INITIALIZING_COMMAND_REQUIRED) {
            return 0;  // a disc is present and stopped
        }
        if (key == scsi::NOT_READY && asc == scsi::ASC_LOGICAL_UNIT_NOT_READY && ascq == scsi::ASCQ_BECOMING_READY) {
            showMessage(6, MsgPrint);
            return -1;
        }
        if (key == scsi::UNIT_ATTENTION) {
            if (repeats < kUnitAttentionRepeats) continue;
            break;
        }
        if (discovery.hostDriverKind == 1 && senseCode == 0) return 0;
        break;
    }
    showMessage(7, MsgPrint);
    return -1;
}

std::int32_t updateDrive() {
    if (selectDefinitionEntry() != 0) return kDriveLeftAsItWas;
    const std::uint32_t familyCode = program.workingEntry.familyCode;
    for (;;) {
        update.driveInKernelMode = 0;
        if (loadFirmwareImage() != 0) {
            showMessage(11, MsgError);
            return kUpdateFatal;
        }
        if (readDriveRevision(0) != 0) return kUpdateFatal;
        if (checkImageAgainstDrive() != 0) return kDriveLeftAsItWas;
        if (prepareDrive() != 0) return kDriveLeftAsItWas;
        // Only an explicit Yes lets the update go ahead; a box that could not be shown is no consent.
        if (program.updateAllDrives == 0 && showMessage(82, MsgAskYesNo) != platform::IDYES) return kDriveDeclined;
        showMessage(61, MsgPrint);

        if (update.driveInKernelMode == 0) {
            if (enterKernelMode(familyCode) != 0) return kUpdateFatal;
            pauseMs(kPauseBeforeConfirmMs);
            if (confirmKernelMode() != 0) return kUpdateFatal;
        }

        if (transferImage() == 0) {
            if (!intelDriverOnLibraryPath()) printClosingLine();
            std::int32_t status = enterNormalMode(familyCode);
            if (discovery.ieee1394Adapter != -1 || intelDriverOnLibraryPath()) {
                pauseMs(kPauseAfterRestartMs);
            } else if (status != 0) {
                pauseMs(kPauseAfterFailedRestartMs);
            }
        }

        // The verdict comes from what the drive reports now, whatever the steps above returned.
        if (readDriveRevision(1) != 0) return kUpdateFatal;
        if (std::memcmp(update.inquiryData.data() + kRevisionOffset, "000", 3) != 0) {
            showMessage(12, MsgPrint);
            return kDriveUpdated;
        }
        if (intelDriverOnLibraryPath()) {
            enterNormalMode(familyCode);
            pauseMs(kPauseAfterRestartMs);
        }
        if (showMessage(47, MsgAskYesNo) != platform::IDYES) return kUpdateFatal;
    }
}

}  // namespace rflash
