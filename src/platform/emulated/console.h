// The emulated console, message boxes and code page.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace emu {

// Every byte the program wrote to standard output, in order.
const std::string& consoleOutput();
// Also pass what is written on to a real stream (the demo); nullptr stops that.
void echoConsoleTo(std::FILE* stream);

void setOemCodePage(platform::UINT codePage);  // 437 after reset

struct MessageBoxShown {
    platform::HWND owner;
    std::string text;      // the body's bytes
    std::string caption;
    platform::UINT type;
    int answer;            // what MessageBoxA returned
};

// Answers for the next boxes, in order. A box shown when no answer is left returns 0, as a box
// that could not be shown does, and is counted in unansweredBoxes().
void scriptAnswers(std::vector<int> answers);
// Answers boxes by asking the handler (the demo asks on the terminal); it sees the box and
// returns the button. Takes precedence over the script while set.
void answerBoxesWith(std::function<int(const MessageBoxShown&)> handler);

const std::vector<MessageBoxShown>& boxesShown();
int unansweredBoxes();

}  // namespace emu
