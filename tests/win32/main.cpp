// The win32 backend's tests. Run with --print-through-backend, the program prints a fixed text
// through the program's own printText and ends: the console test reads what reached the pipe.
#include <gtest/gtest.h>

#include <cstring>

#include "console_sample.h"
#include "messages/console.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], win32_test::kPrintArgument) == 0) {
        for (const char* text : win32_test::kPrintedTexts) rflash::printText(text);
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
