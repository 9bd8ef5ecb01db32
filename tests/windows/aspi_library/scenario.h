// The emulated PCs behind the library-path checks, shared by the test ASPI library (where the
// real rflash.exe meets them through WNASPI32.DLL) and the reference run (where the program meets
// them on the emulated host). Plain types only: the library's Windows side includes this too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace aspi_test {

// Resets the emulated machine and sets up the scenario: "update" (one drive on a SCSI host
// adapter) or "ieee1394" (the drive behind the IEEE 1394 adapter, whose WRITE BUFFERs the
// program polls). False for an unknown name.
bool setUpScenario(const std::string& name);

// The firmware image file the scenarios' drive takes, and its name.
const char* imageFileName();
std::vector<std::uint8_t> imageBytes();

// Every command the emulated devices received so far, one line each, without times or buffer
// addresses, so that runs in real and in virtual time compare equal.
std::string traceText();

// One line for a message box: type, answer, caption and text (bytes outside printable ASCII as
// \xNN).
std::string boxLine(std::uint32_t type, int answer, const char* caption, const char* text);

// The answers scripted for the boxes, from a comma-separated list such as "6,7".
std::vector<int> parseAnswers(const char* list);

}  // namespace aspi_test
