#include "platform/emulated/host.h"

namespace emu {

void reset() {
    // Devices first: their pending completions refer to the clock.
    resetDevices();
    resetMachine();
    resetFiles();
    resetHandles();
    resetConsole();
    resetClock();
}

}  // namespace emu
