#include "options.h"

#include <cctype>
#include <charconv>


namespace emu_demo {
namespace {

bool digits(const std::string& text, std::size_t at, std::size_t count) {
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

// "yy/mm/dd", or "Mmmdd?ccyy" (month name, day, one separator, century and year).
bool validDate(const std::string& date) {
    if (date.size() == 8) return digits(date, 0, 2) && date[2] == '/' && digits(date, 3, 2) && date[5] == '/' && digits(date, 6, 2);
    if (date.size() == 10) {
        bool month = false;
        for (const char* name : {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"}) {
            month = month || date.compare(0, 3, name) == 0;
        }
        return month && digits(date, 3, 2) && digits(date, 6, 4);
    }
    return false;
}

bool validRevision(const std::string& revision) {
    return revision.size() == 4 && digits(revision, 0, 1) && digits(revision, 2, 2);
}

bool answerWord(std::string word) {
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {"y", "yes", "n", "no", "o", "ok", "c", "cancel", "0"}) {
        if (word == known) return true;
    }
    return false;
}

std::optional<std::vector<std::string>> answerList(const std::string& text) {
    std::vector<std::string> answers;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(start, end - start);
        if (!answerWord(word)) return std::nullopt;
        answers.push_back(word);
        start = end + 1;
    }
    return answers;
}

}  // namespace

const char* usageText() {
    return "usage: rflash-emu [--scenario NAME] [--answers LIST] [--virtual-time] [--trace] [--image FILE]\n"
           "       rflash-emu --list\n"
           "       rflash-emu --make-image FILE [--revision D.DD] [--date DATE] [--size BYTES]\n"
           "       rflash-emu --help\n"
           "\n"
           "Runs the real rflash main sequence on an emulated PC, in a fresh temporary current\n"
           "directory that holds the scenario's firmware image. Questions are asked on the terminal.\n"
           "\n"
           "  --scenario NAME  the emulated PC to run on (default: one-drive); --list shows them\n"
           "  --answers LIST   answer the boxes from LIST instead of the terminal, one word per box\n"
           "                   as if typed: comma-separated yes, no, ok, cancel (or y, n, o, c);\n"
           "                   0, or a word that is not one of the box's buttons, and every box\n"
           "                   past the end of the list get no answer (0)\n"
           "  --virtual-time   run on the virtual clock: no real pauses, instant runs\n"
           "  --trace          print every command the drives received on standard error\n"
           "  --image FILE     check and \"flash\" this image file on the emulated drive (a dry run)\n"
           "  --make-image FILE  write a valid sample image and stop; with --revision (1.07),\n"
           "                   --date (09/04/01, or the month-name form Apr01 2009), --size (2097152)\n"
           "\n"
           "The exit code is the program's: 0 when it went through every drive, 1 otherwise;\n"
           "2 for a mistake on the command line.\n";
}

std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= arguments.size()) {
                error = option + " needs a value";
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (option == "--help" || option == "-h") {
            options.help = true;
        } else if (option == "--list") {
            options.list = true;
        } else if (option == "--virtual-time") {
            options.virtualTime = true;
        } else if (option == "--trace") {
            options.trace = true;
        } else if (option == "--scenario") {
            auto name = value();
            if (!name) return std::nullopt;
            options.scenario = *name;
        } else if (option == "--answers") {
            auto list = value();
            if (!list) return std::nullopt;
            options.answers = answerList(*list);
            if (!options.answers) {
                error = "--answers takes yes, no, ok, cancel, y, n, o, c or 0, separated by commas";
                return std::nullopt;
            }
        } else if (option == "--image") {
            auto file = value();
            if (!file) return std::nullopt;
            options.image = *file;
        } else if (option == "--make-image") {
            auto file = value();
            if (!file) return std::nullopt;
            options.makeImage = *file;
        } else if (option == "--revision") {
            auto revision = value();
            if (!revision) return std::nullopt;
            if (!validRevision(*revision)) {
                error = "--revision takes a revision D.DD such as 1.07";
                return std::nullopt;
            }
            options.revision = *revision;
        } else if (option == "--date") {
            auto date = value();
            if (!date) return std::nullopt;
            if (!validDate(*date)) {
                error = "--date takes yy/mm/dd (09/04/01) or the month-name form (Apr01 2009)";
                return std::nullopt;
            }
            options.date = *date;
        } else if (option == "--size") {
            auto size = value();
            if (!size) return std::nullopt;
            std::size_t bytes = 0;
            auto [end, problem] = std::from_chars(size->data(), size->data() + size->size(), bytes);
            if (problem != std::errc{} || end != size->data() + size->size() || bytes == 0) {
                error = "--size takes a number of bytes above 0";
                return std::nullopt;
            }
            options.size = bytes;
        } else {
            error = "unknown option " + option;
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace emu_demo
