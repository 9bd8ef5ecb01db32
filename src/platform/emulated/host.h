// The emulated host: a whole PC for the program to run on, under the test's control.
//
// It implements platform.h. Tests and the rflash-emu demo configure it through the headers of
// this folder and read back what the program did (console bytes, boxes, commands, timings).
#pragma once

namespace emu {

// Puts every area back to a fresh machine: nothing attached, nothing captured, clock at 0.
void reset();

// The areas reset() calls, one per file.
void resetClock();
void resetConsole();
void resetDevices();
void resetMachine();
void resetFiles();
void resetHandles();

}  // namespace emu
