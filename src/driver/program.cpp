#include "driver/program.h"

#include "discovery/host_environment.h"
#include "discovery/enumeration.h"
#include "discovery/state.h"
#include "driver/definitions.h"
#include "driver/state.h"
#include "messages/catalogue.h"
#include "messages/console.h"
#include "messages/state.h"
#include "platform/platform.h"
#include "update/update_procedure.h"

namespace rflash {
namespace {

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 59;
constexpr char kVersionLetter = 'B';

constexpr std::uint32_t kPauseAfterSuccessMs = 2000;
// The finest timer period worth asking for is found by counting up; give up past this.
constexpr std::uint32_t kLongestTimerPeriodMs = 1000;

void printBanner() {
    formatScratch("\n/// Quarnel Ver%1d.%02d%c\n", kVersionMajor, kVersionMinor, kVersionLetter);
    printText(messages.scratchText.c_str());
}

// Asks for the finest timer period the platform grants; 0 when it grants none.
std::uint32_t beginFinestTimerPeriod() {
    for (std::uint32_t period = 1; period <= kLongestTimerPeriodMs; ++period) {
        if (platform::timeBeginPeriod(period) == platform::TIMERR_NOERROR) return period;
    }
    return 0;
}

}  // namespace

MainSequenceSteps realMainSequenceSteps() {
    return MainSequenceSteps{&checkHostEnvironment, &enumerateDrives, &updateDrive, &finalRelease};
}

int runMainSequence(const MainSequenceSteps& steps) {
    program.updateAllDrives = 1;
    printBanner();
    program.codePage = static_cast<std::int32_t>(platform::GetOEMCP());
    setUpDefinitions();
    if (steps.checkHostEnvironment() != 0) {
        // Without its buffers the program must not touch a drive.
        steps.finalRelease();
        return kExitFailed;
    }

    // A negative count is no list to walk either; it must not end in "completed".
    std::int32_t found = steps.enumerateDrives();
    if (found <= 0) {
        showMessage(28, MsgInfo);
        steps.finalRelease();
        return kExitFailed;
    }

    if (discovery.targetCount > 1) {
        // Only an explicit Yes updates every drive without asking each one; a box that could not
        // be shown is no consent.
        if (showMessage(31, MsgAskYesNo) != platform::IDYES) program.updateAllDrives = 0;
    } else {
        program.updateAllDrives = 0;
    }

    program.successCount = 0;
    for (std::int32_t index = 0; index < discovery.targetCount; ++index) {
        program.currentTarget = index;
        showMessage(34, MsgPrint);
        std::int32_t result = steps.updateDrive();
        if (result == kDriveUpdated) {
            ++program.successCount;
            pauseMs(kPauseAfterSuccessMs);
        } else if (result == kUpdateFatal) {
            showMessage(36, MsgWarning);
            steps.finalRelease();
            return kExitFailed;
        }
    }

    if (program.successCount == discovery.targetCount) {
        showMessage(35, MsgInfo);
    } else if (program.successCount != 0) {
        showMessage(58, MsgInfo);
    }
    steps.finalRelease();
    return kExitCompleted;
}

void pauseMs(std::uint32_t milliseconds) {
    program.timerPeriod = beginFinestTimerPeriod();
    program.pauseStart = platform::timeGetTime();
    std::uint32_t now = program.pauseStart;
    // Unsigned subtraction keeps the elapsed time right across the clock's wrap.
    while (now - program.pauseStart < milliseconds) now = platform::timeGetTime();
    if (program.timerPeriod != 0) platform::timeEndPeriod(program.timerPeriod);
}

}  // namespace rflash
