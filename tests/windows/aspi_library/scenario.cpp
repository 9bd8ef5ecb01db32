#include "scenario.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/emulated/devices.h"
#include "platform/emulated/host.h"
#include "platform/emulated/machine.h"
#include "platform/platform.h"

namespace aspi_test {
namespace {

constexpr std::uint32_t kImageSize = 2 * 1024 * 1024;
// The hardware the update definition takes, and the image is built for.
constexpr const char* kHardwareRevision = "SAT 1   ";

// A host adapter that is neither an Intel IDE driver nor an IEEE 1394 interface.
constexpr const char* kScsiAdapter = "QSCSI HOST A    ";
constexpr const char* kIeee1394Adapter = "NTMAPHLP";

void put(std::vector<std::uint8_t>& image, std::size_t offset, const char* text) {
    std::memcpy(image.data() + offset, text, std::strlen(text));
}

void appendHex(std::string& line, const std::uint8_t* bytes, std::size_t count) {
    char hex[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
        line += hex;
    }
}

const char* directionName(emu::DataDirection direction) {
    switch (direction) {
        case emu::DataDirection::In: return "in";
        case emu::DataDirection::Out: return "out";
        default: return "none";
    }
}

const char* outcomeName(emu::TraceOutcome outcome) {
    switch (outcome) {
        case emu::TraceOutcome::Completed: return "completed";
        case emu::TraceOutcome::TimedOut: return "timed-out";
        default: return "host-failure";
    }
}

}  // namespace

bool setUpScenario(const std::string& name) {
    emu::reset();
    emu::setWindowsVersion(platform::VER_PLATFORM_WIN32_WINDOWS, 4, 10);  // Windows 98
    emu::installAspiLibrary();
    // The drive as it leaves the factory: revision 1.05 of 4 March 2009, no disc in it.
    emu::DeviceConfig drive;
    drive.hardwareRevision = kHardwareRevision;
    if (name == "update") {
        emu::addAspiAdapter(kScsiAdapter);
        emu::attachAspiDrive(0, 1, drive);
        return true;
    }
    if (name == "ieee1394") {
        emu::addAspiAdapter(kScsiAdapter);
        emu::addAspiAdapter(kIeee1394Adapter);
        emu::attachAspiDrive(1, 0, drive);
        return true;
    }
    return false;
}

const char* imageFileName() { return "W7283051.107"; }

std::vector<std::uint8_t> imageBytes() {
    std::vector<std::uint8_t> image(kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 131 + (i >> 16));
    put(image, 96, "ZANTOVA DVD-RW  QRW-E28 ");
    put(image, 144, "1.07 ");
    put(image, 176, kHardwareRevision);
    put(image, 208, "STOCK   ");
    put(image, 240, "STOCK   ");
    put(image, 272, "N");
    put(image, 304, "10/01/20");
    return image;
}

std::string traceText() {
    std::string text;
    for (const emu::TraceEntry& entry : emu::commandTrace()) {
        std::string line = "device " + std::to_string(entry.device) + " cdb ";
        appendHex(line, entry.cdb.data(), entry.cdbLength);
        line += std::string(" ") + directionName(entry.direction) + " " + std::to_string(entry.transferLength);
        line += std::string(" ") + outcomeName(entry.outcome);
        char status[16];
        std::snprintf(status, sizeof status, " status %02X", entry.status);
        line += status;
        if (entry.senseLength != 0) {
            line += " sense ";
            appendHex(line, entry.sense.data(), entry.senseLength);
        }
        text += line + "\n";
    }
    return text;
}

std::string boxLine(std::uint32_t type, int answer, const char* caption, const char* text) {
    char head[64];
    std::snprintf(head, sizeof head, "box type %02X answer %d caption ", static_cast<unsigned>(type), answer);
    std::string line = head;
    auto appendEscaped = [&line](const char* bytes) {
        for (const char* c = bytes; c != nullptr && *c != '\0'; ++c) {
            auto byte = static_cast<unsigned char>(*c);
            if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
                line += static_cast<char>(byte);
            } else {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
                line += escaped;
            }
        }
    };
    appendEscaped(caption);
    line += " text ";
    appendEscaped(text);
    return line + "\n";
}

std::vector<int> parseAnswers(const char* list) {
    std::vector<int> answers;
    const char* cursor = list;
    while (cursor != nullptr && *cursor != '\0') {
        char* end = nullptr;
        long answer = std::strtol(cursor, &end, 10);
        if (end == cursor) break;
        answers.push_back(static_cast<int>(answer));
        cursor = *end == ',' ? end + 1 : end;
    }
    return answers;
}

}  // namespace aspi_test
