#include "trace_lines.h"

namespace emu_demo {

bool TracePrinter::pending() const {
    return printed_ < emu::commandTrace().size();
}

void TracePrinter::printNew() {
    const auto& trace = emu::commandTrace();
    for (; printed_ < trace.size(); ++printed_) std::fprintf(out_, "%s\n", emu::describe(trace[printed_]).c_str());
    std::fflush(out_);
}

}  // namespace emu_demo
