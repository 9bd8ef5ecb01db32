// Module-level state of the program driver: the main sequence's program-wide values and the
// compiled-in update definition.
#pragma once

#include <array>
#include <cstdint>

namespace rflash {

// One entry of the compiled-in update definition table.
struct UpdateDefinition {
    char imageFileName[128];   // NUL-terminated, no directory
    char vendorCode[16];       // first 8 bytes used, no terminator
    char vendorId[8];          // Inquiry vendor identification, no terminator
    char productId[16];        // Inquiry product identification, no terminator
    std::uint32_t imageSize;
    std::uint32_t familyCode;
    std::uint32_t minimumImageDate;  // packed date
    std::uint32_t modeAccessKey;
};

// The fields of the selected entry that the update reads and changes.
struct WorkingEntry {
    std::uint8_t selectedEntryIndex;
    char imageFileName[128];
    std::int32_t imageSize;
    std::uint32_t familyCode;
    std::uint32_t modeAccessKey;
};

constexpr int kDefinitionSlots = 8;

struct ProgramState {
    // Main sequence.
    std::int32_t codePage = 0;
    std::int32_t updateAllDrives = 0;
    std::int32_t currentTarget = 0;
    std::int32_t successCount = 0;
    // pauseMs: the timer period currently requested and the clock value the pause began at.
    std::uint32_t timerPeriod = 0;
    std::uint32_t pauseStart = 0;

    // Update definition.
    std::array<UpdateDefinition, kDefinitionSlots> updateDefinitions{};
    std::int32_t definitionCount = 0;
    std::uint16_t newRevision = 0;
    WorkingEntry workingEntry{};
};

extern ProgramState program;

}  // namespace rflash
