// The command line of rflash-emu.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace emu_demo {

struct Options {
    bool help = false;
    bool list = false;
    std::string scenario = "one-drive";
    std::optional<std::vector<std::string>> answers;  // scripted answer lines instead of the terminal
    bool virtualTime = false;
    bool trace = false;
    std::optional<std::string> image;      // a real image file to check and "flash"
    std::optional<std::string> makeImage;  // write a sample image here and stop
    std::string revision = "1.07";
    std::string date = "09/04/01";         // yy/mm/dd, or the month-name form "Apr01 2009"
    std::size_t size = 2 * 1024 * 1024;
};

// Parses the arguments after the program name. On a mistake returns no value and says why in
// `error`.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error);

// Usage text for --help and after a mistake.
const char* usageText();

}  // namespace emu_demo
