// The texts the console test prints in a child process, and the bytes they must become.
#pragma once

#include <array>
#include <string_view>

namespace win32_test {

inline constexpr const char* kPrintArgument = "--print-through-backend";

// A banner, a catalogue text with its own "\r\n", a progress line, the end of a transfer, and
// conversions that must come out as written.
inline constexpr std::array<const char*, 5> kPrintedTexts = {
    "\n/// Quarnel Ver2.59B\n",
    "\r\nAvailable target is not found.",
    "\rProcessing 50%",
    "\rProcessing 100% --> Data transfer complete\r\nNow internal re-flashing...",
    "%d %% %s\n",
};

// The C runtime's text mode turns every "\n" into "\r\n", whatever comes before it.
inline constexpr std::string_view kConsoleBytes =
    "\r\n/// Quarnel Ver2.59B\r\n"
    "\r\r\nAvailable target is not found."
    "\rProcessing 50%"
    "\rProcessing 100% --> Data transfer complete\r\r\nNow internal re-flashing..."
    "%d %% %s\r\n";

}  // namespace win32_test
