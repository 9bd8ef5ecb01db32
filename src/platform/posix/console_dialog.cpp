// The console side of the Linux backend that needs no operating-system object: the language of
// messages, code page 932 text for the terminal, and message boxes asked on the console. Kept in
// a file of its own so that the emulated demo asks its questions exactly as the program does.
#include "platform/posix/console.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <optional>
#include <unistd.h>

namespace platform::posix {
namespace {

constexpr std::string_view kJapaneseLanguage = "ja";
constexpr std::array<std::string_view, 3> kLocaleVariables = {"LC_ALL", "LC_MESSAGES", "LANG"};
// Names of Shift JIS, compared in lower case without punctuation (Shift_JIS -> shiftjis).
constexpr std::array<std::string_view, 4> kShiftJisNames = {"sjis", "shiftjis", "cp932", "pck"};

constexpr const char* kCatalogueCharset = "CP932";
constexpr const char* kTerminalCharset = "UTF-8";
// One or two code page 932 bytes never make more than three bytes of UTF-8.
constexpr std::size_t kUtf8BytesPerByte = 3;

constexpr UINT kButtonsMask = 0x0F;
constexpr std::string_view kBlanks = " \t\r\n";

char lowerCase(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool isAscii(std::string_view bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) > 0x7F) return false;
    }
    return true;
}

std::string convertFromCodePage932(std::string_view bytes) {
    iconv_t converter = ::iconv_open(kTerminalCharset, kCatalogueCharset);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);

    std::string input(bytes);
    std::string output(input.size() * kUtf8BytesPerByte, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    while (inLeft != 0) {
        if (::iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) break;
        // A byte that is not code page 932 (or a text cut inside a character) is passed on
        // as it is rather than dropped.
        std::size_t keep = errno == EILSEQ ? 1 : inLeft;
        for (; keep != 0 && outLeft != 0; --keep, --inLeft, --outLeft) *out++ = *in++;
    }
    ::iconv_close(converter);
    output.resize(output.size() - outLeft);
    return output;
}

// The box body: line breaks as the terminal writes them, no blank lines around the text.
std::string boxBody(std::string_view text) {
    std::string body;
    for (char c : text) {
        if (c != '\r') body += c;
    }
    auto first = body.find_first_not_of('\n');
    if (first == std::string::npos) return {};
    auto last = body.find_last_not_of('\n');
    return body.substr(first, last - first + 1);
}

std::optional<std::string> readLine(std::FILE* answers) {
    char* line = nullptr;
    std::size_t capacity = 0;
    ssize_t length;
    while ((length = ::getline(&line, &capacity, answers)) < 0 && std::ferror(answers) && errno == EINTR) {
        std::clearerr(answers);
    }
    std::optional<std::string> result;
    if (length >= 0) result.emplace(line, static_cast<std::size_t>(length));
    std::free(line);
    return result;
}

std::string normalisedAnswer(std::string_view line) {
    auto first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    line = line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
    std::string answer;
    for (char c : line) answer += lowerCase(c);
    return answer;
}

struct ButtonSet {
    std::string_view prompt;
    // 0 for a line that names none of the box's buttons.
    int (*answerFor)(std::string_view answer);
};

int okAnswer(std::string_view) {
    return IDOK;
}

int okCancelAnswer(std::string_view answer) {
    if (answer == "o" || answer == "ok") return IDOK;
    if (answer == "c" || answer == "cancel") return IDCANCEL;
    return 0;
}

// Only the box's own buttons count: an "ok" to a Yes/No question is asked again.
int yesNoAnswer(std::string_view answer) {
    if (answer == "y" || answer == "yes") return IDYES;
    if (answer == "n" || answer == "no") return IDNO;
    return 0;
}

std::optional<ButtonSet> buttonsOf(UINT type) {
    switch (type & kButtonsMask) {
        case MB_OK: return ButtonSet{"Press Enter to continue: ", &okAnswer};
        case MB_OKCANCEL: return ButtonSet{"OK or Cancel? [o/c]: ", &okCancelAnswer};
        case MB_YESNO: return ButtonSet{"Yes or No? [y/n]: ", &yesNoAnswer};
        default: return std::nullopt;
    }
}

void put(std::FILE* screen, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), screen);
    std::fflush(screen);
}

}  // namespace

std::string messagesLocale() {
    for (std::string_view variable : kLocaleVariables) {
        const char* value = std::getenv(variable.data());
        if (value != nullptr && *value != '\0') return value;
    }
    return {};
}

UINT codePageForLocale(std::string_view locale) {
    return locale.starts_with(kJapaneseLanguage) ? kJapaneseCodePage : kDefaultOemCodePage;
}

bool localeUsesShiftJis(std::string_view locale) {
    auto dot = locale.find('.');
    if (dot == std::string_view::npos) return false;
    std::string_view charset = locale.substr(dot + 1);
    charset = charset.substr(0, charset.find('@'));
    std::string name;
    for (char c : charset) {
        if (std::isalnum(static_cast<unsigned char>(c))) name += lowerCase(c);
    }
    for (std::string_view shiftJis : kShiftJisNames) {
        if (name == shiftJis) return true;
    }
    return false;
}

std::string textForTerminal(std::string_view bytes, bool terminalUsesShiftJis) {
    if (terminalUsesShiftJis || isAscii(bytes)) return std::string(bytes);
    return convertFromCodePage932(bytes);
}

int askOnConsole(std::string_view text, std::string_view caption, UINT type, std::FILE* answers,
                 std::FILE* screen, bool terminalUsesShiftJis) {
    auto buttons = buttonsOf(type);
    if (!buttons) return 0;
    std::string box = "\n[" + std::string(caption) + "]\n";
    box += boxBody(textForTerminal(text, terminalUsesShiftJis));
    box += '\n';
    put(screen, box);
    for (;;) {
        put(screen, buttons->prompt);
        auto line = readLine(answers);
        if (!line) {
            put(screen, "\n");
            return 0;
        }
        if (int answer = buttons->answerFor(normalisedAnswer(*line)); answer != 0) return answer;
    }
}

}  // namespace platform::posix

