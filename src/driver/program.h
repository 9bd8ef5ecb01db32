// The main sequence: start-up order, the per-target loop, summary and exit code.
#pragma once

#include <cstdint>

namespace rflash {

constexpr int kExitCompleted = 0;
constexpr int kExitFailed = 1;

// The steps the main sequence hands over to other subsystems. The program always runs the real
// ones; tests of the main sequence's own flows may put doubles in their place.
struct MainSequenceSteps {
    std::int32_t (*checkHostEnvironment)();
    std::int32_t (*enumerateDrives)();
    std::int32_t (*updateDrive)();
    void (*finalRelease)();
};

MainSequenceSteps realMainSequenceSteps();

// The process entry: the command line is ignored. Returns the exit code.
int runMainSequence(const MainSequenceSteps& steps = realMainSequenceSteps());

// Busy-waits at least `milliseconds` on the millisecond clock, at the finest timer period granted.
void pauseMs(std::uint32_t milliseconds);

}  // namespace rflash
