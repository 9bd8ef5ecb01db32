// The --trace output: one line per command a drive received.
#pragma once

#include <cstddef>
#include <cstdio>

#include "platform/emulated/devices.h"

namespace emu_demo {

// Prints the commands traced since its last call, one line each (emu::describe): virtual time,
// device, CDB in hex, direction, length and buffer, time-out, outcome and sense.
class TracePrinter {
public:
    explicit TracePrinter(std::FILE* out) : out_(out) {}
    void printNew();
    bool pending() const;

private:
    std::FILE* out_;
    std::size_t printed_ = 0;
};

}  // namespace emu_demo
