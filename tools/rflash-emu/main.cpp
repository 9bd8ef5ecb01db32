// rflash-emu: the real program's main sequence on an emulated PC, for a person to watch and for
// dry runs of image files.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "driver/program.h"
#include "options.h"
#include "platform/emulated/clock.h"
#include "platform/emulated/console.h"
#include "platform/emulated/files.h"
#include "platform/emulated/firmware_images.h"
#include "platform/emulated/host.h"
#include "platform/emulated/scenarios.h"
#include "platform/posix/console.h"
#include "trace_lines.h"

namespace {

constexpr int kExitUsage = 2;

bool terminalUsesShiftJis() {
    return platform::posix::localeUsesShiftJis(platform::posix::messagesLocale());
}

// What the run writes on the terminal besides the boxes: the program's standard output and,
// with --trace, the commands the drives received since the last output, each on a line of its own.
struct Terminal {
    emu_demo::TracePrinter* trace = nullptr;
    bool atLineStart = true;

    void printTrace() {
        if (trace == nullptr || !trace->pending()) return;
        if (!atLineStart) std::fputc('\n', stdout);
        std::fflush(stdout);
        trace->printNew();
        atLineStart = true;
    }
};

// Standard output as the Linux program writes it: code page 932 text converted for the terminal,
// nothing held back in a buffer.
ssize_t writeForTerminal(void* cookie, const char* bytes, std::size_t size) {
    auto* terminal = static_cast<Terminal*>(cookie);
    terminal->printTrace();
    std::string text = platform::posix::textForTerminal(std::string_view(bytes, size), terminalUsesShiftJis());
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (!text.empty()) terminal->atLineStart = text.back() == '\n';
    return static_cast<ssize_t>(size);
}

std::FILE* terminalStream(Terminal& terminal) {
    cookie_io_functions_t functions{};
    functions.write = &writeForTerminal;
    std::FILE* stream = fopencookie(&terminal, "w", functions);
    if (stream != nullptr) std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

// A box answered from the script: drawn and asked exactly as on the terminal, with the word as
// the line typed (shown after the prompt). No word left, or "0": no answer.
int askScripted(const emu::MessageBoxShown& box, std::deque<std::string>& script) {
    std::string word;
    if (!script.empty()) {
        word = script.front();
        script.pop_front();
    }
    std::string line = word == "0" ? std::string() : word + "\n";
    std::FILE* typed = fmemopen(line.data(), line.size(), "r");
    if (line.empty() || typed == nullptr) typed = std::fopen("/dev/null", "r");
    int button = platform::posix::askOnConsole(box.text, box.caption, box.type, typed, stderr, terminalUsesShiftJis());
    if (typed != nullptr) std::fclose(typed);
    if (button != 0) std::fprintf(stderr, "%s\n", word.c_str());
    return button;
}

int listScenarios() {
    for (const emu::Scenario& scenario : emu::scenarios()) {
        std::printf("%-22s %s\n", scenario.name.c_str(), scenario.summary.c_str());
        if (!scenario.answers.empty()) std::printf("%-22s answers: %s\n", "", scenario.answers.c_str());
    }
    return 0;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int makeImage(const emu_demo::Options& options) {
    emu::ImageRecipe recipe;
    recipe.revision = options.revision;
    recipe.dateText = options.date;
    recipe.dateForm = options.date.size() == 8 ? emu::ImageDateForm::Short : emu::ImageDateForm::MonthName;
    recipe.size = options.size;
    if (!writeFile(*options.makeImage, emu::buildFirmwareImage(recipe))) {
        std::fprintf(stderr, "rflash-emu: cannot write %s: %s\n", options.makeImage->c_str(), std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "rflash-emu: wrote %s: revision %s, date %s, %zu bytes\n", options.makeImage->c_str(),
                 options.revision.c_str(), options.date.c_str(), options.size);
    return 0;
}

// A fresh temporary directory made the current one for the run, removed with its files after.
class TemporaryDirectory {
public:
    bool enter(const std::vector<emu::ScenarioFile>& files) {
        char pattern[] = "/tmp/rflash-emu-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return false;
        path_ = pattern;
        char* previous = getcwd(nullptr, 0);
        if (previous != nullptr) {
            previous_ = previous;
            std::free(previous);
        }
        if (chdir(path_.c_str()) != 0) return false;
        for (const emu::ScenarioFile& file : files) {
            names_.push_back(file.name);
            if (!writeFile(file.name, file.bytes)) return false;
        }
        return true;
    }
    const std::string& path() const { return path_; }
    ~TemporaryDirectory() {
        if (path_.empty()) return;
        for (const std::string& name : names_) std::remove((path_ + "/" + name).c_str());
        if (!previous_.empty() && chdir(previous_.c_str()) != 0) return;
        rmdir(path_.c_str());
    }

private:
    std::string path_;
    std::string previous_;
    std::vector<std::string> names_;
};

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    auto options = emu_demo::parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "rflash-emu: %s\n\n%s", error.c_str(), emu_demo::usageText());
        return kExitUsage;
    }
    if (options->help) {
        std::fputs(emu_demo::usageText(), stdout);
        return 0;
    }
    if (options->list) return listScenarios();
    if (options->makeImage) return makeImage(*options);

    const emu::Scenario* scenario = emu::findScenario(options->scenario);
    if (scenario == nullptr) {
        std::fprintf(stderr, "rflash-emu: no scenario %s (--list shows them)\n", options->scenario.c_str());
        return kExitUsage;
    }

    emu::reset();
    scenario->setUpMachine();
    std::vector<emu::ScenarioFile> files = scenario->files();
    if (options->image) {
        emu::ScenarioFile given{emu::kDefaultImageName, {}};
        if (!readFile(*options->image, given.bytes)) {
            std::fprintf(stderr, "rflash-emu: cannot read %s\n", options->image->c_str());
            return kExitUsage;
        }
        std::erase_if(files, [](const emu::ScenarioFile& file) { return file.name == emu::kDefaultImageName; });
        files.push_back(std::move(given));
    }
    TemporaryDirectory directory;
    if (!directory.enter(files)) {
        std::fprintf(stderr, "rflash-emu: cannot prepare a temporary current directory: %s\n", std::strerror(errno));
        return 1;
    }
    emu::useRealFiles(true);

    emu_demo::TracePrinter trace(stderr);
    Terminal terminalState;
    if (options->trace) terminalState.trace = &trace;
    std::deque<std::string> script;
    if (options->answers) script.assign(options->answers->begin(), options->answers->end());
    emu::answerBoxesWith([&](const emu::MessageBoxShown& box) {
        terminalState.printTrace();
        if (options->answers) return askScripted(box, script);
        return platform::posix::askOnConsole(box.text, box.caption, box.type, stdin, stderr, terminalUsesShiftJis());
    });
    std::FILE* terminal = terminalStream(terminalState);
    emu::echoConsoleTo(terminal != nullptr ? terminal : stdout);
    if (!options->virtualTime) emu::useRealTime(true);

    int exitCode = rflash::runMainSequence();
    terminalState.printTrace();
    if (!terminalState.atLineStart) std::fputc('\n', stdout);  // the program's last line has no line feed
    emu::echoConsoleTo(nullptr);
    if (terminal != nullptr) std::fclose(terminal);
    return exitCode;
}
