// One emulated drive on D: as the current target, reached by pass-through, with the shared
// buffers in place and the compiled-in definition selected: the ground the update's steps stand
// on when they are tested one by one.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "discovery/state.h"
#include "driver/definitions.h"
#include "driver/state.h"
#include "platform/emulated/console.h"
#include "platform/emulated/devices.h"
#include "platform/emulated/files.h"
#include "platform/emulated/host.h"
#include "platform/emulated/firmware_images.h"
#include "transport/state.h"
#include "update/state.h"

namespace rflash_test {

// A drive that the compiled-in definition matches and that needs the default image.
inline emu::DeviceConfig matchingDrive() {
    emu::DeviceConfig config;
    config.hardwareRevision = "SAT     ";
    config.revision = "1.05";
    config.dateText = "09/03/04";
    return config;
}

class DriveSteps : public ::testing::Test {
protected:
    void SetUp() override {
        rflash::setUpDefinitions();
        rflash::discovery.useAspi = 0;
        rflash::discovery.ieee1394Adapter = -1;
        rflash::discovery.imageBuffer = {nullptr, imageBuffer.data(), imageBuffer.size()};
        rflash::discovery.parameterBuffer = {nullptr, parameterBuffer.data(), parameterBuffer.size()};
        rflash::discovery.targetList[0].driveLetter = 'D';
        rflash::discovery.targetCount = 1;
        rflash::program.currentTarget = 0;
        rflash::transport.commandTimeoutMs = 60000;
        rflash::program.workingEntry.selectedEntryIndex = 0;
        std::strcpy(rflash::program.workingEntry.imageFileName, emu::kDefaultImageName);
        rflash::program.workingEntry.imageSize = 2 * 1024 * 1024;
        rflash::program.workingEntry.familyCode = rflash::kFamilyCode;
        rflash::program.workingEntry.modeAccessKey = rflash::kModeAccessKey;
    }

    emu::DeviceId attach(const emu::DeviceConfig& config = matchingDrive()) {
        device = emu::attachDrive('D', config);
        return device;
    }

    void putImage(const emu::ImageRecipe& recipe = {}) {
        emu::addFile(emu::kDefaultImageName, emu::buildFirmwareImage(recipe));
    }

    // The commands the drive received with this opcode.
    std::vector<emu::TraceEntry> commandsWith(std::uint8_t opcode) const {
        std::vector<emu::TraceEntry> found;
        for (const emu::TraceEntry& entry : emu::commandTrace()) {
            if (entry.cdb[0] == opcode) found.push_back(entry);
        }
        return found;
    }

    std::vector<std::uint8_t> imageBuffer = std::vector<std::uint8_t>(8 * 1024 * 1024);
    std::vector<std::uint8_t> parameterBuffer = std::vector<std::uint8_t>(512);
    emu::DeviceId device = 0;
};

}  // namespace rflash_test
