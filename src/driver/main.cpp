#include "driver/program.h"

int main() {
    // The command line is ignored.
    return rflash::runMainSequence();
}
