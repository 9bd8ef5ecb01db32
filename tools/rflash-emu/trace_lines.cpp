#include "trace_lines.h"

#include <cinttypes>

namespace emu_demo {
namespace {

const char* directionWord(emu::DataDirection direction) {
    switch (direction) {
        case emu::DataDirection::In: return "in ";
        case emu::DataDirection::Out: return "out";
        default: return "-  ";
    }
}

}  // namespace

std::string traceLine(const emu::TraceEntry& entry) {
    char line[256];
    int used = std::snprintf(line, sizeof line, "[%9" PRIu64 " ms] drive %u %s ", entry.timeMs, entry.device,
                             entry.path == emu::Path::Aspi ? "aspi" : "sptd");
    std::string text(line, static_cast<std::size_t>(used));
    for (std::size_t i = 0; i < 10; ++i) {
        if (i < entry.cdbLength) {
            std::snprintf(line, sizeof line, "%02X ", entry.cdb[i]);
            text += line;
        } else {
            text += "   ";
        }
    }
    std::snprintf(line, sizeof line, " %s %6u  ", directionWord(entry.direction), entry.transferLength);
    text += line;
    if (entry.timeoutSeconds) {
        std::snprintf(line, sizeof line, "t/o %3u s  ", *entry.timeoutSeconds);
    } else {
        std::snprintf(line, sizeof line, "t/o   -    ");
    }
    text += line;
    switch (entry.outcome) {
        case emu::TraceOutcome::TimedOut: text += "timed out"; break;
        case emu::TraceOutcome::HostFailure: text += "host failure"; break;
        case emu::TraceOutcome::Completed:
            if (entry.status == 0) {
                text += "GOOD";
            } else if (entry.senseLength == 0) {
                std::snprintf(line, sizeof line, "status %02X, no sense", entry.status);
                text += line;
            } else {
                std::snprintf(line, sizeof line, "status %02X, sense %02X/%02X/%02X", entry.status, entry.sense[2],
                              entry.sense[12], entry.sense[13]);
                text += line;
            }
            break;
    }
    return text;
}

bool TracePrinter::pending() const {
    return printed_ < emu::commandTrace().size();
}

void TracePrinter::printNew() {
    const auto& trace = emu::commandTrace();
    for (; printed_ < trace.size(); ++printed_) std::fprintf(out_, "%s\n", traceLine(trace[printed_]).c_str());
    std::fflush(out_);
}

}  // namespace emu_demo
