// The --trace output: one line per command a drive received.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "platform/emulated/devices.h"

namespace emu_demo {

// virtual time, device, CDB in hex, direction and length, time-out, outcome and sense.
std::string traceLine(const emu::TraceEntry& entry);

// Prints the commands traced since its last call.
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
