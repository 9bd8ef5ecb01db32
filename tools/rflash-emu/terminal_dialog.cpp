#include "terminal_dialog.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>
#include <vector>

namespace emu_demo {
namespace {

constexpr platform::UINT kButtonMask = 0x0F;

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The text's lines: "\r\n", "\n" and a lone "\r" all end a line; empty leading lines are dropped.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            if (!lines.empty() || !line.empty()) lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty() || lines.empty()) lines.push_back(line);
    return lines;
}

const char* promptFor(platform::UINT buttons) {
    switch (buttons) {
        case platform::MB_YESNO: return "[Y]es / [N]o > ";
        case platform::MB_OKCANCEL: return "[O]K / [C]ancel > ";
        default: return "[Enter] OK > ";
    }
}

}  // namespace

void drawBox(const std::string& text, const std::string& caption, std::ostream& out) {
    std::vector<std::string> lines = linesOf(text);
    std::size_t width = caption.size() + 6;
    for (const auto& line : lines) width = std::max(width, line.size() + 2);
    std::string title = "+- " + caption + " ";
    out << '\n' << title << std::string(width + 2 - title.size(), '-') << "+\n";
    for (const auto& line : lines) out << "| " << line << std::string(width - line.size() - 1, ' ') << "|\n";
    out << '+' << std::string(width, '-') << "+\n";
}

int buttonForWord(const std::string& word) {
    std::string w = lowerCase(trimmed(word));
    if (w == "y" || w == "yes") return platform::IDYES;
    if (w == "n" || w == "no") return platform::IDNO;
    if (w == "o" || w == "ok") return platform::IDOK;
    if (w == "c" || w == "cancel") return platform::IDCANCEL;
    if (w == "0") return 0;
    return -1;
}

int askOnTerminal(const std::string& text, const std::string& caption, platform::UINT type, std::istream& in,
                  std::ostream& out) {
    platform::UINT buttons = type & kButtonMask;
    drawBox(text, caption, out);
    for (;;) {
        out << promptFor(buttons) << std::flush;
        std::string line;
        if (!std::getline(in, line)) {
            out << '\n' << std::flush;
            return 0;
        }
        if (buttons != platform::MB_YESNO && buttons != platform::MB_OKCANCEL) return platform::IDOK;
        int button = buttonForWord(line);
        bool fits = buttons == platform::MB_YESNO ? (button == platform::IDYES || button == platform::IDNO)
                                                  : (button == platform::IDOK || button == platform::IDCANCEL);
        if (fits) return button;
    }
}

}  // namespace emu_demo
