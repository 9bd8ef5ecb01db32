// Console output and modal message boxes.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

namespace rflash {

// Writes the text to standard output unchanged, up to its first NUL; nothing is added.
void printText(const char* text);

// The printf-style formatting of a text, without a length limit.
std::string formatText(const char* format, std::va_list arguments) __attribute__((format(printf, 1, 0)));

// Replaces scratchText with the formatted text.
void formatScratch(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shows the text in a box captioned "RFLASH" with the buttons and icon of the style
// (1, 2, 16, 17 or 18). Returns the button, or 0 when the box could not be shown.
std::int32_t showMessageBox(const char* text, std::int32_t style);

}  // namespace rflash
