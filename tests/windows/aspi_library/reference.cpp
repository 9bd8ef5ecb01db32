// The library-path scenarios on the emulated host instead of Windows: the same drives, image and
// answers, the program's main sequence in virtual time. What it prints, the boxes it shows and
// the commands the drives receive are the reference the real run under Wine must match.
//
// Usage: aspi_reference SCENARIO ANSWERS. Writes reference-console.bin (the bytes printText
// passed on, before any C runtime translation), reference-boxes.txt, reference-trace.txt and
// reference-exit.txt into the current directory.
#include <cstdio>
#include <string>

#include "driver/program.h"
#include "platform/emulated/console.h"
#include "platform/emulated/files.h"
#include "scenario.h"

namespace {

void writeFile(const char* name, const std::string& text) {
    if (std::FILE* file = std::fopen(name, "wb")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: aspi_reference SCENARIO ANSWERS\n", stderr);
        return 2;
    }
    if (!aspi_test::setUpScenario(argv[1])) {
        std::fprintf(stderr, "unknown scenario %s\n", argv[1]);
        return 2;
    }
    std::vector<std::uint8_t> image = aspi_test::imageBytes();
    emu::addFile(aspi_test::imageFileName(), image);
    emu::scriptAnswers(aspi_test::parseAnswers(argv[2]));

    int exitCode = rflash::runMainSequence();

    writeFile("reference-console.bin", emu::consoleOutput());
    std::string boxes;
    for (const emu::MessageBoxShown& box : emu::boxesShown()) {
        boxes += aspi_test::boxLine(box.type, box.answer, box.caption.c_str(), box.text.c_str());
    }
    writeFile("reference-boxes.txt", boxes);
    writeFile("reference-trace.txt", aspi_test::traceText());
    writeFile("reference-exit.txt", std::to_string(exitCode) + "\n");
    return 0;
}
