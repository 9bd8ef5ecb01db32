// rflash-emu: the real program's main sequence on an emulated PC.
#include "driver/program.h"
#include "platform/emulated/console.h"
#include "platform/emulated/host.h"

int main() {
    emu::reset();
    emu::echoConsoleTo(stdout);
    return rflash::runMainSequence();
}
